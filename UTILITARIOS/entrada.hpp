#pragma once

#include <cstddef>

// Program entry: argument check, mode dispatch and exit statuses.
namespace entrada {

/// Runs the tool with the process's argument list; returns the exit status.
/// First hands SIGINT, SIGTERM and SIGHUP to encerramento's watcher, then
/// makes the process non-dumpable, with no core file, and drops
/// SSLKEYLOGFILE. Unhandled failures are reported on standard error here,
/// once.
/// `antecipacao`: how many machines the mass update connects ahead;
/// `pausaFixa`: its sessions read output at fixed 0.2 s ticks.
int executar(int argc, const char* const* argv, std::size_t antecipacao = 0,
             bool pausaFixa = false);

}  // namespace entrada
