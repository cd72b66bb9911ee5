#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "UTILITARIOS/falhas.hpp"
#include "UTILITARIOS/implantacao.hpp"

// One-shot HTTPS requests over libcurl. The response body is read while it
// arrives and never held whole: a small compressed body can decode to
// hundreds of megabytes. The transfer runs on a thread of its own, a batch
// of decoded bytes (256 KB) ahead of the caller's reader at most; the call returns
// only when it has ended.
namespace api {

/// The response arrived but cannot be used (not JSON, or not the expected
/// shape). The message never quotes a body that looks like JSON, because
/// such a body may hold passwords.
class RespostaInvalida : public falhas::Falha {
 public:
  explicit RespostaInvalida(const std::string& mensagem)
      : falhas::Falha("resposta inválida da API", mensagem) {}
};

/// How long a request waits: on a server that sends nothing at all
/// (`silencio`), and the window over which a body slower than 1 KB/s fails
/// (`lentidao`), in seconds.
struct Paciencia {
  long silencio = implantacao::kSilencioApiSegundos;
  long lentidao = implantacao::kLentidaoApiSegundos;
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
  /// Texts that no diagnostic about this request may show. One shorter than
  /// 8 characters is masked only where it stands as a whole word: inside a
  /// longer word it could be anything.
  std::vector<std::string> segredos;
  Paciencia paciencia;
};

struct Resposta {
  std::string status;        ///< "HTTP 401 Unauthorized", from the last status line
  std::string tipoConteudo;  ///< Content-Type, empty when absent
  std::size_t tamanho = 0;   ///< bytes of the body, decoded (gzip, deflate, br and zstd)
  std::string inicio;        ///< the body's first bytes, for diagnostics (see trechoSeguro)
  std::exception_ptr falhaDaLeitura;  ///< what the reader threw, if anything
  /// The transfer was ended at the reader's failure: `tamanho` is what had
  /// arrived by then.
  bool interrompida = false;
};

/// Reads the decoded body from a stream that blocks until more of it has
/// arrived.
using LeitorCorpo = std::function<void(std::istream& corpo)>;

/// Sends `pedido` and hands the decoded body to `ler` as it arrives,
/// whatever the HTTP status; what `ler` leaves unread is received and
/// dropped. Blocks as long as bytes keep arriving, however slowly. Throws
/// falhas::Falha of kind "falha de comunicação com a API" when the request
/// could not be completed (name resolution, connection, TLS handshake or
/// certificate check, a transfer that broke off, or a server that sent
/// nothing for the request's patience, or a body slower than 1 KB/s over
/// its window; the message names the
/// request and carries libcurl's own text or the silence's length), and
/// RespostaInvalida for a decoded body larger than
/// implantacao::kCorpoApiMaximo, before anything `ler` threw, which comes
/// back in `falhaDaLeitura`.
Resposta enviar(const Pedido& pedido, const LeitorCorpo& ler);

}  // namespace api
