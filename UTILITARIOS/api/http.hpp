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
/// handshake or certificate check, or a transfer that broke off. The message
/// names the request and carries libcurl's own text.
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
  std::string corpo;  ///< decoded (gzip, deflate, br and zstd)
};

/// Sends `pedido` and returns the response, whatever the HTTP status.
/// Blocks without a time-out. Throws FalhaTransporte.
Resposta enviar(const Pedido& pedido);

/// The failure for a body that the JSON parser refused with error `id` at
/// `byte` (nlohmann's parse_error): names the request and the parser's
/// finding, and shows the start of the body only when it does not look
/// like JSON (see trechoSeguro).
RespostaInvalida naoEhJson(const Pedido& pedido, const Resposta& resposta, int id,
                           std::size_t byte);

/// The diagnostic part that shows the start of a body which is not JSON:
/// empty when the body looks like JSON (it may hold passwords); otherwise
/// at most 60 bytes, control bytes escaped, every secret masked.
std::string trechoSeguro(std::string_view corpo, const std::vector<std::string>& segredos);

}  // namespace api
