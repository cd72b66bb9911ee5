// The real program against the lab's HTTPS API: what goes on the wire, what
// the operator sees, and how each kind of bad answer ends the run. Each
// suite runs inside the world named after it (see CMakeLists.txt); the
// worlds answer successive requests from a list, so tests that walk such a
// list run their requests in order inside one test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "UTILITARIOS/implantacao.hpp"
#include "tests/apoio/processo.hpp"

namespace {

using nlohmann::json;
using Cabecalhos = std::vector<std::pair<std::string, std::string>>;

const std::string kPergunta = "\nDigite qual VM deseja subir (ou 'sair'): ";
const std::string kSenhaOperador = implantacao::kSenhaOperador;

using apoio::pedidos;

/// Runs the program; returns its result and the requests it made.
struct Execucao {
  apoio::Resultado r;
  std::vector<json> pedidos;
};

Execucao rodar(const std::string& inserir, const std::string& tipo, const std::string& entrada) {
  const std::size_t antes = pedidos().size();
  Execucao e;
  e.r = apoio::executar({apoio::programa(), "atualizarEmMassa", inserir, tipo, "coleta/disco.py"},
                        entrada, std::chrono::seconds(600));
  const auto todos = pedidos();
  e.pedidos.assign(todos.begin() + static_cast<std::ptrdiff_t>(antes), todos.end());
  return e;
}

Cabecalhos cabecalhos(const json& pedido) {
  Cabecalhos r;
  for (const auto& par : pedido["headers"]) r.emplace_back(par[0], par[1]);
  return r;
}

// Host and Content-Length are the HTTP layer's own; everything else must be
// exactly the tool's header set.
Cabecalhos semOsDaCamadaHttp(Cabecalhos c) {
  std::erase_if(c, [](const auto& h) { return h.first == "Host" || h.first == "Content-Length"; });
  return c;
}

const std::string kUserAgent =
    "Mozilla/5.0 (X11; Linux x86_64; rv:129.0) Gecko/20100101 Firefox/129.0";
const std::string kOrigem = implantacao::kPainelUrl;

Cabecalhos esperadosLogin() {
  return {{"User-Agent", kUserAgent},
          {"Accept", "application/json, text/plain, */*"},
          {"Accept-Language", "pt-BR"},
          {"Accept-Encoding", "gzip, deflate, br, zstd"},
          {"Content-Type", "application/json"},
          {"Origin", kOrigem},
          {"Connection", "keep-alive"},
          {"Referer", kOrigem + "/"},
          {"Sec-Fetch-Dest", "empty"},
          {"Sec-Fetch-Mode", "cors"},
          {"Sec-Fetch-Site", "same-site"},
          {"Priority", "u=0"},
          {"TE", "trailers"}};
}

Cabecalhos esperadosAcessos(const std::string& token) {
  return {{"User-Agent", kUserAgent},
          {"Accept", "application/json, text/plain, */*"},
          {"Accept-Language", "pt-BR"},
          {"Accept-Encoding", "gzip, deflate, br, zstd"},
          {"Authorization", "Bearer " + token},
          {"x-user-id", "7c1e09d2-3b5a-4f86-9d04-2a6e5b13c8f7"},
          {"Origin", kOrigem},
          {"Connection", "keep-alive"},
          {"Referer", kOrigem + "/"},
          {"Sec-Fetch-Dest", "empty"},
          {"Sec-Fetch-Mode", "cors"},
          {"Sec-Fetch-Site", "same-site"},
          {"TE", "trailers"}};
}

class Lab : public ::testing::Test {
 protected:
  void SetUp() override {
    // Outside a lab world api.zelvo.example is not ours to call.
    if (std::getenv("LAB_STATE") == nullptr) GTEST_SKIP() << "roda só dentro do lab";
  }
};

void esperarFalha(const Execucao& e, const std::string& etapa, const std::string& trecho) {
  EXPECT_EQ(e.r.status, 1) << e.r.erro;
  EXPECT_EQ(e.r.saida, "");
  EXPECT_EQ(std::count(e.r.erro.begin(), e.r.erro.end(), '\n'), 1) << e.r.erro;
  EXPECT_TRUE(e.r.erro.starts_with("atualizacao_em_massa: falha " + etapa + ": ")) << e.r.erro;
  EXPECT_NE(e.r.erro.find(trecho), std::string::npos) << e.r.erro;
  EXPECT_EQ(e.r.erro.find(kSenhaOperador), std::string::npos) << e.r.erro;
}

// ---- world basico.json: the generated access list, the default login.

using Basico = Lab;

TEST_F(Basico, CabecalhosECorpoExatos) {
  const auto e = rodar("2", "Hospital", "sair\n");
  EXPECT_EQ(e.r.status, 0) << e.r.erro;
  ASSERT_EQ(e.pedidos.size(), 2u);

  const json& login = e.pedidos[0];
  EXPECT_EQ(login["method"], "POST");
  EXPECT_EQ(login["path"], "/login");
  EXPECT_EQ(semOsDaCamadaHttp(cabecalhos(login)), esperadosLogin());
  EXPECT_EQ(login["body"],
            json({{"login", implantacao::kOperador}, {"senha", kSenhaOperador}}).dump());
  EXPECT_TRUE(login["body"].get<std::string>().starts_with("{\"login\":"));

  const json& acessos = e.pedidos[1];
  EXPECT_EQ(acessos["method"], "GET");
  EXPECT_EQ(acessos["path"], "/acessos");
  EXPECT_EQ(acessos["body"], "");
  EXPECT_EQ(semOsDaCamadaHttp(cabecalhos(acessos)), esperadosAcessos("tok-lab-123"));
  // Nothing but Host besides the set: no Content-Length on a GET.
  EXPECT_EQ(cabecalhos(acessos).size(), 14u);
}

// The summary line that closes a run with nothing selected.
const std::string kVazia = "\x1b[0;93m Resumo: nenhuma máquina selecionada. \x1b[0;0m\n";

TEST_F(Basico, DialogoInterativoByteAByte) {
  const auto e = rodar("2", "Hospital", "x\n0\n  SAIR \n");
  EXPECT_EQ(e.r.status, 0) << e.r.erro;
  EXPECT_EQ(e.r.erro, "");
  EXPECT_EQ(e.r.saida, "[1] manager - 192.0.0.16\n[2] coletor - 192.0.0.17\n" + kPergunta +
                           "Entrada inválida. Pulando cliente.\n"
                           "[1] manager - 192.0.0.20\n" +
                           kPergunta +
                           "Opção inválida. Pulando cliente.\n"
                           "[1] coletor - 192.0.0.30\n" +
                           kPergunta + "Nenhuma VM selecionada. Encerrando.\n" + kVazia);
}

TEST_F(Basico, OutroTipoDeClienteEOutroEscopo) {
  auto e = rodar("2", "Clinica", "sair\n");
  EXPECT_EQ(e.r.status, 0);
  EXPECT_EQ(e.r.saida,
            "[1] manager - 192.0.0.18\n" + kPergunta + "Nenhuma VM selecionada. Encerrando.\n" + kVazia);
  for (const char* inserir : {"1", "3", "-1"}) {
    e = rodar(inserir, "Inexistente", "");
    EXPECT_EQ(e.r.status, 0) << inserir << e.r.erro;
    EXPECT_EQ(e.r.saida, kVazia) << inserir;
    EXPECT_EQ(e.r.erro, "") << inserir;
  }
}

TEST_F(Basico, FimDaEntradaNaPerguntaEEscopoInvalido) {
  auto e = rodar("2", "Hospital", "1\n");
  EXPECT_EQ(e.r.status, 1);
  // The prompt's line is ended before the cause goes to standard error.
  EXPECT_EQ(e.r.saida, "[1] manager - 192.0.0.16\n[2] coletor - 192.0.0.17\n" + kPergunta +
                           "[1] manager - 192.0.0.20\n" + kPergunta + "\n");
  EXPECT_TRUE(e.r.erro.starts_with("atualizacao_em_massa: falha na seleção de máquinas: "))
      << e.r.erro;
  EXPECT_NE(e.r.erro.find("entrada padrão terminou"), std::string::npos) << e.r.erro;

  e = rodar("dois", "Hospital", "1\n");
  EXPECT_EQ(e.r.status, 1);
  EXPECT_EQ(e.r.saida, "");
  EXPECT_NE(e.r.erro.find("\"dois\" não é um número inteiro"), std::string::npos) << e.r.erro;
}

// ---- world login.json: successive login answers.

using Login = Lab;

TEST_F(Login, RespostasDoLoginEmSequencia) {
  // 401 without a token: the run ends before the access list is asked for.
  auto e = rodar("2", "Hospital", "sair\n");
  esperarFalha(e, "ao entrar na API (POST /login)", "não tem o membro \"token\"");
  ASSERT_EQ(e.pedidos.size(), 1u);
  EXPECT_EQ(e.pedidos[0]["path"], "/login");

  // 500 with a numeric token: the status is not looked at, the digits are sent.
  e = rodar("2", "Hospital", "sair\n");
  EXPECT_EQ(e.r.status, 0) << e.r.erro;
  EXPECT_EQ(e.r.saida,
            "[1] manager - 192.0.0.16\n" + kPergunta + "Nenhuma VM selecionada. Encerrando.\n" +
                kVazia);
  ASSERT_EQ(e.pedidos.size(), 2u);
  EXPECT_EQ(semOsDaCamadaHttp(cabecalhos(e.pedidos[1])), esperadosAcessos("12345"));

  // An HTML page: markup may carry values, so only its status, type, size
  // and leading word.
  e = rodar("2", "Hospital", "sair\n");
  esperarFalha(e, "ao entrar na API (POST /login)", "a resposta a POST /login não é JSON (");
  EXPECT_TRUE(e.r.erro.ends_with("HTTP 502 Bad Gateway, text/html, 56 bytes, começa com \"<html\"...\n")) << e.r.erro;
  EXPECT_EQ(e.pedidos.size(), 1u);

  // Broken JSON that holds the password: not quoted.
  e = rodar("2", "Hospital", "sair\n");
  esperarFalha(e, "ao entrar na API (POST /login)", "a resposta a POST /login não é JSON (");
  EXPECT_EQ(e.r.erro.find("começa com"), std::string::npos) << e.r.erro;
}

// ---- world acessos_falhos.json: successive access-list answers.

using AcessosFalhos = Lab;

TEST_F(AcessosFalhos, RespostasDaListaEmSequencia) {
  // A JSON error object with status 500 reaches the inventory, which stops.
  auto e = rodar("1", "Hospital", "");
  esperarFalha(e, "ao montar o inventário", "a lista de acessos não é um array JSON (é um objeto)");

  e = rodar("1", "Hospital", "");
  esperarFalha(e, "ao ler a lista de acessos (GET /acessos)",
               "a resposta a GET /acessos não é JSON (");
  EXPECT_TRUE(e.r.erro.ends_with("HTTP 502 Bad Gateway, text/html, 94 bytes, começa com \"<html\"...\n")) << e.r.erro;

  e = rodar("1", "Hospital", "");
  esperarFalha(e, "ao ler a lista de acessos (GET /acessos)", "corpo vazio");

  // The server promised more than it sent and hung up.
  e = rodar("1", "Hospital", "");
  esperarFalha(e, "ao ler a lista de acessos (GET /acessos)",
               "GET /acessos: a transferência com api.zelvo.example falhou (");

  e = rodar("1", "Hospital", "");
  esperarFalha(e, "ao ler a lista de acessos (GET /acessos)", "não é JSON (");
  EXPECT_EQ(e.r.erro.find("segredo"), std::string::npos) << e.r.erro;

  // Customer 8 has an empty produto: the inventory names it.
  e = rodar("1", "Hospital", "");
  esperarFalha(e, "ao montar o inventário",
               "cliente na posição 2 (numero 8): \"produto\" está vazio");
}

// ---- world codificacoes.json: the same list, compressed four ways.

using Codificacoes = Lab;

TEST_F(Codificacoes, GzipDeflateBrEZstdSaoDecodificados) {
  for (const char* codificacao : {"gzip", "deflate", "br", "zstd"}) {
    const auto e = rodar("2", "Hospital", "x\nsair\n");
    EXPECT_EQ(e.r.status, 0) << codificacao << ": " << e.r.erro;
    EXPECT_EQ(e.r.saida, "[1] manager - 192.0.0.16\n[2] coletor - 192.0.0.17\n" + kPergunta +
                             "Entrada inválida. Pulando cliente.\n"
                             "[1] manager - 3fff::20\n" +
                             kPergunta + "Nenhuma VM selecionada. Encerrando.\n" + kVazia)
        << codificacao;
    ASSERT_EQ(e.pedidos.size(), 2u) << codificacao;
    EXPECT_EQ(cabecalhos(e.pedidos[1])[4],
              (std::pair<std::string, std::string>{"Accept-Encoding", "gzip, deflate, br, zstd"}));
  }
}

// ---- world certificado_errado.json: the API presents another name's certificate.

using CertificadoErrado = Lab;

TEST_F(CertificadoErrado, VerificacaoFalhaAntesDeQualquerPedido) {
  const auto e = rodar("2", "Hospital", "sair\n");
  esperarFalha(e, "ao entrar na API (POST /login)",
               "POST /login: a verificação do certificado de api.zelvo.example falhou (");
  EXPECT_TRUE(e.pedidos.empty());
}

}  // namespace
