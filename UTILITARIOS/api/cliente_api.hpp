#pragma once

#include <cstddef>
#include <functional>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "UTILITARIOS/api/http.hpp"
#include "UTILITARIOS/api/leitura_seletiva.hpp"
#include "UTILITARIOS/api/valor.hpp"

// The management API client: the login that yields a token and the download
// of the access list. Each call sends one request over its own connection
// and keeps nothing afterwards.
namespace api {

/// Header lines ("Name: value") of the access-list request, in the order
/// sent. Throws RespostaInvalida, without quoting it, when the token's text
/// (a text as is, any other value as its JSON text) holds a control
/// character (C0, DEL or C1): a line break would end the header early, a NUL
/// would cut it, an escape would reach a log.
std::vector<std::string> cabecalhosAcessos(const Valor& tokenZelvo);

/// The login body: {"login": <operator>, "senha": <password>}, in that order.
std::string corpoLogin();

/// POST /login. Returns the member `token` of the response, as received,
/// whatever the HTTP status; the other members are skipped unread. Throws
/// api::enviar's failure to communicate, or RespostaInvalida when the body
/// is not JSON, not an object, has no `token`, or its token holds a control character.
Valor obterTokenSistemaZelvo();

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
nlohmann::ordered_json lerPorElemento(std::istream& corpo, const PorElemento& porElemento);

/// GET /acessos with the token, whatever the HTTP status; the access list is
/// read as lerPorElemento reads it. `resposta` receives what a diagnostic may
/// tell of the response (see api::descrever), also when this throws.
/// Throws api::enviar's failure to communicate, RespostaInvalida when the
/// body is not JSON (then after `porElemento` may have received some
/// customers), or what `porElemento` threw: the transfer stops at the first
/// failure.
nlohmann::ordered_json obterListaClientes(const Valor& tokenZelvo, const PorElemento& porElemento,
                                          std::string& resposta);

}  // namespace api
