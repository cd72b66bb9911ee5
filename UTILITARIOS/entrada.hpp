#pragma once

#include <cstddef>
#include <string>

// Program entry: argument check, mode dispatch and exit statuses.
namespace entrada {

/// Runs the tool with the process's argument list; returns the exit status.
/// Unhandled failures are reported on standard error here, once.
/// `antecipacao`: how many machines the mass update connects ahead.
int executar(int argc, const char* const* argv, std::size_t antecipacao = 0);

/// Makes the process non-dumpable (no core file, no ptrace by the same
/// user), with a core size limit of 0, and removes SSLKEYLOGFILE before
/// libcurl starts. Called by executar before any mode runs; throws
/// falhas::Falha when the system refuses.
void protegerProcesso();

/// The version report: the rights notice, then the program name as invoked
/// (every "./" replaced by a blank, control and invisible characters made
/// visible as console::visivel does), two blanks and the version.
void get_version(const std::string& programa);

}  // namespace entrada
