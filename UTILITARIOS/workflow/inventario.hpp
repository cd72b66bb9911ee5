#pragma once

#include <cstddef>
#include <iosfwd>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "UTILITARIOS/api/leitura_seletiva.hpp"
#include "UTILITARIOS/api/valor.hpp"
#include "UTILITARIOS/falhas.hpp"

// The machine inventory: from the access list to machine records grouped by
// customer.
namespace workflow {

/// One machine to treat, built once and never changed. Its fields are the
/// values of the seven placeholder keys ({#CLIENTE}, {#TIPO}, {#IP},
/// {#PORTA}, {#USUARIO}, {#SENHA}, {#SENHAROOT}).
/// Except the label, the values are exactly what the access list gave
/// (api::Valor: a text as is, any other value as its JSON text; `.texto()`
/// is how the tool shows or sends it, `.json()` rebuilds it).
struct RegistroMaquina {
  /// {#CLIENTE}: numero, " - ", customer name; shared by the customer's records.
  std::shared_ptr<const std::string> cliente;
  api::Valor tipo;       ///< {#TIPO}
  api::Valor ip;         ///< {#IP}: "ip", or the address parsed from "acesso"
  api::Valor porta;      ///< {#PORTA}: "sshPort" (number or text), or the port text parsed
                         ///< from "acesso", which may begin with a blank
  api::Valor usuario;    ///< {#USUARIO}: "user", or the user parsed from "acesso"
  api::Valor senha;      ///< {#SENHA}: "senhaVm"
  api::Valor senhaRoot;  ///< {#SENHAROOT}: "senhaRoot", later given to su

  const std::string& rotulo() const { return *cliente; }
};

/// One customer label with its records, in access-list order.
struct GrupoCliente {
  std::string rotulo;
  std::vector<RegistroMaquina> maquinas;
};

/// `clientes`: the groups in the order their labels were first met (by a
/// usable machine); entries that produce the same label share one group.
using Clientes = std::vector<GrupoCliente>;

/// The access list has a shape the inventory cannot read. The message names
/// the customer entry (position from 1, and numero when known), the machine
/// entry when there is one, and what is missing or wrong; it never quotes a
/// password.
class FalhaInventario : public falhas::Falha {
 public:
  explicit FalhaInventario(const std::string& mensagem, std::string etapa = {})
      : falhas::Falha("lista de acessos inesperada", mensagem, std::move(etapa)) {}
};

/// The script's file name: the last "/"-separated component of pastaCodigo.
std::string nomeCodigoDe(std::string_view pastaCodigo);

/// Parses an "acesso" text ("ssh user@address -p port") into the address,
/// the port text (no trimming) and the user. Throws FalhaInventario when it
/// has fewer than two words or nothing but white space after its last "@";
/// `onde` names the entry in that message.
struct Acesso {
  std::string endereco;
  std::string porta;
  std::string usuario;
};
Acesso lerAcesso(std::string_view acesso, const std::string& onde);

/// Parses the access list `corpo`, handing each element of a top-level
/// array to `porElemento` as soon as it is complete, then dropping it, so
/// that a large list is never held whole next to what is built from it.
/// Each element keeps only what the inventory reads: `numero`, and of
/// `produto` its first element's `nome` and `maquinas`, each machine with
/// `tipo`, `ip`, `sshPort`, `user`, `senhaVm`, `senhaRoot` and `acesso`
/// (and up to five other members, as null, so that its size still tells
/// whether it has more than four); anything else is skipped unread.
/// Returns the document, its top-level array (if that is what it is) left
/// empty, any other container without its members. Throws nlohmann's
/// parse_error when it is not JSON, or its out_of_range for a number no
/// double holds, possibly after some elements were handed on. Never
/// recurses on nesting.
nlohmann::ordered_json lerAcessos(std::istream& corpo, const api::PorElemento& porElemento);

/// Builds the records and the grouping from the access list's customer
/// entries, handed one at a time while the list is parsed (see
/// lerAcessos). The first failure is thrown at once, from
/// `cliente()`, so that the transfer of a body already known to be unusable
/// stops there.
class MontadorClientes {
 public:
  void cliente(const nlohmann::ordered_json& entrada);
  /// The grouping of a list whose whole `documento` (its top-level array
  /// emptied) has been read; throws FalhaInventario for the first failure.
  Clientes concluir(const nlohmann::ordered_json& documento);

 private:
  void lerCliente(const nlohmann::ordered_json& c);
  // `onde`: the machine's place in the list, for the failures' texts.
  void lerMaquina(const nlohmann::ordered_json& m, const std::string& rotulo,
                  const std::string& onde);
  void acrescentar(const std::string& rotulo, RegistroMaquina&& registro);
  std::size_t posicao_ = 0;
  Clientes clientes_;
  std::unordered_map<std::string, std::size_t> indicePorRotulo_;
  std::vector<std::shared_ptr<const std::string>> rotulos_;  // per group
};

}  // namespace workflow
