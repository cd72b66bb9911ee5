#include "UTILITARIOS/falhas.hpp"

#include <iostream>
#include <ostream>
#include <utility>

#include "UTILITARIOS/textos.hpp"

namespace falhas {
namespace {
// Where a failure that no stage caught happened: before the run's first.
std::string etapaDe(const std::exception* erro) {
  const auto* propria = dynamic_cast<const Falha*>(erro);
  return propria != nullptr && !propria->etapa().empty() ? propria->etapa() : "ao iniciar";
}
}  // namespace

std::string tipoDe(const std::exception& erro) {
  if (const auto* propria = dynamic_cast<const Falha*>(&erro)) return propria->tipo();
  if (dynamic_cast<const std::bad_alloc*>(&erro) != nullptr) return "memória esgotada";
  return "erro interno";
}

void relatarFalhaFatal(const std::exception& erro, std::ostream& err) {
  std::cout.flush();
  err << "atualizacao_em_massa: falha " << textos::visivelNumaLinha(etapaDe(&erro)) << ": "
      << tipoDe(erro) << ": " << textos::visivelNumaLinha(erro.what()) << '\n';
  err.flush();
}

void relatarFalhaDesconhecida(std::ostream& err) {
  std::cout.flush();
  err << "atualizacao_em_massa: falha " << textos::visivelNumaLinha(etapaDe(nullptr))
      << ": erro desconhecido\n";
  err.flush();
}

std::string descrever(const std::exception* erro) {
  return "falha " + etapaDe(erro) + ": " + (erro != nullptr ? tipoDe(*erro) : "erro desconhecido");
}

}  // namespace falhas
