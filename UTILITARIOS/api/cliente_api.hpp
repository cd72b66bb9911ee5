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
/// `paciencia`: how long the request waits on a silent or slow server.
Valor obterTokenSistemaZelvo(const Paciencia& paciencia = {});

/// GET /acessos with the token, whatever the HTTP status; the body, read as
/// it arrives, goes to `lerCorpo` (the inventory knows what the list holds).
/// `resposta` receives what a diagnostic may tell of the response (see
/// api::descrever), also when this throws. Throws api::enviar's failure to
/// communicate, RespostaInvalida when `lerCorpo` found the body not JSON, or
/// what else `lerCorpo` threw: the transfer stops at the first failure.
void obterListaClientes(const Valor& tokenZelvo, const LeitorCorpo& lerCorpo, std::string& resposta,
                        const Paciencia& paciencia = {});

}  // namespace api
