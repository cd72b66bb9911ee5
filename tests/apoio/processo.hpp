#pragma once

#include <chrono>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace apoio {

struct Resultado {
  int status = -1;        ///< exit status, or 128 + signal
  std::string saida;      ///< standard output
  std::string erro;       ///< standard error
  double segundos = 0.0;  ///< wall time
  bool expirou = false;   ///< killed after the time limit
  double picoMb = 0.0;    ///< peak resident memory, as /usr/bin/time -v reports it
  double aposSinal = 0.0; ///< from SinalNoPrompt's signal to the end, in seconds
};

/// A signal for the child once its standard output ends with `apos` (a
/// prompt); its standard input is held open until the child ends.
struct SinalNoPrompt {
  int sinal = 0;  ///< 0: none
  std::string apos;
  std::function<void(int pid)> antes = {};  ///< if set, called just before the signal
};

/// Runs `argv` (argv[0] a path), feeds `entrada` to its standard input, and
/// collects both output streams. The child is killed after `limite`.
Resultado executar(const std::vector<std::string>& argv, const std::string& entrada = "",
                   std::chrono::seconds limite = std::chrono::seconds(600),
                   const SinalNoPrompt& sinal = {});

/// Path of the built program under test.
std::string programa();

/// Reads a whole file; empty when it does not exist.
std::string lerArquivo(const std::string& caminho);

/// The lab world's state folder (LAB_STATE); empty outside a lab world.
std::string estado();

/// The requests the lab's API received, in order, one JSON object each.
std::vector<nlohmann::json> pedidos();

/// The lines of `texto`, without their line feeds.
std::vector<std::string> linhas(const std::string& texto);

}  // namespace apoio
