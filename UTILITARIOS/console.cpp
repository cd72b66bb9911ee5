#include "UTILITARIOS/console.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>

#include "UTILITARIOS/falhas.hpp"
#include "UTILITARIOS/textos.hpp"

namespace console {

namespace {
bool cores = true;
}  // namespace

void lerAmbiente() {
  const char* semCor = std::getenv("NO_COLOR");
  cores = semCor == nullptr || *semCor == '\0';
}

void escreverLinha(std::ostream& out, std::initializer_list<std::string_view> itens) {
  bool primeiro = true;
  for (std::string_view item : itens) {
    if (!cores && (item == GREEN || item == YELLOW || item == RESET)) continue;
    if (!primeiro) out << ' ';
    out << item;
    primeiro = false;
  }
  out << '\n';
}

std::timed_mutex& trava() {
  // Never destroyed: a signal's watcher may still take it while the process exits.
  static auto* const mutex = new std::timed_mutex;
  return *mutex;
}

void linha(std::ostream& out, std::initializer_list<std::string_view> itens) {
  const std::lock_guard travada(trava());
  escreverLinha(out, itens);
  // Operators follow the report live, often through tee: one machine can
  // take seconds, so every line goes out as soon as it is complete.
  out.flush();
  verificarSaida(out);
}

void verificarSaida(const std::ostream& out) {
  if (out) return;
  const int erro = errno;
  if (erro == EPIPE) throw SaidaFechada("relatório perdido", "a saída padrão foi fechada");
  throw falhas::Falha("relatório perdido",
                      std::string("a saída padrão não aceita o relatório") +
                          (erro != 0 ? std::string(" (") + std::strerror(erro) + ")" : ""));
}

}  // namespace console
