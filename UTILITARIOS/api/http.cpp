#include "UTILITARIOS/api/http.hpp"

#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <utility>

namespace api {
namespace {

constexpr std::size_t kInicioMostrado = 60;

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

struct LiberarEasy {
  void operator()(CURL* e) const { curl_easy_cleanup(e); }
};
struct LiberarLista {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

struct Recepcao {
  CURL* easy;
  std::string corpo;
};

std::size_t receber(char* dados, std::size_t, std::size_t n, void* destino) {
  auto* r = static_cast<Recepcao*>(destino);
  if (r->corpo.empty()) {
    // A body sent as is arrives with its length: room for all of it at once
    // spares the copies of a growing buffer, and as much memory again.
    curl_off_t tamanho = -1;
    if (curl_easy_getinfo(r->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &tamanho) == CURLE_OK &&
        tamanho > 0 && static_cast<std::size_t>(tamanho) >= n)
      r->corpo.reserve(static_cast<std::size_t>(tamanho));
  }
  r->corpo.append(dados, n);
  return n;
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

bool pareceJson(std::string_view corpo) {
  for (char c : corpo) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
    // A UTF-8 byte order mark is skipped by the parser as well.
    if (static_cast<unsigned char>(c) == 0xEF || static_cast<unsigned char>(c) == 0xBB ||
        static_cast<unsigned char>(c) == 0xBF)
      continue;
    return std::string_view("{[\"-0123456789tfn").find(c) != std::string_view::npos;
  }
  return true;  // only blanks: nothing safe to show
}

// What the parser found, in the operator's language, from its error id.
std::string achado(int id, std::size_t byte, std::size_t tamanho) {
  std::string texto;
  if (id == 101 && byte > tamanho) {
    texto = "o corpo termina no meio do documento (unexpected end of input)";
  } else if (id == 101) {
    texto = "erro de sintaxe";
  } else {
    texto = "erro " + std::to_string(id) + " do leitor de JSON";
  }
  return texto + ", byte " + std::to_string(byte);
}

}  // namespace

std::string trechoSeguro(std::string_view corpo, const std::vector<std::string>& segredos) {
  if (corpo.empty()) return "corpo vazio";
  const std::string_view inicio = corpo.substr(0, kInicioMostrado + 4);
  if (pareceJson(inicio)) return "";
  std::string trecho(inicio);
  for (const std::string& segredo : segredos)
    for (std::size_t pos = trecho.find(segredo); !segredo.empty() && pos != std::string::npos;
         pos = trecho.find(segredo, pos))
      trecho.replace(pos, segredo.size(), "***");
  bool cortado = corpo.size() > inicio.size();
  if (trecho.size() > kInicioMostrado) {
    std::size_t fim = kInicioMostrado;
    // Never split a UTF-8 character.
    while (fim > 0 && (static_cast<unsigned char>(trecho[fim]) & 0xC0) == 0x80) --fim;
    trecho.resize(fim);
    cortado = true;
  }
  // The cut may leave the start of a secret at the end.
  for (const std::string& segredo : segredos) {
    for (std::size_t n = segredo.size() - 1; n >= 4 && n < segredo.size(); --n) {
      if (trecho.ends_with(std::string_view(segredo).substr(0, n))) {
        trecho.replace(trecho.size() - n, n, "***");
        break;
      }
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

RespostaInvalida naoEhJson(const Pedido& pedido, const Resposta& resposta, int id,
                           std::size_t byte) {
  std::string mensagem = "a resposta a " + pedido.nome + " não é JSON (" +
                         achado(id, byte, resposta.corpo.size()) + ")";
  const std::string trecho = trechoSeguro(resposta.corpo, pedido.segredos);
  if (!trecho.empty()) mensagem += ": " + trecho;
  return RespostaInvalida(mensagem);
}

Resposta enviar(const Pedido& pedido) {
  iniciarCurl();
  std::unique_ptr<CURL, LiberarEasy> easy(curl_easy_init());
  if (!easy) throw FalhaTransporte(pedido.nome + ": libcurl não criou a transferência");
  std::unique_ptr<curl_slist, LiberarLista> cabecalhos;
  for (const std::string& linha : pedido.cabecalhos) {
    curl_slist* nova = curl_slist_append(cabecalhos.get(), linha.c_str());
    if (nova == nullptr) throw std::bad_alloc();
    (void)cabecalhos.release();
    cabecalhos.reset(nova);
  }
  CURL* h = easy.get();
  Recepcao recepcao{h, {}};
  char erro[CURL_ERROR_SIZE] = "";
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, erro);
  curl_easy_setopt(h, CURLOPT_URL, pedido.url.c_str());
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, cabecalhos.get());
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
  if (pedido.metodo == Pedido::Metodo::post) {
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(pedido.corpo.size()));
    curl_easy_setopt(h, CURLOPT_COPYPOSTFIELDS, pedido.corpo.c_str());
  } else {
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
  }
  const CURLcode codigo = curl_easy_perform(h);
  if (codigo != CURLE_OK) throw FalhaTransporte(descreverFalha(pedido, codigo, erro));
  return Resposta{std::move(recepcao.corpo)};
}

}  // namespace api
