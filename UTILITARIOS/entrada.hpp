#pragma once

#include "UTILITARIOS/workflow/atualizacao.hpp"

// Program entry: argument check, mode dispatch and exit statuses.
namespace entrada {

/// Runs the tool with the process's argument list; returns the exit status.
/// First hands SIGINT, SIGTERM and SIGHUP to encerramento's watcher, then
/// makes the process non-dumpable, with no core file, and drops
/// SSLKEYLOGFILE. Unhandled failures are reported on standard error here,
/// once.
/// `ajustes`: how this build runs the mass update.
int executar(int argc, const char* const* argv, const workflow::Ajustes& ajustes = {});

}  // namespace entrada
