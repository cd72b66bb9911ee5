#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "UTILITARIOS/api/http.hpp"

// What the operator is told of a response the API should not have sent:
// enough to tell a proxy's page from a changed API, never a secret of the
// request nor a value of a body that may hold passwords.
namespace api {

/// `texto` with every secret of `segredos` replaced by "***"; one shorter
/// than 8 characters only where it stands as a whole word.
std::string mascarar(std::string texto, const std::vector<std::string>& segredos);

/// What a diagnostic may tell of a response: the status and the content type
/// (secrets masked as in the body), the size and, for a body that is not
/// JSON, its start (see trechoSeguro).
/// "HTTP 502 Bad Gateway, text/plain, 11 bytes, começa com \"Bad Gateway\"".
std::string descrever(const Pedido& pedido, const Resposta& resposta);

/// The failure for a body that the JSON parser refused with error `id` at
/// `byte` (nlohmann's parse_error, or its out_of_range 406 for a number no
/// double holds): names the request, the parser's finding and describes the
/// response.
RespostaInvalida naoEhJson(const Pedido& pedido, const Resposta& resposta, int id,
                           std::size_t byte);

/// The start of a body which is not JSON, safe to show: empty when the body
/// starts like JSON; otherwise only its leading word of ASCII letters (at
/// most 16), after a markup "<", "<!" or "<?" and then with a second word
/// ("<!DOCTYPE html"), every secret masked (also a prefix of one that the
/// cut leaves at the end); empty when there is no such word. `corpo` may be
/// only the body's start.
std::string trechoSeguro(std::string_view corpo, const std::vector<std::string>& segredos);

}  // namespace api
