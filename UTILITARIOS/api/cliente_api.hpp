#pragma once

#include <cstddef>
#include <functional>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "UTILITARIOS/api/http.hpp"
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
/// RespostaInvalida when the text holds a line break, which would end the
/// header early.
std::string textoDoToken(const Valor& tokenZelvo);

/// POST /login. Returns the member `token` of the response, as received,
/// whatever the HTTP status. Throws FalhaTransporte, or RespostaInvalida when
/// the body is not JSON, not an object, or has no `token`.
Valor obterTokenSistemaZelvo();

/// Called with each element of a top-level array, in order, as soon as the
/// parser has completed it; the element is dropped afterwards, so that a
/// large access list is never held whole next to what is built from it.
using PorElemento = std::function<void(nlohmann::ordered_json& elemento)>;

/// Parses `corpo`, handing each element of a top-level array to
/// `porElemento`. Returns the document, its top-level array (if that is what
/// it is) left empty. Throws nlohmann's parse_error when it is not JSON, or
/// its out_of_range for a number no double holds, possibly after some
/// elements were handed on. Never recurses on nesting.
nlohmann::ordered_json lerPorElemento(std::string_view corpo, const PorElemento& porElemento);

/// GET /acessos with the token, whatever the HTTP status; the access list is
/// read as lerPorElemento reads it. `resposta` receives what a diagnostic may
/// tell of the response (see api::descrever). Throws FalhaTransporte, or
/// RespostaInvalida when the body is not JSON (then after `porElemento` may
/// have received some customers).
nlohmann::ordered_json obterListaClientes(const Valor& tokenZelvo, const PorElemento& porElemento,
                                          std::string& resposta);

}  // namespace api
