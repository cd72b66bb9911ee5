#include "UTILITARIOS/configuracao.hpp"

#include <utility>

namespace configuracao {
namespace {
Argumentos& armazenados() {
  static Argumentos valores;
  return valores;
}
}  // namespace

const Argumentos& argumentos() { return armazenados(); }

void definirArgumentos(Argumentos valores) { armazenados() = std::move(valores); }

}  // namespace configuracao
