#include "UTILITARIOS/api/http.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <cstdio>
#include <istream>
#include <memory>
#include <mutex>
#include <streambuf>
#include <utility>

#include "UTILITARIOS/api/cliente_api.hpp"

namespace api {
namespace {

// Enough of the body's start to tell an HTML page from JSON and to show it.
constexpr std::size_t kInicioGuardado = 64;
constexpr std::size_t kInicioMostrado = 60;
// Decoded bytes waiting for the reader before the transfer is paused. One
// call into libcurl may read many network buffers, and a compressed body
// expands them tenfold or more: without this bound a whole list could pile
// up here.
constexpr std::size_t kPendenteMaximo = 256 << 10;

void iniciarCurl() {
  static std::once_flag feito;
  std::call_once(feito, [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != 0)
      throw FalhaTransporte("não foi possível iniciar a biblioteca libcurl");
  });
}

std::string hostDe(const std::string& url) {
  std::size_t inicio = url.find("://");
  inicio = inicio == std::string::npos ? 0 : inicio + 3;
  const std::size_t fim = url.find_first_of(":/", inicio);
  return url.substr(inicio, fim == std::string::npos ? std::string::npos : fim - inicio);
}

/// Owns the multi handle, the easy handle and the header list of one
/// transfer, and exposes the decoded body as a stream buffer that drives the
/// transfer whenever the reader needs more bytes.
class Transferencia : public std::streambuf {
 public:
  explicit Transferencia(const Pedido& pedido)
      : multi_(curl_multi_init()), easy_(curl_easy_init()) {
    if (!multi_ || !easy_)
      throw FalhaTransporte(pedido.nome + ": libcurl não criou a transferência");
    for (const std::string& linha : pedido.cabecalhos) {
      curl_slist* lista = cabecalhos_.release();
      curl_slist* nova = curl_slist_append(lista, linha.c_str());
      cabecalhos_.reset(nova != nullptr ? nova : lista);
      if (nova == nullptr) throw std::bad_alloc();
    }
    CURL* h = easy_.get();
    erro_[0] = '\0';
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, erro_);
    curl_easy_setopt(h, CURLOPT_URL, pedido.url.c_str());
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, cabecalhos_.get());
    // An empty list enables every decoder libcurl was built with; the
    // Accept-Encoding line of the header set still wins on the wire.
    curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
    // The header set carries Connection and TE, which HTTP/2 forbids or
    // restricts: speak HTTP/1.1 so that the headers go out as listed.
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    // The tool reads no environment variable, proxy settings included.
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Transferencia::receber);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
    if (pedido.metodo == Pedido::Metodo::post) {
      curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                       static_cast<curl_off_t>(pedido.corpo.size()));
      curl_easy_setopt(h, CURLOPT_COPYPOSTFIELDS, pedido.corpo.c_str());
    } else {
      curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    }
    if (curl_multi_add_handle(multi_.get(), h) != CURLM_OK)
      throw FalhaTransporte(pedido.nome + ": libcurl recusou a transferência");
    anexada_ = true;
  }

  ~Transferencia() override {
    // libcurl requires the easy handle to leave the multi handle before
    // either is cleaned up.
    if (anexada_) curl_multi_remove_handle(multi_.get(), easy_.get());
  }

  Transferencia(const Transferencia&) = delete;
  Transferencia& operator=(const Transferencia&) = delete;

  /// Runs the transfer to its end, discarding what nobody read.
  void concluir() {
    while (!terminou_) {
      pendente_.clear();
      continuar();
      bombear();
    }
  }

  bool terminou() const { return terminou_; }
  bool falhou() const { return terminou_ && codigo_ != CURLE_OK; }
  CURLcode codigo() const { return codigo_; }
  const char* textoErro() const { return erro_; }
  const std::string& inicio() const { return inicio_; }
  std::size_t total() const { return total_; }

 protected:
  int_type underflow() override {
    while (pendente_.empty() && !terminou_) {
      continuar();
      if (pendente_.empty()) bombear();
    }
    if (pendente_.empty()) return traits_type::eof();
    // Two buffers take turns, so their capacity is reused for the whole body.
    atual_.swap(pendente_);
    pendente_.clear();
    setg(atual_.data(), atual_.data(), atual_.data() + atual_.size());
    return traits_type::to_int_type(atual_[0]);
  }

 private:
  struct LiberarMulti {
    void operator()(CURLM* m) const { curl_multi_cleanup(m); }
  };
  struct LiberarEasy {
    void operator()(CURL* e) const { curl_easy_cleanup(e); }
  };
  struct LiberarLista {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
  };

  static std::size_t receber(char* dados, std::size_t, std::size_t n, void* eu) {
    auto* t = static_cast<Transferencia*>(eu);
    if (t->pendente_.size() >= kPendenteMaximo) {
      // libcurl keeps these bytes and hands them over again on resume.
      t->pausada_ = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    if (t->inicio_.size() < kInicioGuardado)
      t->inicio_.append(dados, std::min(n, kInicioGuardado - t->inicio_.size()));
    t->total_ += n;
    t->pendente_.append(dados, n);
    return n;
  }

  // Resumes a paused transfer; libcurl delivers what it kept right away.
  void continuar() {
    if (!pausada_) return;
    pausada_ = false;
    const CURLcode codigo = curl_easy_pause(easy_.get(), CURLPAUSE_CONT);
    if (codigo != CURLE_OK) terminar(codigo, nullptr);
  }

  void bombear() {
    int ativas = 0;
    const CURLMcode mc = curl_multi_perform(multi_.get(), &ativas);
    if (mc != CURLM_OK) {
      terminar(CURLE_FAILED_INIT, curl_multi_strerror(mc));
      return;
    }
    int restantes = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi_.get(), &restantes))
      if (msg->msg == CURLMSG_DONE) terminar(msg->data.result, nullptr);
    if (!terminou_ && pendente_.empty()) {
      const CURLMcode espera = curl_multi_poll(multi_.get(), nullptr, 0, 1000, nullptr);
      if (espera != CURLM_OK) terminar(CURLE_FAILED_INIT, curl_multi_strerror(espera));
    }
  }

  void terminar(CURLcode codigo, const char* texto) {
    terminou_ = true;
    codigo_ = codigo;
    if (texto != nullptr && erro_[0] == '\0') {
      std::snprintf(erro_, sizeof erro_, "%s", texto);
    }
  }

  // Declared so that the header list outlives the easy handle that uses it.
  std::unique_ptr<curl_slist, LiberarLista> cabecalhos_;
  std::unique_ptr<CURLM, LiberarMulti> multi_;
  std::unique_ptr<CURL, LiberarEasy> easy_;
  bool anexada_ = false;
  bool terminou_ = false;
  bool pausada_ = false;
  CURLcode codigo_ = CURLE_OK;
  char erro_[CURL_ERROR_SIZE];
  std::string pendente_;
  std::string atual_;
  std::string inicio_;
  std::size_t total_ = 0;
};

std::string descreverFalha(const Pedido& pedido, const Transferencia& t) {
  std::string detalhe = t.textoErro();
  if (detalhe.empty()) detalhe = curl_easy_strerror(t.codigo());
  const std::string host = hostDe(pedido.url);
  std::string causa;
  switch (t.codigo()) {
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
      causa = "a verificação do certificado de " + host + " falhou";
      break;
    case CURLE_SSL_CONNECT_ERROR:
      causa = "o handshake TLS com " + host + " falhou";
      break;
    case CURLE_COULDNT_RESOLVE_HOST:
      causa = "o nome " + host + " não foi resolvido";
      break;
    case CURLE_COULDNT_CONNECT:
      causa = "não foi possível conectar a " + host;
      break;
    default:
      causa = "a transferência com " + host + " falhou";
      break;
  }
  return pedido.nome + ": " + causa + " (" + detalhe + ")";
}

bool pareceJson(const std::string& inicio) {
  for (char c : inicio) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
    // A UTF-8 byte order mark is skipped by the parser as well.
    if (static_cast<unsigned char>(c) == 0xEF || static_cast<unsigned char>(c) == 0xBB ||
        static_cast<unsigned char>(c) == 0xBF)
      continue;
    return std::string_view("{[\"-0123456789tfn").find(c) != std::string_view::npos;
  }
  return true;  // only blanks so far: nothing safe to show
}

}  // namespace

std::string trechoSeguro(const std::string& inicio, std::size_t total) {
  if (total == 0) return "corpo vazio";
  if (pareceJson(inicio)) return "";
  std::string trecho = inicio;
  for (std::size_t pos = trecho.find(kSenhaOperador); pos != std::string::npos;
       pos = trecho.find(kSenhaOperador, pos))
    trecho.replace(pos, kSenhaOperador.size(), "***");
  bool cortado = total > inicio.size();
  if (trecho.size() > kInicioMostrado) {
    std::size_t fim = kInicioMostrado;
    // Never split a UTF-8 character.
    while (fim > 0 && (static_cast<unsigned char>(trecho[fim]) & 0xC0) == 0x80) --fim;
    trecho.resize(fim);
    cortado = true;
  }
  // The cut may leave the start of the password at the end.
  for (std::size_t n = kSenhaOperador.size() - 1; n >= 4; --n) {
    if (trecho.ends_with(kSenhaOperador.substr(0, n))) {
      trecho.replace(trecho.size() - n, n, "***");
      break;
    }
  }
  std::string seguro;
  for (unsigned char c : trecho) {
    static constexpr char kHex[] = "0123456789abcdef";
    if (c == '"' || c == '\\') {
      seguro += '\\';
      seguro += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      seguro += "\\x";
      seguro += kHex[c >> 4];
      seguro += kHex[c & 15];
    } else {
      seguro += static_cast<char>(c);
    }
  }
  return "começa com \"" + seguro + (cortado ? "\"..." : "\"");
}

void enviar(const Pedido& pedido, const std::function<void(std::istream&)>& ler) {
  iniciarCurl();
  Transferencia transferencia(pedido);
  std::istream corpo(&transferencia);
  try {
    ler(corpo);
  } catch (const JsonInvalido& erro) {
    // A body cut short by a broken connection also fails to parse; the
    // transport failure is the cause worth reporting.
    if (transferencia.falhou()) throw FalhaTransporte(descreverFalha(pedido, transferencia));
    std::string mensagem = "a resposta a " + pedido.nome + " não é JSON (" + erro.what() +
                           ", byte " + std::to_string(erro.byte()) + ")";
    const std::string trecho = trechoSeguro(transferencia.inicio(), transferencia.total());
    if (!trecho.empty()) mensagem += ": " + trecho;
    throw RespostaInvalida(mensagem);
  }
  transferencia.concluir();
  if (transferencia.falhou()) throw FalhaTransporte(descreverFalha(pedido, transferencia));
}

}  // namespace api
