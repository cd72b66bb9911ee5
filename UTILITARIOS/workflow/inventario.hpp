#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "UTILITARIOS/api/leitura_json.hpp"
#include "UTILITARIOS/api/lista_acessos.hpp"
#include "UTILITARIOS/falhas.hpp"

// The machine inventory: from the access list to machine records grouped by
// customer.
namespace workflow {

/// One machine to treat, built once and never changed. Its fields are the
/// values of the seven placeholder keys, in the order of kChavesRegistro.
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

/// The placeholder keys of a record, in the record's order.
inline constexpr std::array<std::string_view, 7> kChavesRegistro = {
    "{#CLIENTE}", "{#TIPO}", "{#IP}", "{#PORTA}", "{#USUARIO}", "{#SENHA}", "{#SENHAROOT}"};

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
  explicit FalhaInventario(const std::string& mensagem)
      : falhas::Falha("lista de acessos inesperada", mensagem) {}
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

/// Builds the records and the grouping from the access list as it streams
/// in: each customer entry becomes records as soon as it is complete, so
/// the list is never held whole. A failure is kept and thrown by
/// `concluir()`, after the reading has ended: a body that turns out not to
/// be JSON is reported as such, as it would be if the list had been parsed
/// first. Entries after the first failure are not looked at.
class MontadorClientes : public api::DestinoAcessos {
 public:
  void documento(api::TipoJson tipo) override;
  void cliente(api::ClienteAcesso&& entrada) override;
  /// The grouping; throws FalhaInventario for the first failure met.
  Clientes concluir();

 private:
  void lerCliente(api::ClienteAcesso& c);
  std::optional<std::string> falha_;
  std::size_t posicao_ = 0;
  Clientes clientes_;
  std::unordered_map<std::string, std::size_t> indicePorRotulo_;
  std::vector<std::shared_ptr<const std::string>> rotulos_;  // per group
};

/// The grouping of a whole reduced list (tests, small lists).
Clientes montarClientes(api::ListaAcessos&& lista);

}  // namespace workflow
