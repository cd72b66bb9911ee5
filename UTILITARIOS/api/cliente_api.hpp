#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "UTILITARIOS/api/http.hpp"
#include "UTILITARIOS/api/lista_acessos.hpp"
#include "UTILITARIOS/implantacao.hpp"

// The management API client: the login that yields a token and the download
// of the access list. Each call sends one request over its own connection
// and keeps nothing afterwards.
namespace api {

/// The operator account's password, fixed at build time. Diagnostics mask it.
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

/// GET /acessos with the token. Feeds the access list to `destino` while it
/// arrives, whatever the HTTP status, reduced to what the inventory reads
/// (see lista_acessos.hpp). Throws FalhaTransporte, or RespostaInvalida
/// when the body is not JSON; either may come after `destino` has received
/// some customers.
void obterListaClientes(const Valor& tokenZelvo, DestinoAcessos& destino);

}  // namespace api
