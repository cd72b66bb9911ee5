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
#include "UTILITARIOS/implantacao.hpp"

// The management API client: the login that yields a token and the download
// of the access list. Each call sends one request over its own connection
// and keeps nothing afterwards.
namespace api {

/// The operator account's password, fixed at build time. Diagnostics mask it
/// as it is, percent-encoded and JSON-escaped.
inline constexpr std::string_view kSenhaOperador = implantacao::kSenhaOperador;

/// The user identifier the access-list request presents in "x-user-id".
inline constexpr std::string_view kIdUsuario = "7c1e09d2-3b5a-4f86-9d04-2a6e5b13c8f7";

/// Header lines ("Name: value") of the two requests, in the order sent.
std::vector<std::string> cabecalhosLogin();
std::vector<std::string> cabecalhosAcessos(const Valor& tokenZelvo);

/// The login body: {"login": <operator>, "senha": <password>}, in that order.
std::string corpoLogin();

/// The token's text as the "Authorization" header carries it: a text as is,
/// a number in its decimal form, any other value as JSON text. Throws
/// RespostaInvalida, without quoting it, when the text holds a control
/// character (C0, DEL or C1): a line break would end the header early, a NUL
/// would cut it, an escape would reach a log.
std::string textoDoToken(const Valor& tokenZelvo);

/// POST /login. Returns the member `token` of the response, as received,
/// whatever the HTTP status; the other members are skipped unread. Throws
/// FalhaTransporte, or RespostaInvalida when the body is not JSON, not an
/// object, has no `token`, or its token holds a control character.
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
nlohmann::ordered_json lerPorElemento(std::string_view corpo, const PorElemento& porElemento);

/// GET /acessos with the token, whatever the HTTP status; the access list is
/// read as lerPorElemento reads it. `resposta` receives what a diagnostic may
/// tell of the response (see api::descrever). Throws FalhaTransporte, or
/// RespostaInvalida when the body is not JSON (then after `porElemento` may
/// have received some customers).
nlohmann::ordered_json obterListaClientes(const Valor& tokenZelvo, const PorElemento& porElemento,
                                          std::string& resposta);

}  // namespace api
