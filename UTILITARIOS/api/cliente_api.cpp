#include "UTILITARIOS/api/cliente_api.hpp"

#include <istream>
#include <nlohmann/json.hpp>

#include "UTILITARIOS/api/leitura_json.hpp"
#include "UTILITARIOS/implantacao.hpp"

namespace api {
namespace {

// The API accepts only what its own web front-end sends, so both requests
// present themselves as that front-end running in Firefox.
constexpr std::string_view kUserAgent =
    "Mozilla/5.0 (X11; Linux x86_64; rv:129.0) Gecko/20100101 Firefox/129.0";

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
  RespostaLogin resposta;
  enviar(pedido, [&](std::istream& corpo) { resposta = lerRespostaLogin(corpo); });
  if (resposta.documento != TipoJson::objeto)
    throw RespostaInvalida("a resposta a POST /login não é um objeto JSON (é " +
                           std::string(nomeDoTipo(resposta.documento)) + ")");
  if (!resposta.temToken)
    throw RespostaInvalida("a resposta a POST /login não tem o membro \"token\"");
  return std::move(resposta.token);
}

void obterListaClientes(const Valor& tokenZelvo, DestinoAcessos& destino) {
  Pedido pedido;
  pedido.metodo = Pedido::Metodo::get;
  pedido.url = std::string(implantacao::kApiUrl) + "/acessos";
  pedido.cabecalhos = cabecalhosAcessos(tokenZelvo);
  pedido.nome = "GET /acessos";
  enviar(pedido, [&](std::istream& corpo) { lerListaAcessos(corpo, destino); });
}

}  // namespace api
