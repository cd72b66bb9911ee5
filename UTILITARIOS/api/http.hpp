#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "UTILITARIOS/falhas.hpp"

// One-shot HTTPS requests over libcurl. The response body is received whole:
// a real access list is a few megabytes.
namespace api {

/// The request could not be completed: name resolution, connection, TLS
/// handshake or certificate check, a transfer that broke off, or a server
/// that sent nothing for implantacao::kSilencioApiSegundos. The message
/// names the request and carries libcurl's own text or the silence's length.
class FalhaTransporte : public falhas::Falha {
 public:
  explicit FalhaTransporte(const std::string& mensagem)
      : falhas::Falha("falha de comunicação com a API", mensagem) {}
};

/// The response arrived but cannot be used (not JSON, or not the expected
/// shape). The message never quotes a body that looks like JSON, because
/// such a body may hold passwords.
class RespostaInvalida : public falhas::Falha {
 public:
  explicit RespostaInvalida(const std::string& mensagem)
      : falhas::Falha("resposta inválida da API", mensagem) {}
};

struct Pedido {
  enum class Metodo { get, post };
  Metodo metodo = Metodo::get;
  std::string url;
  /// "Name: value" lines, sent in this order. A header named here replaces
  /// the one libcurl would add itself (Accept, Content-Type,
  /// Accept-Encoding); libcurl still adds Host and, for a POST,
  /// Content-Length.
  std::vector<std::string> cabecalhos;
  std::string corpo;  ///< POST body, sent as is
  /// How diagnostics name the request, e.g. "POST /login".
  std::string nome;
  /// Texts that no diagnostic about this request may show.
  std::vector<std::string> segredos;
};

struct Resposta {
  std::string status;        ///< "HTTP 401 Unauthorized", from the last status line
  std::string tipoConteudo;  ///< Content-Type, empty when absent
  std::string corpo;         ///< decoded (gzip, deflate, br and zstd)
};

/// Sends `pedido` and returns the response, whatever the HTTP status.
/// Blocks as long as bytes keep arriving, however slowly. Throws
/// FalhaTransporte, and RespostaInvalida for a decoded body larger than
/// implantacao::kCorpoApiMaximo.
Resposta enviar(const Pedido& pedido);

/// What a diagnostic may tell of a response: the status, the content type,
/// the size and, for a body that is not JSON, its start (see trechoSeguro).
/// "HTTP 502 Bad Gateway, text/html, 58 bytes, começa com \"<html>...\"".
std::string descrever(const Pedido& pedido, const Resposta& resposta);

/// The failure for a body that the JSON parser refused with error `id` at
/// `byte` (nlohmann's parse_error, or its out_of_range 406 for a number no
/// double holds): names the request, the parser's finding and describes the
/// response.
RespostaInvalida naoEhJson(const Pedido& pedido, const Resposta& resposta, int id,
                           std::size_t byte);

/// The start of a body which is not JSON, safe to show: empty when the body
/// starts like JSON; otherwise the bytes before the first "{", "[" or "\""
/// (where a value, and so a secret, could begin), at most 60 of them, every
/// secret masked (also a prefix of one that the cut leaves at the end),
/// control and non-ASCII bytes escaped.
std::string trechoSeguro(std::string_view corpo, const std::vector<std::string>& segredos);

}  // namespace api
