#include "UTILITARIOS/api/cliente_api.hpp"

#include <nlohmann/json.hpp>

#include "UTILITARIOS/implantacao.hpp"
#include "UTILITARIOS/texto.hpp"

namespace api {
namespace {

// The API accepts only what its own web front-end sends, so both requests
// present themselves as that front-end running in Firefox.
constexpr std::string_view kUserAgent =
    "Mozilla/5.0 (X11; Linux x86_64; rv:129.0) Gecko/20100101 Firefox/129.0";

using nlohmann::ordered_json;

// Every form in which the password could show in a body: as typed, in a URL
// or a form, and inside a JSON text.
std::vector<std::string> formasDaSenha() {
  return {std::string(kSenhaOperador), texto::substituirTodas(kSenhaOperador, "@", "%40"),
          texto::substituirTodas(kSenhaOperador, "@", "\\u0040")};
}

// The body parsed by `ler`, or the failure that names the request.
template <class Ler>
ordered_json analisar(const Pedido& pedido, const Resposta& resposta, Ler&& ler) {
  try {
    return ler(resposta.corpo);
  } catch (const ordered_json::parse_error& erro) {
    throw naoEhJson(pedido, resposta, erro.id, erro.byte);
  } catch (const ordered_json::out_of_range& erro) {
    throw naoEhJson(pedido, resposta, erro.id, 0);  // a number past a double
  }
}

std::string linha(std::string_view nome, std::string_view valor) {
  std::string texto(nome);
  texto += ": ";
  texto += valor;
  return texto;
}

}  // namespace

std::vector<std::string> cabecalhosLogin() {
  const std::string origem = implantacao::kPainelUrl;
  return {
      linha("User-Agent", kUserAgent),
      linha("Accept", "application/json, text/plain, */*"),
      linha("Accept-Language", "pt-BR"),
      linha("Accept-Encoding", "gzip, deflate, br, zstd"),
      linha("Content-Type", "application/json"),
      linha("Origin", origem),
      linha("Connection", "keep-alive"),
      linha("Referer", origem + "/"),
      linha("Sec-Fetch-Dest", "empty"),
      linha("Sec-Fetch-Mode", "cors"),
      linha("Sec-Fetch-Site", "same-site"),
      linha("Priority", "u=0"),
      linha("TE", "trailers"),
  };
}

std::vector<std::string> cabecalhosAcessos(const Valor& tokenZelvo) {
  const std::string origem = implantacao::kPainelUrl;
  return {
      linha("User-Agent", kUserAgent),
      linha("Accept", "application/json, text/plain, */*"),
      linha("Accept-Language", "pt-BR"),
      linha("Accept-Encoding", "gzip, deflate, br, zstd"),
      linha("Authorization", "Bearer " + textoDoToken(tokenZelvo)),
      linha("x-user-id", kIdUsuario),
      linha("Origin", origem),
      linha("Connection", "keep-alive"),
      linha("Referer", origem + "/"),
      linha("Sec-Fetch-Dest", "empty"),
      linha("Sec-Fetch-Mode", "cors"),
      linha("Sec-Fetch-Site", "same-site"),
      linha("TE", "trailers"),
  };
}

std::string corpoLogin() {
  nlohmann::ordered_json corpo;
  corpo["login"] = implantacao::kOperador;
  corpo["senha"] = kSenhaOperador;
  return corpo.dump();
}

std::string textoDoToken(const Valor& tokenZelvo) {
  const std::string& texto = tokenZelvo.texto();
  if (texto.find_first_of("\r\n") != std::string::npos)
    throw RespostaInvalida("o token recebido de POST /login contém uma quebra de linha");
  return texto;
}

Valor obterTokenSistemaZelvo() {
  Pedido pedido;
  pedido.metodo = Pedido::Metodo::post;
  pedido.url = std::string(implantacao::kApiUrl) + "/login";
  pedido.cabecalhos = cabecalhosLogin();
  pedido.corpo = corpoLogin();
  pedido.nome = "POST /login";
  pedido.segredos = formasDaSenha();
  const Resposta resposta = enviar(pedido);
  const ordered_json documento =
      analisar(pedido, resposta, [](const std::string& corpo) { return ordered_json::parse(corpo); });
  if (!documento.is_object())
    throw RespostaInvalida("a resposta a POST /login não é um objeto JSON (é " +
                           std::string(nomeDoTipo(tipoDe(documento))) +
                           "): " + descrever(pedido, resposta));
  const auto token = documento.find("token");
  if (token == documento.end())
    throw RespostaInvalida("a resposta a POST /login não tem o membro \"token\": " +
                           descrever(pedido, resposta));
  return Valor(*token);
}

ordered_json lerPorElemento(std::string_view corpo, const PorElemento& porElemento) {
  bool emArray = false;
  return ordered_json::parse(
      corpo, [&](int profundidade, ordered_json::parse_event_t evento, ordered_json& valor) {
        using Evento = ordered_json::parse_event_t;
        if (profundidade == 0) {
          emArray = evento == Evento::array_start || (emArray && evento == Evento::array_end);
          return true;
        }
        // Inside a document that is not an array nothing is kept.
        if (!emArray) return false;
        if (profundidade > 1) return true;
        // An element is complete when it closes, or at once when it is a scalar.
        if (evento == Evento::object_end || evento == Evento::array_end || evento == Evento::value) {
          porElemento(valor);
          return false;
        }
        return true;
      });
}

ordered_json obterListaClientes(const Valor& tokenZelvo, const PorElemento& porElemento,
                                std::string& descricao) {
  Pedido pedido;
  pedido.metodo = Pedido::Metodo::get;
  pedido.url = std::string(implantacao::kApiUrl) + "/acessos";
  pedido.cabecalhos = cabecalhosAcessos(tokenZelvo);
  pedido.nome = "GET /acessos";
  pedido.segredos = formasDaSenha();
  // A short token could stand for any text: only one that is long enough is
  // masked.
  if (tokenZelvo.texto().size() >= 8) pedido.segredos.push_back(tokenZelvo.texto());
  const Resposta resposta = enviar(pedido);
  descricao = descrever(pedido, resposta);
  return analisar(pedido, resposta,
                  [&](const std::string& corpo) { return lerPorElemento(corpo, porElemento); });
}

}  // namespace api
