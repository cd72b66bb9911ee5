#pragma once

#include <cstddef>
#include <string>

// Program entry: argument check, mode dispatch and exit statuses.
namespace entrada {

/// Runs the tool with the process's argument list; returns the exit status.
/// Unhandled failures are reported on standard error here, once.
/// `antecipacao`: how many machines the mass update connects ahead.
int executar(int argc, const char* const* argv, std::size_t antecipacao = 0);

/// The version report: the rights notice, then the program name as invoked
/// (every "./" replaced by a blank), two blanks and the version.
void get_version(const std::string& programa);

}  // namespace entrada
