#include "UTILITARIOS/api/cliente_api.hpp"

#include <istream>
#include <nlohmann/json.hpp>

#include "UTILITARIOS/api/diagnostico.hpp"
#include "UTILITARIOS/implantacao.hpp"
#include "UTILITARIOS/textos.hpp"

namespace api {
namespace {

// The API accepts only what its own web front-end sends, so both requests
// present themselves as that front-end running in Firefox.
constexpr std::string_view kUserAgent =
    "Mozilla/5.0 (X11; Linux x86_64; rv:129.0) Gecko/20100101 Firefox/129.0";

using nlohmann::ordered_json;

constexpr std::string_view kSenhaOperador = implantacao::kSenhaOperador;
// The user identifier the access-list request presents in "x-user-id".
constexpr std::string_view kIdUsuario = "7c1e09d2-3b5a-4f86-9d04-2a6e5b13c8f7";

// Every form in which the password could show in a body: as typed, in a URL
// or a form, and inside a JSON text.
std::vector<std::string> formasDaSenha() {
  return {std::string(kSenhaOperador), textos::substituirTodas(kSenhaOperador, "@", "%40"),
          textos::substituirTodas(kSenhaOperador, "@", "\\u0040")};
}

// What the login reads of its answer; everything else is skipped unread.
const Molde kInteiro{};
const Molde kLogin{Molde::Forma::objeto, {{"token", &kInteiro}}};

// Sends `pedido` with `ler` reading the body; the response, or the failure
// that names the request when the body is not JSON. What a diagnostic may
// tell of the response goes to `descricao` first, also when `ler` failed.
Resposta pedir(const Pedido& pedido, const LeitorCorpo& ler, std::string& descricao) {
  const Resposta resposta = enviar(pedido, ler);
  descricao = descrever(pedido, resposta);
  if (!resposta.falhaDaLeitura) return resposta;
  try {
    std::rethrow_exception(resposta.falhaDaLeitura);
  } catch (const ordered_json::parse_error& erro) {
    throw naoEhJson(pedido, resposta, erro.id, erro.byte);
  } catch (const ordered_json::out_of_range& erro) {
    throw naoEhJson(pedido, resposta, erro.id, 0);  // a number past a double
  } catch (const ordered_json::exception& erro) {
    // The library's other findings (a value of an unexpected type) quote no
    // value.
    throw falhas::Falha("erro de JSON", erro.what());
  }
}

std::string linha(std::string_view nome, std::string_view valor) {
  std::string texto(nome);
  texto += ": ";
  texto += valor;
  return texto;
}

// The token's text as the "Authorization" header carries it, refused when it
// would not show as it is: a control character could end or cut the header,
// or reach a log.
std::string textoDoToken(const Valor& tokenZelvo) {
  const std::string& token = tokenZelvo.texto();
  if (textos::visivelNumaLinha(token) != token)
    throw RespostaInvalida("o token recebido de POST /login contém um caractere de controle");
  return token;
}

// The headers the panel's own page sends with each request: the request's
// own lines go after the first four, and only the login asks for a priority.
std::vector<std::string> cabecalhos(std::initializer_list<std::string> proprias, bool prioridade) {
  const std::string origem = implantacao::kPainelUrl;
  std::vector<std::string> linhas = {
      linha("User-Agent", kUserAgent),
      linha("Accept", "application/json, text/plain, */*"),
      linha("Accept-Language", "pt-BR"),
      linha("Accept-Encoding", "gzip, deflate, br, zstd"),
  };
  linhas.insert(linhas.end(), proprias);
  linhas.insert(linhas.end(),
                {linha("Origin", origem), linha("Connection", "keep-alive"),
                 linha("Referer", origem + "/"), linha("Sec-Fetch-Dest", "empty"),
                 linha("Sec-Fetch-Mode", "cors"), linha("Sec-Fetch-Site", "same-site")});
  if (prioridade) linhas.push_back(linha("Priority", "u=0"));
  linhas.push_back(linha("TE", "trailers"));
  return linhas;
}

std::vector<std::string> cabecalhosLogin() {
  return cabecalhos({linha("Content-Type", "application/json")}, true);
}

}  // namespace

std::vector<std::string> cabecalhosAcessos(const Valor& tokenZelvo) {
  return cabecalhos({linha("Authorization", "Bearer " + textoDoToken(tokenZelvo)),
                     linha("x-user-id", kIdUsuario)},
                    false);
}

std::string corpoLogin() {
  nlohmann::ordered_json corpo;
  corpo["login"] = implantacao::kOperador;
  corpo["senha"] = kSenhaOperador;
  return corpo.dump();
}

Valor obterTokenSistemaZelvo(const Paciencia& paciencia) {
  Pedido pedido;
  pedido.paciencia = paciencia;
  pedido.metodo = Pedido::Metodo::post;
  pedido.url = std::string(implantacao::kApiUrl) + "/login";
  pedido.cabecalhos = cabecalhosLogin();
  pedido.corpo = corpoLogin();
  pedido.nome = "POST /login";
  pedido.segredos = formasDaSenha();
  ordered_json documento;
  std::string descricao;
  pedir(
      pedido, [&](std::istream& corpo) { documento = lerSeletivo(corpo, kLogin); }, descricao);
  if (!documento.is_object())
    throw RespostaInvalida("a resposta a POST /login não é um objeto JSON (é " +
                           std::string(nomeDoTipo(documento)) + "): " + descricao);
  const auto token = documento.find("token");
  if (token == documento.end())
    throw RespostaInvalida("a resposta a POST /login não tem o membro \"token\": " + descricao);
  // A token is a short text: anything larger is not kept, nor sent.
  if (const Excesso e = excesso(*token); e != Excesso::nenhum)
    throw RespostaInvalida("o token recebido de POST /login " + textoDoExcesso(e) + ": " +
                           descricao);
  Valor valor(*token);
  // Refused here, before it could reach a header.
  (void)textoDoToken(valor);
  return valor;
}

void obterListaClientes(const Valor& tokenZelvo, const LeitorCorpo& lerCorpo,
                        std::string& descricao, const Paciencia& paciencia) {
  Pedido pedido;
  pedido.paciencia = paciencia;
  pedido.metodo = Pedido::Metodo::get;
  pedido.url = std::string(implantacao::kApiUrl) + "/acessos";
  pedido.cabecalhos = cabecalhosAcessos(tokenZelvo);
  pedido.nome = "GET /acessos";
  pedido.segredos = formasDaSenha();
  if (!tokenZelvo.texto().empty()) pedido.segredos.push_back(tokenZelvo.texto());
  pedir(pedido, lerCorpo, descricao);
}

}  // namespace api
