#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "UTILITARIOS/falhas.hpp"
#include "UTILITARIOS/workflow/inventario.hpp"

// The machine selection: which records of `clientes` the per-machine stage
// treats, chosen automatically (scope 1) or by asking the operator (scope 2).
namespace workflow {

/// The selection cannot go on: the scope is not a whole number, a label has
/// no customer type, or standard input ended at the prompt.
class FalhaSelecao : public falhas::Falha {
 public:
  explicit FalhaSelecao(const std::string& mensagem)
      : falhas::Falha("seleção interrompida", mensagem) {}
};

struct Selecao {
  /// The chosen records, in the order to treat them; a record may appear
  /// twice (scope 1). They point into the `clientes` given to
  /// selecionarMaquinas, which must outlive them.
  std::vector<const RegistroMaquina*> vms_selecionadas;
};

/// The customer type of a label: the first word after its last " - ".
/// Throws FalhaSelecao when there is nothing but white space there.
std::string tipoClienteDe(std::string_view rotulo);

/// Selects from `clientes` the records of the customers whose type equals
/// `tipoCliente`, according to `inserir` ("1" automatic, "2" interactive,
/// any other whole number: nothing). Scope 2 writes the lists, prompts and
/// messages to `saida` and reads one answer line per customer from
/// `entrada`. Throws FalhaSelecao.
Selecao selecionarMaquinas(const Clientes& clientes, std::string_view inserir,
                           std::string_view tipoCliente, std::istream& entrada,
                           std::ostream& saida);

}  // namespace workflow
