#pragma once

#include <exception>
#include <iosfwd>
#include <stdexcept>
#include <string>

// Failures that no part of the tool handles travel up to the entry, which
// reports them once on standard error and ends the run with status 1.
namespace falhas {

/// Base of the tool's own errors. `tipo()` names the kind of failure for the
/// operator (for example "falha de rede"); messages never carry a password.
class Falha : public std::runtime_error {
 public:
  Falha(std::string tipo, const std::string& mensagem)
      : std::runtime_error(mensagem), tipo_(std::move(tipo)) {}
  const std::string& tipo() const noexcept { return tipo_; }

 private:
  std::string tipo_;
};

/// Records what the run is doing now ("ao ler a lista de acessos (GET
/// /acessos)"), so that an unhandled failure can say where it happened.
void definirEtapa(std::string etapa);

/// Writes the one-line diagnostic of an unhandled failure to `err`, after
/// flushing standard output so that the report keeps its order.
void relatarFalhaFatal(const std::exception& erro, std::ostream& err);
void relatarFalhaDesconhecida(std::ostream& err);

/// "falha <stage>: <kind>" for the closing audit record; `erro` null for an
/// unknown one. The message stays out: it may quote what a server sent.
std::string descrever(const std::exception* erro);

}  // namespace falhas
