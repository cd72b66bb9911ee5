#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <string_view>
#include <vector>

#include "UTILITARIOS/api/leitura_json.hpp"

// The access list as the inventory reads it. The response is parsed as a
// stream and reduced on the fly to the members the inventory looks at, plus
// the facts it needs to fail exactly where a fully parsed document would
// (a member missing, a value of the wrong kind, an empty `produto`). Each
// customer entry is handed on as soon as it is complete; nothing else of
// the document is kept.
namespace api {

/// One element of `produto[0].maquinas`.
struct MaquinaAcesso {
  enum Campo : std::uint8_t { tipo, ip, sshPort, user, senhaVm, senhaRoot, acesso, kCampos };
  static constexpr std::array<std::string_view, kCampos> kNomes = {
      "tipo", "ip", "sshPort", "user", "senhaVm", "senhaRoot", "acesso"};

  TipoJson forma = TipoJson::objeto;   ///< the element's own kind; only an object is usable
  std::uint32_t chaves = 0;            ///< distinct member names of the element
  std::uint8_t presentes = 0;          ///< one bit per Campo that was present
  std::array<Valor, kCampos> valores;  ///< as received; null when absent

  bool tem(Campo c) const { return (presentes >> c) & 1U; }
};

/// One customer entry of the top-level array. A repeated member counts once,
/// with its last value, as in a parsed document.
struct ClienteAcesso {
  TipoJson forma = TipoJson::objeto;  ///< the entry's own kind; only an object is usable
  bool temNumero = false;
  Valor numero;
  TipoJson produto = TipoJson::ausente;          ///< kind of `produto`
  bool produtoVazio = true;                      ///< when `produto` is an array
  TipoJson primeiroProduto = TipoJson::ausente;  ///< kind of `produto[0]`
  bool temNome = false;                          ///< `produto[0].nome` present
  Valor nome;
  TipoJson maquinasForma = TipoJson::ausente;  ///< kind of `produto[0].maquinas`
  std::vector<MaquinaAcesso> maquinas;         ///< when `maquinas` is an array
};

/// Receives the access list while it is read.
class DestinoAcessos {
 public:
  virtual ~DestinoAcessos() = default;
  /// The kind of the whole document; called once, before anything else.
  virtual void documento(TipoJson tipo) = 0;
  /// The next customer entry of the top-level array, complete. Called only
  /// when the document is an array, in array order.
  virtual void cliente(ClienteAcesso&& entrada) = 0;
};

/// Reads an access-list body to its end, feeding `destino`. Throws
/// JsonInvalido when the body is not JSON (trailing data included), which
/// may happen after some customers were handed on. Never recurses on
/// nesting.
void lerListaAcessos(std::istream& corpo, DestinoAcessos& destino);

/// The whole reduced list at once (small lists, tests).
struct ListaAcessos {
  TipoJson documento = TipoJson::ausente;
  std::vector<ClienteAcesso> clientes;
};
ListaAcessos lerListaAcessos(std::string_view texto);

}  // namespace api
