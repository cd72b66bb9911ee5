// The real program against hostile answers of the lab's HTTPS API: broken
// compression, a server that hangs up mid-body, JSON nested 100,000 levels
// deep, values of the wrong kind and a certificate for another name, bodies
// that are not JSON, tokens that are not header text. Every
// such answer must end the run with status 1 and one diagnostic line, quote
// no password, and leave the appliances untouched: the world's sshd (whose
// credentials in the access list are right) must see no connection at all.
//
// Each suite runs inside the world named after it (see CMakeLists.txt). The
// worlds answer successive requests from a list, so each suite walks its
// list inside one test, in order.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "UTILITARIOS/implantacao.hpp"
#include "tests/apoio/processo.hpp"

namespace {

using nlohmann::json;

std::string trocarArroba(std::string texto, const std::string& por) {
  for (auto p = texto.find('@'); p != std::string::npos; p = texto.find('@', p + por.size()))
    texto.replace(p, 1, por);
  return texto;
}

// The operator's password as typed, percent-encoded and JSON-escaped (the
// program sends it; the worlds echo it back), then every password and token
// the worlds hand out, and the part of a token that a hang-up leaves in the
// parser.
const std::string kSenha = implantacao::kSenhaOperador;
const std::vector<std::string> kSenhaOperador = {kSenha, trocarArroba(kSenha, "%40"),
                                                 trocarArroba(kSenha, "\\u0040")};
const std::vector<std::string> kSegredos = [] {
  std::vector<std::string> todos = kSenhaOperador;
  for (const char* s :
       {"ssh-alvo-Hx4", "root-alvo-Rx8", "ssh-segundo-Hx5", "root-segundo-Rx9", "ssh-texto-Hx6",
        "root-texto-Rx6", "ssh-objeto-Hx7", "root-objeto-Rx7", "ssh-privado-Hx3",
        "root-privado-Rx3", "tok-lab-metade", "tok-lab-xssi-1234", "tok-lab-jsonp-5678",
        "tok-lab-utf16-9012", "tok-lab-123", "VmPass01", "R00tPass01", "tok-esc-", "tok-nul-",
        "k9z", "R00tUnica"})
    todos.push_back(s);
  return todos;
}();

using apoio::estado;
using apoio::pedidos;

// What the appliance's sshd logged after the moment this object was made.
class LogSshd {
 public:
  // The lab learns that sshd listens without connecting to it, so whatever
  // the log gains from here on is the program's doing.
  LogSshd()
      : caminho_(estado() + "/machines/alvo/sshd.log"), inicio_(apoio::lerArquivo(caminho_).size()) {}
  std::string novo() const {
    const std::string tudo = apoio::lerArquivo(caminho_);
    return tudo.size() > inicio_ ? tudo.substr(inicio_) : "";
  }
  std::string tudo() const { return apoio::lerArquivo(caminho_); }

 private:
  std::string caminho_;
  std::size_t inicio_ = 0;
};

struct Execucao {
  apoio::Resultado r;
  std::vector<json> pedidos;
  std::string sshd;  ///< sshd log lines written during the run
};

class Hostil : public ::testing::Test {
 protected:
  void SetUp() override {
    // Outside a lab world api.zelvo.example is not ours to call.
    if (estado().empty()) GTEST_SKIP() << "roda só dentro do lab";
  }

  Execucao rodar(const std::string& inserir, const std::string& tipo,
                 const std::string& entrada = "") {
    const std::size_t antes = pedidos().size();
    Execucao e;
    e.r = apoio::executar({apoio::programa(), "atualizarEmMassa", inserir, tipo, "coleta/disco.py"},
                          entrada, std::chrono::seconds(600));
    EXPECT_FALSE(e.r.expirou);
    const auto todos = pedidos();
    e.pedidos.assign(todos.begin() + static_cast<std::ptrdiff_t>(antes), todos.end());
    e.sshd = log_.novo();
    for (const auto& segredo : kSegredos) {
      EXPECT_EQ(e.r.saida.find(segredo), std::string::npos) << "on stdout: " << segredo;
      EXPECT_EQ(e.r.erro.find(segredo), std::string::npos) << "on stderr: " << segredo;
    }
    return e;
  }

  // Status 1, nothing on stdout (but the summary of a run cut in the machine
  // loop), one line "atualizacao_em_massa: falha <stage>: <kind>: <message>"
  // naming the cause, and no SSH at all.
  static void esperarFalha(const Execucao& e, const std::string& etapa, const std::string& tipo,
                           const std::string& causa, const std::string& saida = "") {
    EXPECT_EQ(e.r.status, 1) << e.r.erro;
    EXPECT_EQ(e.r.saida, saida);
    EXPECT_EQ(std::count(e.r.erro.begin(), e.r.erro.end(), '\n'), 1) << e.r.erro;
    EXPECT_TRUE(e.r.erro.ends_with("\n")) << e.r.erro;
    EXPECT_TRUE(e.r.erro.starts_with("atualizacao_em_massa: falha " + etapa + ": " + tipo + ": "))
        << e.r.erro;
    EXPECT_NE(e.r.erro.find(causa), std::string::npos) << e.r.erro;
    EXPECT_EQ(e.sshd, "") << "the appliance was contacted";
  }

  LogSshd log_;
};

const std::string kLogin = "ao entrar na API (POST /login)";
const std::string kAcessos = "ao ler a lista de acessos (GET /acessos)";
const std::string kInventario = "ao montar o inventário";
const std::string kInvalida = "resposta inválida da API";
const std::string kTransporte = "falha de comunicação com a API";
const std::string kInesperada = "lista de acessos inesperada";
// The summary line that closes a run with nothing selected.
const std::string kVazia = "\x1b[0;93m Resumo: nenhuma máquina selecionada. \x1b[0;0m\n";

// The password check is only worth something if the world holds them.
TEST(Mundos, ContemOsSegredosProcurados) {
  std::string todos;
  for (const char* m : {"api_login", "api_acessos", "api_falhas"})
    todos += apoio::lerArquivo(std::string(HOSTIL_MUNDOS) + "/" + m + ".json");
  for (const auto& s : kSegredos) {
    // Sent by the program; the worlds hold it only as echoed back.
    if (std::find(kSenhaOperador.begin(), kSenhaOperador.end(), s) != kSenhaOperador.end()) continue;
    EXPECT_NE(todos.find(s), std::string::npos) << s;
  }
}

// ---- world api_login.json: successive login answers, then a sane one.

using Login = Hostil;

TEST_F(Login, RespostasHostisDoLoginEmSequencia) {
  // An array 100,000 levels deep: read without recursion, then refused.
  auto e = rodar("1", "Alvo");
  esperarFalha(e, kLogin, kInvalida, "não é um objeto JSON (é um array)");
  ASSERT_EQ(e.pedidos.size(), 1u);
  EXPECT_EQ(e.pedidos[0]["path"], "/login");

  // An object whose only member is 100,000 objects deep.
  e = rodar("1", "Alvo");
  esperarFalha(e, kLogin, kInvalida, "não tem o membro \"token\"");
  EXPECT_EQ(e.pedidos.size(), 1u);

  // A token, then 100,000 brackets that are never closed.
  e = rodar("1", "Alvo");
  esperarFalha(e, kLogin, kInvalida, "não é JSON (");
  EXPECT_NE(e.r.erro.find("unexpected end of input"), std::string::npos) << e.r.erro;
  EXPECT_EQ(e.pedidos.size(), 1u);

  // A token that is an array 100,000 deep is not kept, nor sent.
  e = rodar("1", "Alvo");
  esperarFalha(e, kLogin, kInvalida,
               "o token recebido de POST /login tem mais de 64 níveis de aninhamento");
  EXPECT_EQ(e.pedidos.size(), 1u);

  // gzip cut after 24 bytes, in a well-framed answer.
  e = rodar("1", "Alvo");
  esperarFalha(e, kLogin, kInvalida, "não é JSON (");
  EXPECT_EQ(e.pedidos.size(), 1u);

  // The server promises the whole body, sends 20 bytes and hangs up.
  e = rodar("1", "Alvo");
  esperarFalha(e, kLogin, kTransporte, "a transferência com api.zelvo.example falhou (");
  EXPECT_EQ(e.pedidos.size(), 1u);

  // The same world with a sane login works, so the failures above were the
  // answers' doing.
  e = rodar("2", "Alvo", "sair\n");
  EXPECT_EQ(e.r.status, 0) << e.r.erro;
  EXPECT_EQ(e.r.saida,
            "[1] manager - 192.0.0.16\n\nDigite qual VM deseja subir (ou 'sair'): "
            "Nenhuma VM selecionada. Encerrando.\n" + kVazia);
  EXPECT_EQ(e.sshd, "");
  EXPECT_EQ(log_.tudo().find("Accepted"), std::string::npos);
}

// ---- world api_acessos.json: successive access lists. Each one starts
// with a usable customer of type Alvo whose manager's sshd is up and whose
// credentials are right: acting on it before the whole list is known would
// show in the sshd log.

using Acessos = Hostil;

TEST_F(Acessos, RespostasHostisDaListaEmSequencia) {
  // gzip without its last 40 bytes: the first customer decodes whole, the
  // rest never arrives.
  auto e = rodar("1", "Alvo");
  esperarFalha(e, kAcessos, kInvalida, "não é JSON (");
  EXPECT_NE(e.r.erro.find("unexpected end of input"), std::string::npos) << e.r.erro;
  ASSERT_EQ(e.pedidos.size(), 2u);
  EXPECT_EQ(e.pedidos[1]["path"], "/acessos");

  // The server hangs up after the first customer, inside the second.
  e = rodar("1", "Alvo");
  esperarFalha(e, kAcessos, kTransporte, "a transferência com api.zelvo.example falhou (");

  // A document that is an array 100,000 levels deep.
  e = rodar("1", "Alvo");
  esperarFalha(e, kInventario, kInesperada,
               "cliente na posição 1: a entrada não é um objeto JSON (é um array)");

  // A machine entry 100,000 levels deep, after a usable customer.
  e = rodar("1", "Alvo");
  esperarFalha(e, kInventario, kInesperada,
               "cliente na posição 2 (numero 2), máquina na posição 1: a entrada não é um "
               "objeto JSON (é um array)");

  // A second customer whose member opens 100,000 arrays and ends there.
  e = rodar("1", "Alvo");
  esperarFalha(e, kAcessos, kInvalida, "não é JSON (");
  EXPECT_NE(e.r.erro.find("unexpected end of input"), std::string::npos) << e.r.erro;

  // A member nobody reads, 100,000 objects deep, is skipped: the machine is
  // offered as usual (and not chosen).
  e = rodar("2", "Alvo", "sair\n");
  EXPECT_EQ(e.r.status, 0) << e.r.erro;
  EXPECT_EQ(e.r.erro, "");
  EXPECT_EQ(e.r.saida,
            "[1] manager - 192.0.0.16\n\nDigite qual VM deseja subir (ou 'sair'): "
            "Nenhuma VM selecionada. Encerrando.\n" + kVazia);
  EXPECT_EQ(e.sshd, "");

  // Wrong kinds where arrays and objects are expected.
  e = rodar("1", "Alvo");
  esperarFalha(e, kInventario, kInesperada,
               "cliente na posição 2 (numero 2): \"produto\" não é um array (é um número)");

  // maquinas as a text that carries credentials: named, not quoted.
  e = rodar("1", "Alvo");
  esperarFalha(e, kInventario, kInesperada,
               "cliente na posição 2 (numero 3): produto[0].maquinas não é um array (é um texto)");
  EXPECT_EQ(e.r.erro.find("suporte@192.0.0.17"), std::string::npos) << e.r.erro;

  e = rodar("1", "Alvo");
  esperarFalha(e, kInventario, kInesperada,
               "cliente na posição 1 (numero 1), máquina na posição 2: a entrada não é um objeto "
               "JSON (é um número)");

  // A port given as an object passes the inventory and stops the run when
  // the machine's values are read, before its announcement.
  e = rodar("1", "Alvo");
  esperarFalha(e, "ao ler os dados da máquina 0", "registro de máquina inválido",
               "porta {\"porta\":22} não é um número inteiro",
               "\x1b[0;93m Resumo: 1 máquina, 0 atualizadas, 1 não tratada (execução interrompida). "
               "\x1b[0;0m\n");

  // numero as an object is no failure: the label carries its JSON text, and
  // the customer type is still read after the label's last " - ". Its
  // machine has a private address, so nothing is contacted.
  e = rodar("1", "Objeto");
  EXPECT_EQ(e.r.status, 0) << e.r.erro;
  EXPECT_EQ(e.r.erro, "");
  EXPECT_EQ(e.r.saida,
            "0 Cliente: {\"id\":7,\"regiao\":\"sul - oeste\"} - Objeto Hostil | Atualizando "
            "10.9.8.7:22\n"
            "\x1b[0;93m IP 10.9.8.7 não é um IP público. Não é possível atualizar. \x1b[0;0m\n"
            "\x1b[0;93m Resumo: 1 máquina, 0 atualizadas, 1 não atualizada (1 IP não público). "
            "\x1b[0;0m\n");
  EXPECT_EQ(e.sshd, "");
  EXPECT_EQ(log_.tudo().find("Accepted"), std::string::npos);
}

// ---- world api_falhas.json: answers that once hid their cause or leaked a
// secret. One row per run, in the order of the world's answer lists; the two
// silent servers come last, as they wait out the twin program's short silence.

using Falhas = Hostil;

TEST_F(Falhas, CadaRespostaHostilTerminaComACausaESemSegredo) {
  const std::string silencio = std::to_string(HOSTIL_SILENCIO_S) + " s";
  struct Caso {
    const char* nome;
    std::string etapa;  ///< empty: the run ends regularly with `saida`
    std::string tipo;
    std::vector<std::string> trechos;  ///< each in the diagnostic line
    std::string saida = "";
    double picoMb = 0;  ///< the run's peak memory stays under this; 0: not measured
    std::string registro = "";  ///< a line of the system log the run writes
  };
  const std::string y = "\x1b[0;93m ", r = " \x1b[0;0m\n";
  const std::string privado = "IP 10.0.0.5 não é um IP público. Não é possível atualizar.";
  const std::string soPrivado = y + privado + r + y +
                                "Resumo: 1 máquina, 0 atualizadas, 1 não atualizada (1 IP não "
                                "público)." + r;
  const auto repetir = [](const std::string& s, int n) {
    std::string r;
    while (n-- > 0) r += s;
    return r;
  };
  const auto anuncio = [](int n, const std::string& destino) {
    return std::to_string(n) + " Cliente: 1 - Alvo Hostil | Atualizando " + destino + "\n";
  };
  const std::vector<Caso> casos = {
      {"anti-XSSI prefix", kLogin, kInvalida,
       {"não é JSON (erro de sintaxe, byte 1): HTTP 200 OK, application/json, 35 bytes\n"}},
      {"JSONP", kLogin, kInvalida,
       {"HTTP 200 OK, application/javascript, 35 bytes, começa com \"cb\"..."}},
      {"UTF-16", kLogin, kInvalida, {"HTTP 200 OK, application/json, 64 bytes\n"}},
      // Of markup and forms, only the leading word is quoted.
      {"401 page with the password encoded", kLogin, kInvalida,
       {"HTTP 401 Unauthorized, text/html, 90 bytes, começa com \"<html\"...\n"}},
      {"password after a filler of =", kLogin, kInvalida, {"HTTP 200 OK, text/plain, 71 bytes\n"}},
      {"301 without token", kLogin, kInvalida,
       {"não tem o membro \"token\": HTTP 301 Moved Permanently, application/json"}},
      {"number past a double", kLogin, kInvalida,
       {"não é JSON (um número que não cabe num double): HTTP 200 OK, application/json, 16 bytes"}},
      // Blanks past the cap: not kept.
      {"gzip bomb", kAcessos, kInvalida,
       {"a resposta a GET /acessos passa de " + std::to_string(HOSTIL_CORPO_MB) +
        " MB depois de decodificada: HTTP 200 OK"},
       "", 80},
      {"301 for the list", kInventario, kInesperada,
       {"a lista de acessos não é um array JSON (é um objeto); resposta a GET /acessos: HTTP 301 "
        "Moved Permanently"}},
      // Ports past any int fail to connect, and the run goes on.
      {"ports", "", "", {},
       anuncio(0, "192.0.0.16:99999999999") + y + "Erro ao conectar em 192.0.0.16:99999999999." +
           r + anuncio(1, "192.0.0.16:99999999999") + y +
           "Erro ao conectar em 192.0.0.16:99999999999." + r +
           anuncio(2, "192.0.0.16:4294967318") + y + "Erro ao conectar em 192.0.0.16:4294967318." +
           r + anuncio(3, "10.0.0.5:22") + y + privado + r + y +
           "Resumo: 4 máquinas, 0 atualizadas, 4 não atualizadas (1 IP não público, 3 erro ao "
           "conectar)." + r},
      {"XML list", kAcessos, kInvalida,
       {"não é JSON (erro de sintaxe, byte 1): HTTP 200 OK, application/xml, 82 bytes, "
        "começa com \"<acessos\"...\n"}},
      {"401 whose status line and type carry the password", kLogin, kInvalida,
       {"não tem o membro \"token\": HTTP 401 Senha *** recusada, text/plain; senha=***, "}},
      {"token with ESC", kLogin, kInvalida,
       {"o token recebido de POST /login contém um caractere de controle"}},
      {"token with NUL", kLogin, kInvalida,
       {"o token recebido de POST /login contém um caractere de controle"}},
      {"short token quoted by the list's answer", kAcessos, kInvalida,
       {"HTTP 403 Forbidden, text/plain, 18 bytes, começa com \"Token\"...\n"}},
      // Empty arrays in members nobody reads are skipped unstored.
      {"wide arrays in the login", "", "", {}, anuncio(0, "10.0.0.5:22") + soPrivado,
       80},
      {"deep arrays in a list entry", "", "", {}, anuncio(0, "10.0.0.5:22") + soPrivado,
       80},
      {"label with U+202E", "", "", {},
       "0 Cliente: 1 - Alvo \\u202eHostil | Atualizando 10.0.0.5:22\n" + soPrivado},
      // Values that are read, past their limits: refused, within a bounded
      // memory, and a body known to be bad is not read further.
      {"token nested deep", kLogin, kInvalida,
       {"o token recebido de POST /login tem mais de 64 níveis de aninhamento"}, "", 80},
      {"CSV login", kLogin, kInvalida,
       {"não é JSON (erro de sintaxe, byte 1): HTTP 200 OK, text/csv, 48 bytes, começa com "
        "\"ip\"...\n"}},
      {"an address 100,000 deep, then a member", kInventario, kInesperada,
       {"máquina na posição 1: \"ip\" tem mais de 64 níveis de aninhamento"}},
      {"an access line nested deep", kInventario, kInesperada,
       {"máquina na posição 1: \"acesso\" tem mais de 64 níveis de aninhamento"}, "", 80},
      {"a long text nobody reads", "", "", {}, anuncio(0, "10.0.0.5:22") + soPrivado, 80},
      {"a syntax error, then blanks past the cap", kAcessos, kInvalida,
       {"não é JSON (erro de sintaxe, byte 1): HTTP 200 OK, application/json, "}, "", 80},
      {"a product name that forges lines", "", "", {},
       "0 Cliente: 1 - Hostil\\x0a3 Cliente: 1000 - Hospital Falso\\x09\\u3164 - Alvo Hostil | "
       "Atualizando 10.0.0.5:22\n" + soPrivado},
      {"a product name that shows as 240 KB", "", "", {},
       anuncio(0, "10.0.0.5:22").replace(15, 0, repetir("\\x01", 60000) + " - ") + soPrivado,
       0, "máquina 0: cliente 1 - " + repetir("\\x01", 124) + "...[cortado], 10.0.0.5:22: IP não "
          "público"},
      {"list stalled mid-body", kAcessos, kTransporte,
       {"GET /acessos: api.zelvo.example não mandou nenhum byte em " + silencio +
        " (100 bytes do corpo tinham chegado)"},
       ""},
      {"silent login", kLogin, kTransporte,
       {"POST /login: api.zelvo.example não mandou nenhum byte em " + silencio +
        " (0 bytes do corpo tinham chegado)"},
       ""},
      {"list trickling in", kAcessos, kTransporte,
       {"GET /acessos: api.zelvo.example mandou o corpo a menos de 1 KB/s por " +
        std::to_string(HOSTIL_LENTIDAO_S) + " s ("},
       ""},
  };
  for (const Caso& k : casos) {
    SCOPED_TRACE(k.nome);
    const std::size_t registros = apoio::lerArquivo(estado() + "/syslog.log").size();
    const auto e = rodar("1", "Alvo");
    if (!k.registro.empty()) {
      const std::string novos = apoio::lerArquivo(estado() + "/syslog.log").substr(registros);
      EXPECT_NE(novos.find(k.registro), std::string::npos) << novos.substr(0, 2000);
    }
    // The bounds are the release build's: the sanitizers add their own.
    if (k.picoMb > 0 && HOSTIL_PICO_MEDIDO) {
      std::cout << "[ pico     ] " << k.nome << ": " << e.r.picoMb << " MB\n";
      EXPECT_LT(e.r.picoMb, k.picoMb) << "MB at the peak";
    }
    if (k.etapa.empty()) {
      EXPECT_EQ(e.r.status, 0) << e.r.erro;
      EXPECT_EQ(e.r.erro, "");
      EXPECT_EQ(e.r.saida, k.saida);
      EXPECT_EQ(e.sshd, "") << "a port past any int reached sshd";
      continue;
    }
    esperarFalha(e, k.etapa, k.tipo, k.trechos.front());
    for (const std::string& trecho : k.trechos)
      EXPECT_NE(e.r.erro.find(trecho), std::string::npos) << e.r.erro;
    EXPECT_EQ(e.r.erro.find(kSenha.substr(0, 3)), std::string::npos) << e.r.erro;
  }
}

// ---- world api_processo.json: the process holds every secret of the run.
// Killed at the prompt with an unlimited core size, or asked by the
// environment to log its TLS keys, it leaves no file behind.

using Processo = Hostil;

TEST_F(Processo, NenhumSegredoVaiParaArquivo) {
  namespace fs = std::filesystem;
  const fs::path pasta = fs::temp_directory_path() / ("processo-" + std::to_string(getpid()));
  fs::create_directories(pasta);
  const fs::path antes = fs::current_path();
  fs::current_path(pasta);  // where a core file would be written
  rlimit original{};
  getrlimit(RLIMIT_CORE, &original);
  const rlimit ilimitado{RLIM_INFINITY, RLIM_INFINITY};
  ASSERT_EQ(setrlimit(RLIMIT_CORE, &ilimitado), 0);
  const std::string prompt = "[1] manager - 192.0.0.16\n\nDigite qual VM deseja subir (ou 'sair'): ";
  struct Caso {
    const char* nome;
    int sinal;  ///< sent at the prompt; 0: the answer is "sair"
    bool registroDeChaves;
    std::string saida;
    int status;
    bool outroUsuario = false;  ///< run as nobody, whose own processes must not read it
  };
  for (const Caso& k : {
           Caso{"SIGQUIT at the prompt", SIGQUIT, false, prompt, 128 + SIGQUIT},
           Caso{"SIGABRT at the prompt", SIGABRT, false, prompt, 128 + SIGABRT},
           Caso{"SSLKEYLOGFILE", 0, true, prompt + "Nenhuma VM selecionada. Encerrando.\n" + kVazia,
                0},
           Caso{"nobody's run", SIGQUIT, false, prompt, 128 + SIGQUIT, true},
       }) {
    SCOPED_TRACE(k.nome);
    if (k.registroDeChaves) setenv("SSLKEYLOGFILE", (pasta / "chaves.log").c_str(), 1);
    std::vector<std::string> argv{apoio::programa(), "atualizarEmMassa", "2", "Alvo",
                                  "coleta/disco.py"};
    // A copy that nobody can reach, whatever folder the build is in.
    const fs::path copia = fs::temp_directory_path() / ("outro-" + std::to_string(getpid()));
    if (k.outroUsuario) {
      fs::create_directories(copia);
      fs::copy_file(argv[0], copia / "programa", fs::copy_options::overwrite_existing);
      argv[0] = copia / "programa";
      argv.insert(argv.begin(),
                  {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    }
    uid_t dono = 65534;  // the owner of its /proc/PID/environ at the prompt
    const auto olhar = [&](int pid) {
      struct stat s {};
      if (stat(("/proc/" + std::to_string(pid) + "/environ").c_str(), &s) == 0) dono = s.st_uid;
    };
    const auto r = apoio::executar(argv, k.sinal != 0 ? "" : "sair\n", std::chrono::seconds(600),
                                   {k.sinal, prompt, olhar});
    unsetenv("SSLKEYLOGFILE");
    if (k.outroUsuario) {
      EXPECT_EQ(dono, 0u) << "the same user could read its memory";
      fs::remove_all(copia);
    }
    EXPECT_EQ(r.status, k.status) << r.erro;
    EXPECT_EQ(r.saida, k.saida);
    std::vector<fs::path> deixados;
    for (const auto& arquivo : fs::directory_iterator(pasta)) deixados.push_back(arquivo.path());
    for (const fs::path& arquivo : deixados) {
      ADD_FAILURE() << "left " << arquivo << ", " << fs::file_size(arquivo) << " bytes";
      fs::remove(arquivo);
    }
  }
  setrlimit(RLIMIT_CORE, &original);
  fs::current_path(antes);
  fs::remove_all(pasta);
}

// ---- world api_certificado.json: the API shows another name's certificate.

using Certificado = Hostil;

TEST_F(Certificado, NomeErradoParaAntesDeQualquerPedidoOuSsh) {
  const auto e = rodar("1", "Alvo");
  esperarFalha(e, kLogin, kTransporte,
               "POST /login: a verificação do certificado de api.zelvo.example falhou (");
  EXPECT_TRUE(e.pedidos.empty());
  EXPECT_EQ(log_.tudo().find("Accepted"), std::string::npos);
}

}  // namespace
