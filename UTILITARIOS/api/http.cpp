#include "UTILITARIOS/api/http.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <istream>
#include <memory>
#include <mutex>
#include <new>
#include <string_view>
#include <thread>
#include <utility>

#include "UTILITARIOS/api/diagnostico.hpp"
#include "UTILITARIOS/implantacao.hpp"
#include "UTILITARIOS/textos.hpp"

namespace api {
namespace {

// The slowest body accepted: under this many bytes a second over a whole
// window of the request's patience, the transfer fails as stalled.
constexpr curl_off_t kPisoBytesPorSegundo = 1024;

falhas::Falha falhaTransporte(const std::string& mensagem) {
  return falhas::Falha("falha de comunicação com a API", mensagem);
}

void iniciarCurl() {
  static std::once_flag feito;
  std::call_once(feito, [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != 0)
      throw falhaTransporte("não foi possível iniciar a biblioteca libcurl");
  });
}

std::string hostDe(const std::string& url) {
  std::size_t inicio = url.find("://");
  inicio = inicio == std::string::npos ? 0 : inicio + 3;
  const std::size_t fim = url.find_first_of(":/", inicio);
  return url.substr(inicio, fim == std::string::npos ? std::string::npos : fim - inicio);
}

struct LiberaEasy {
  void operator()(CURL* e) const { curl_easy_cleanup(e); }
};
struct LiberaLista {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

using Relogio = std::chrono::steady_clock;

// Decoded bytes handed to the reader at a time. The transfer waits while
// this much is waiting, so that a small compressed body that decodes huge is
// never held whole.
constexpr std::size_t kLote = std::size_t{256} << 10;
// Bytes of the body's start kept for a diagnostic.
constexpr std::size_t kInicioGuardado = 256;

struct Recepcao {
  CURL* easy = nullptr;
  Paciencia paciencia;
  Resposta resposta;
  Relogio::time_point ultimoByte = Relogio::now();
  curl_off_t recebidos = 0;  // body bytes as they came over the wire
  // The window over which the body's speed is measured: it starts with the
  // body, and the time the transfer waits for the reader is not counted.
  Relogio::time_point inicioJanela{};
  curl_off_t recebidosNaJanela = 0;
  bool emSilencio = false;
  bool lento = false;
  bool grandeDemais = false;
  bool semMemoria = false;
  // Between the transfer's thread and the reader.
  std::mutex mutex;
  std::condition_variable mudou;
  std::string pendente;      // decoded bytes the reader has not taken yet
  bool descartando = false;  // the reader is done: the rest is only counted
  bool fim = false;          // the transfer has ended
  // The reader failed first: the transfer stops, its cause is the reader's.
  std::atomic<bool> abortado = false;
};

// Runs on the transfer's thread: waits while the reader is a batch behind.
std::size_t receber(char* dados, std::size_t, std::size_t n, void* destino) {
  auto* r = static_cast<Recepcao*>(destino);
  std::unique_lock trava(r->mutex);
  const auto antes = Relogio::now();
  r->mudou.wait(trava, [&] { return r->descartando || r->abortado || r->pendente.size() < kLote; });
  if (r->abortado) return 0;  // libcurl ends the transfer
  // The wait was the reader's, not the server's.
  r->ultimoByte = Relogio::now();
  if (r->inicioJanela != Relogio::time_point{}) r->inicioJanela += r->ultimoByte - antes;
  Resposta& resposta = r->resposta;
  if (n > implantacao::kCorpoApiMaximo - resposta.tamanho) {
    r->grandeDemais = true;
    return 0;  // libcurl ends the transfer
  }
  try {
    if (resposta.inicio.size() < kInicioGuardado)
      resposta.inicio.append(dados, std::min(n, kInicioGuardado - resposta.inicio.size()));
    if (!r->descartando) r->pendente.append(dados, n);
  } catch (const std::bad_alloc&) {
    // No exception may cross libcurl: the transfer ends, and enviar says why.
    r->semMemoria = true;
    return 0;
  }
  resposta.tamanho += n;
  r->mudou.notify_all();
  return n;
}

// The body as a stream: the transfer runs on its own thread and each read
// that finds nothing waiting blocks until more has been decoded or the
// transfer has ended. Only the reader's thread touches the stream.
class FluxoCorpo : public std::streambuf {
 public:
  explicit FluxoCorpo(Recepcao& recepcao)
      : r_(recepcao), transferencia_([this] {
          const CURLcode codigo = curl_easy_perform(r_.easy);
          const std::lock_guard trava(r_.mutex);
          codigo_ = codigo;
          r_.fim = true;
          r_.mudou.notify_all();
        }) {}
  FluxoCorpo(const FluxoCorpo&) = delete;
  FluxoCorpo& operator=(const FluxoCorpo&) = delete;
  ~FluxoCorpo() override { concluir(); }

  /// Receives and drops the rest of the body, or after the reader's failure
  /// ends the transfer at once; returns how the transfer ended.
  CURLcode concluir(bool leitorFalhou = false) {
    {
      const std::lock_guard trava(r_.mutex);
      if (leitorFalhou && !r_.fim) r_.abortado = true;
      r_.descartando = true;
      r_.pendente.clear();
      r_.mudou.notify_all();
    }
    if (transferencia_.joinable()) transferencia_.join();
    return codigo_;
  }

 protected:
  int_type underflow() override {
    lendo_.clear();
    std::unique_lock trava(r_.mutex);
    r_.mudou.wait(trava, [&] { return !r_.pendente.empty() || r_.fim; });
    if (r_.pendente.empty()) return traits_type::eof();
    lendo_.swap(r_.pendente);
    r_.mudou.notify_all();
    setg(lendo_.data(), lendo_.data(), lendo_.data() + lendo_.size());
    return traits_type::to_int_type(lendo_.front());
  }

 private:
  Recepcao& r_;
  std::string lendo_;
  CURLcode codigo_ = CURLE_OK;
  std::thread transferencia_;  // last: it starts once the members above exist
};

// Each header line; the status line of the last response is the one kept.
std::size_t cabecalho(char* dados, std::size_t, std::size_t n, void* destino) {
  auto* r = static_cast<Recepcao*>(destino);
  r->ultimoByte = Relogio::now();
  std::string_view linha(dados, n);
  if (linha.starts_with("HTTP/")) {
    const std::size_t espaco = linha.find(' ');
    linha.remove_prefix(espaco == std::string_view::npos ? linha.size() : espaco + 1);
    while (!linha.empty() && (linha.back() == '\r' || linha.back() == '\n' || linha.back() == ' '))
      linha.remove_suffix(1);
    r->resposta.status = "HTTP " + std::string(linha);
  }
  return n;
}

// Called about once a second whatever happens: ends a transfer that has
// received nothing for too long, or whose body trickles in slower than the
// floor, or whose reader has failed.
int progresso(void* destino, curl_off_t, curl_off_t baixados, curl_off_t, curl_off_t) {
  auto* r = static_cast<Recepcao*>(destino);
  if (r->abortado) return 1;
  const auto agora = Relogio::now();
  if (baixados != r->recebidos) {
    r->recebidos = baixados;
    r->ultimoByte = agora;
  }
  if (agora - r->ultimoByte >= std::chrono::seconds(r->paciencia.silencio)) {
    r->emSilencio = true;
    return 1;
  }
  if (baixados == 0) return 0;
  if (r->inicioJanela == Relogio::time_point{} ||
      agora - r->inicioJanela < std::chrono::seconds(r->paciencia.lentidao)) {
    if (r->inicioJanela == Relogio::time_point{}) r->inicioJanela = agora;
    return 0;
  }
  if (baixados - r->recebidosNaJanela < kPisoBytesPorSegundo * r->paciencia.lentidao) {
    r->lento = true;
    return 1;
  }
  r->inicioJanela = agora;
  r->recebidosNaJanela = baixados;
  return 0;
}

std::string descreverFalha(const Pedido& pedido, CURLcode codigo, const char* erro) {
  const std::string detalhe = *erro != '\0' ? erro : curl_easy_strerror(codigo);
  const std::string host = hostDe(pedido.url);
  std::string causa;
  switch (codigo) {
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

std::unique_ptr<curl_slist, LiberaLista> listaDeCabecalhos(const Pedido& pedido) {
  std::unique_ptr<curl_slist, LiberaLista> cabecalhos;
  for (const std::string& linha : pedido.cabecalhos) {
    curl_slist* nova = curl_slist_append(cabecalhos.get(), linha.c_str());
    if (nova == nullptr) throw std::bad_alloc();
    (void)cabecalhos.release();
    cabecalhos.reset(nova);
  }
  return cabecalhos;
}

// The transfer as the API is spoken to: the request, and the body and
// headers delivered to `recepcao`, which also watches the pace.
void configurar(CURL* h, const Pedido& pedido, curl_slist* cabecalhos, Recepcao& recepcao,
                char* erro) {
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, erro);
  curl_easy_setopt(h, CURLOPT_URL, pedido.url.c_str());
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, cabecalhos);
  // An empty list enables every decoder libcurl was built with; the
  // Accept-Encoding line of the header set still wins on the wire.
  curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
  // The header set carries Connection and TE, which HTTP/2 forbids or
  // restricts: speak HTTP/1.1 so that the headers go out as listed.
  curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  // The tool reads no environment variable, proxy settings included.
  curl_easy_setopt(h, CURLOPT_PROXY, "");
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &receber);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &recepcao);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &cabecalho);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &recepcao);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &progresso);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, &recepcao);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  if (pedido.metodo == Pedido::Metodo::post) {
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(pedido.corpo.size()));
    curl_easy_setopt(h, CURLOPT_COPYPOSTFIELDS, pedido.corpo.c_str());
  } else {
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
  }
}

}  // namespace

Resposta enviar(const Pedido& pedido, const LeitorCorpo& ler) {
  iniciarCurl();
  std::unique_ptr<CURL, LiberaEasy> easy(curl_easy_init());
  if (!easy) throw falhaTransporte(pedido.nome + ": libcurl não criou a transferência");
  const auto cabecalhos = listaDeCabecalhos(pedido);
  CURL* h = easy.get();
  Recepcao recepcao;
  recepcao.paciencia = pedido.paciencia;
  recepcao.easy = h;
  char erro[CURL_ERROR_SIZE] = "";
  configurar(h, pedido, cabecalhos.get(), recepcao, erro);
  recepcao.ultimoByte = Relogio::now();
  Resposta& resposta = recepcao.resposta;
  FluxoCorpo fluxo(recepcao);
  {
    std::istream corpo(&fluxo);
    try {
      ler(corpo);
    } catch (...) {
      resposta.falhaDaLeitura = std::current_exception();
    }
  }
  const CURLcode codigo = fluxo.concluir(resposta.falhaDaLeitura != nullptr);
  const char* tipo = nullptr;
  if (curl_easy_getinfo(h, CURLINFO_CONTENT_TYPE, &tipo) == CURLE_OK && tipo != nullptr)
    resposta.tipoConteudo = tipo;
  // The reader's failure came first: whatever ended the transfer after it
  // was its doing.
  if (recepcao.abortado) {
    // Cut short only if the server had more to send than had arrived: a
    // body that was complete may still end its transfer with the abort.
    curl_off_t prometidos = -1, chegados = 0;
    curl_easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &prometidos);
    curl_easy_getinfo(h, CURLINFO_SIZE_DOWNLOAD_T, &chegados);
    resposta.interrompida = codigo != CURLE_OK && (prometidos < 0 || chegados < prometidos);
    return std::move(resposta);
  }
  if (recepcao.semMemoria) throw std::bad_alloc();
  // A body cut short by the transfer explains whatever the reader found.
  if (recepcao.grandeDemais)
    throw RespostaInvalida(
        "a resposta a " + pedido.nome + " passa de " +
        std::to_string(implantacao::kCorpoApiMaximo >> 20) +
        " MB depois de decodificada: " + mascarar(resposta.status, pedido.segredos));
  if (recepcao.emSilencio)
    throw falhaTransporte(pedido.nome + ": " + hostDe(pedido.url) + " não mandou nenhum byte em " +
                          std::to_string(pedido.paciencia.silencio) + " s (" +
                          std::to_string(recepcao.recebidos) + " bytes do corpo tinham chegado)");
  if (recepcao.lento)
    throw falhaTransporte(pedido.nome + ": " + hostDe(pedido.url) + " mandou o corpo a menos de " +
                          std::to_string(kPisoBytesPorSegundo >> 10) + " KB/s por " +
                          std::to_string(pedido.paciencia.lentidao) + " s (" +
                          std::to_string(recepcao.recebidos) + " bytes do corpo tinham chegado)");
  if (codigo != CURLE_OK) throw falhaTransporte(descreverFalha(pedido, codigo, erro));
  return std::move(resposta);
}

}  // namespace api
