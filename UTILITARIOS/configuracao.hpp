#pragma once

#include <string>

#include "UTILITARIOS/implantacao.hpp"

// Run-wide settings: the version text and the four command-line arguments,
// kept exactly as given. Set once before the dispatch, only read afterwards.
namespace configuracao {

inline constexpr const char* VERSION = implantacao::kVersao;  // project(VERSION)

struct Argumentos {
  std::string mode;
  std::string inserir;      ///< selection scope: "1" automatic, "2" interactive
  std::string tipoCliente;  ///< customer-type filter
  std::string pastaCodigo;  ///< script path in the script repository
};

/// The arguments of this run; empty until the entry stores them.
const Argumentos& argumentos();
void definirArgumentos(Argumentos valores);

}  // namespace configuracao
