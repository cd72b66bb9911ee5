#include "UTILITARIOS/falhas.hpp"

#include <iostream>
#include <ostream>
#include <utility>

#include "UTILITARIOS/console.hpp"

namespace falhas {
namespace {
std::string& etapa() {
  static std::string valor = "ao iniciar";
  return valor;
}

std::string tipoDe(const std::exception& erro) {
  if (const auto* propria = dynamic_cast<const Falha*>(&erro)) return propria->tipo();
  if (dynamic_cast<const std::bad_alloc*>(&erro) != nullptr) return "memória esgotada";
  return "erro interno";
}

// One line only: a multi-line message would be hard to grep in a log.
std::string umaLinha(std::string texto) {
  for (char& c : texto)
    if (c == '\n' || c == '\r') c = ' ';
  return texto;
}
}  // namespace

void definirEtapa(std::string valor) { etapa() = std::move(valor); }

void relatarFalhaFatal(const std::exception& erro, std::ostream& err) {
  std::cout.flush();
  err << "atualizacao_em_massa: falha " << console::visivel(etapa()) << ": " << tipoDe(erro) << ": "
      << console::visivel(umaLinha(erro.what())) << '\n';
  err.flush();
}

void relatarFalhaDesconhecida(std::ostream& err) {
  std::cout.flush();
  err << "atualizacao_em_massa: falha " << console::visivel(etapa()) << ": erro desconhecido\n";
  err.flush();
}

std::string descrever(const std::exception* erro) {
  return "falha " + etapa() + ": " + (erro != nullptr ? tipoDe(*erro) : "erro desconhecido");
}

}  // namespace falhas
