#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

#include "UTILITARIOS/falhas.hpp"

// One-shot HTTPS requests over libcurl whose response body is read as a
// stream while it arrives, so that a large access list is never held whole
// in memory next to what is built from it.
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

/// Thrown by a body reader when the body is not valid JSON. `byte` is the
/// offset reached by the parser; `causa` is the parser's explanation
/// without any quoted input.
class JsonInvalido : public std::runtime_error {
 public:
  JsonInvalido(std::size_t byte, const std::string& causa)
      : std::runtime_error(causa), byte_(byte) {}
  std::size_t byte() const noexcept { return byte_; }

 private:
  std::size_t byte_;
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
};

/// Sends `pedido` and calls `ler` once with a stream of the decoded response
/// body (gzip, deflate, br and zstd are decoded), whatever the HTTP status.
/// The transfer proceeds while `ler` reads; `ler` should read to the end.
/// Blocks without a time-out. Throws FalhaTransporte when the transfer
/// fails, RespostaInvalida when `ler` throws JsonInvalido (naming the
/// request, and quoting the first bytes of the body only when they do not
/// look like JSON at all), and lets every other exception of `ler` through.
void enviar(const Pedido& pedido, const std::function<void(std::istream&)>& ler);

/// The diagnostic part that shows the start of a body which is not JSON:
/// empty when the body looks like JSON (it may hold passwords); otherwise
/// at most 60 bytes, control bytes escaped, the operator's password masked.
std::string trechoSeguro(const std::string& inicio, std::size_t total);

}  // namespace api
