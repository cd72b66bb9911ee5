#pragma once

#include <exception>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

// Failures that no part of the tool handles travel up to the entry, which
// reports them once on standard error and ends the run with status 1.
namespace falhas {

/// Base of the tool's own errors. `tipo()` names the kind of failure for the
/// operator (for example "falha de rede"); messages never carry a password.
/// `etapa()` says what the run was doing ("ao ler a lista de acessos (GET
/// /acessos)"), once a stage has caught it (see naEtapa).
class Falha : public std::runtime_error {
 public:
  Falha(std::string tipo, const std::string& mensagem, std::string etapa = {})
      : std::runtime_error(mensagem), tipo_(std::move(tipo)), etapa_(std::move(etapa)) {}
  const std::string& tipo() const noexcept { return tipo_; }
  const std::string& etapa() const noexcept { return etapa_; }
  /// The innermost stage names the failure: an outer one keeps it.
  void situar(std::string_view etapa) {
    if (etapa_.empty()) etapa_ = etapa;
  }

 private:
  std::string tipo_;
  std::string etapa_;
};

/// The kind of failure `erro` is, for the operator.
std::string tipoDe(const std::exception& erro);

/// Runs `passo` as the stage `etapa` of the run: a failure leaving it says
/// where it happened. A failure of another kind becomes a Falha of its kind
/// and text, so that it can carry the stage.
template <class Passo>
decltype(auto) naEtapa(std::string_view etapa, Passo&& passo) {
  try {
    return std::forward<Passo>(passo)();
  } catch (Falha& falha) {
    falha.situar(etapa);
    throw;
  } catch (const std::exception& erro) {
    throw Falha(tipoDe(erro), erro.what(), std::string(etapa));
  }
}

/// Writes the one-line diagnostic of an unhandled failure to `err`, after
/// flushing standard output so that the report keeps its order.
void relatarFalhaFatal(const std::exception& erro, std::ostream& err);
void relatarFalhaDesconhecida(std::ostream& err);

/// "falha <stage>: <kind>" for the closing audit record; `erro` null for an
/// unknown one. The message stays out: it may quote what a server sent.
std::string descrever(const std::exception* erro);

}  // namespace falhas
