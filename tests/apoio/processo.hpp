#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace apoio {

struct Resultado {
  int status = -1;        ///< exit status, or 128 + signal
  std::string saida;      ///< standard output
  std::string erro;       ///< standard error
  double segundos = 0.0;  ///< wall time
  bool expirou = false;   ///< killed after the time limit
};

/// Runs `argv` (argv[0] a path), feeds `entrada` to its standard input, and
/// collects both output streams. The child is killed after `limite`.
Resultado executar(const std::vector<std::string>& argv, const std::string& entrada = "",
                   std::chrono::seconds limite = std::chrono::seconds(120));

/// Path of the built program under test.
std::string programa();

/// Reads a whole file; empty when it does not exist.
std::string lerArquivo(const std::string& caminho);

}  // namespace apoio
