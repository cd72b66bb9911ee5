// conexaoSSH against the real sshd appliances of tests/ssh/mundo_ssh.json.
// Runs inside the lab world (see tests/ssh/CMakeLists.txt).
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "UTILITARIOS/ssh/conexao_ssh.hpp"
#include "tests/apoio/processo.hpp"

namespace {

using namespace std::string_literals;
using namespace std::chrono_literals;
using ssh::conexaoSSH;

const std::string kScripts = "/var/lib/docker/volumes/korvax_externalscripts/_data/";
const std::string kUsuario = "suporte";

struct Maquina {
  std::string host;
  int port;
  std::string senha, senhaRoot, nome;
};
const Maquina kPrincipal{"192.0.0.16", 22, "suporte-lab", "raiz-lab", "principal"};
const Maquina kIpv6{"3fff::10", 22, "suporte-v6", "raiz-v6", "ipv6"};
const Maquina kPorta2222{"192.0.0.17", 2222, "suporte-2222", "raiz-2222", "porta2222"};
const Maquina kFaixa{"192.0.0.20", 22, "suporte", "root", "faixa"};  // lab defaults
const Maquina kSai{"192.0.0.21", 22, "suporte", "root", "sai"};
const Maquina kLenta{"192.0.0.22", 22, "suporte", "root", "lenta"};  // dash, su takes 0.3 s

// The workflow's way of running a command as root.
std::string comoRoot(const Maquina& m, const std::string& interno) {
  return "printf \"" + m.senhaRoot + "\\n\" | su -c \"" + interno + "\"";
}

std::unique_ptr<conexaoSSH> sessao(const Maquina& m, std::optional<std::string> marcador,
                                   double timeout) {
  return std::make_unique<conexaoSSH>(m.host, m.port, kUsuario, m.senha, std::move(marcador),
                                      timeout);
}

double segundosDe(const std::function<void()>& f) {
  const auto inicio = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - inicio).count();
}

// Drops the terminal's control sequences (ESC "[" parameters, final letter).
std::string semEscapesAnsi(const std::string& s) {
  std::string r;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\x1b' || i + 1 >= s.size() || s[i + 1] != '[') {
      r += s[i];
      continue;
    }
    for (i += 2; i < s.size() && !std::isalpha(static_cast<unsigned char>(s[i]));) ++i;
  }
  return r;
}

using apoio::linhas;

// ------------------------------------------------------------ connect

TEST(Login, PorSenhaEmIPv4IPv6EPortaNaoPadrao) {
  for (const Maquina& m : {kPrincipal, kIpv6, kPorta2222}) {
    SCOPED_TRACE(m.nome);
    auto s = sessao(m, "$"s, 5);
    ASSERT_NO_THROW(s->connect());
    // The appliance's host name proves which machine answered.
    EXPECT_EQ(s->execute_command(comoRoot(m, "hostname")), m.nome);
    s->close();
    // Closed, not merely unconnected: a command meets the SSH error.
    EXPECT_THROW(s->execute_command("hostname"), ssh::ErroSSH);
    EXPECT_NO_THROW(s->close());
  }
}

TEST(FalhaDeConexao, PortaFechadaSenhaErradaEHostMudo) {
  constexpr double kTimeout = 2.0;
  struct Caso {
    const char* nome;
    Maquina m;
    const char* operacao;
    const char* noTexto;
  };
  const std::vector<Caso> casos = {
      {"porta fechada", {"192.0.0.18", 22, "x", "x", ""}, "ao conectar", "192.0.0.18:22"},
      {"senha errada", {"192.0.0.16", 22, "nao-e-esta", "x", ""}, "ao autenticar", "Access denied"},
      {"senha errada IPv6",
       {"3fff::10", 22, "nao-e-esta", "x", ""},
       "ao autenticar",
       "suporte@[3fff::10]:22"},
      {"host mudo", {"192.0.0.19", 22, "x", "x", ""}, "ao conectar", "192.0.0.19"},
  };
  for (const auto& c : casos) {
    SCOPED_TRACE(c.nome);
    auto s = sessao(c.m, "$"s, kTimeout);
    std::string texto;
    const double segundos = segundosDe([&] {
      try {
        s->connect();
        ADD_FAILURE() << "connect succeeded";
      } catch (const ssh::ErroSSH& e) {
        texto = e.what();
        EXPECT_NE(texto.find(std::string("(") + c.operacao + ", "), std::string::npos) << texto;
      }
    });
    std::cout << "[ medida  ] connect, " << c.nome << ": " << segundos << " s (" << texto << ")\n";
    EXPECT_NE(texto.find(c.noTexto), std::string::npos) << texto;
    EXPECT_EQ(texto.find(c.m.senha), std::string::npos) << "password in the message";
    EXPECT_LT(segundos, kTimeout + 2.0);
    if (c.m.host == "192.0.0.19") {
      EXPECT_GE(segundos, kTimeout - 0.1);
    }
    // No channel was made: a command is refused as before connect().
    try {
      s->execute_command("true");
      ADD_FAILURE() << "a command ran after a failed connect";
    } catch (const falhas::Falha& e) {
      EXPECT_STREQ(e.what(), "Erro. Execute \"connect()\" primeiro.");
    }
    EXPECT_NO_THROW(s->close());
    EXPECT_NO_THROW(s->close());
  }
}

TEST(Reconexao, ConnectRepetidoLiberaAConexaoAnterior) {
  auto s = sessao(kIpv6, "$"s, 5);
  s->connect();
  s->connect();
  // Only the second login is still alive on the appliances.
  EXPECT_EQ(s->execute_command(comoRoot(kIpv6, "pgrep -c -f '^sshd: suporte[@]'")), "1");
}

// ------------------------------------------------------------ commands

class SessaoPrincipal : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    // su answers a wrong password only after a randomised delay of about 3 s.
    s_ = sessao(kPrincipal, "$"s, 6);
    s_->connect();
  }
  static void TearDownTestSuite() { s_.reset(); }
  void SetUp() override { ASSERT_TRUE(s_); }

  static std::string root(const std::string& interno) {
    return s_->execute_command(comoRoot(kPrincipal, interno));
  }
  static std::unique_ptr<conexaoSSH> s_;
};
std::unique_ptr<conexaoSSH> SessaoPrincipal::s_;

TEST_F(SessaoPrincipal, ListagemPeloSuVoltaNaLinhaDaSenha) {
  EXPECT_EQ(root("ls " + kScripts), "disco.py");
}

TEST_F(SessaoPrincipal, SenhaRootErradaComAcentosIntactos) {
  const std::string comando = R"(printf "errada\n" | su -c "ls /")";
  EXPECT_EQ(s_->execute_command(comando), "su Falha de autentica\xc3\xa7\xc3\xa3o");
}

TEST_F(SessaoPrincipal, ComandoSemSaidaDaVazio) { EXPECT_EQ(root("true"), ""); }

TEST_F(SessaoPrincipal, HorariosPerdemOsDoisPontos) {
  const std::string r = root("ls -l --time-style=+%H:%M " + kScripts + "disco.py");
  // "-rw-r--r-- 1 root root 15 HHMM <path>", the time without its colon.
  const std::string antes = "-rw-r--r-- 1 root root 15 ", depois = " " + kScripts + "disco.py";
  ASSERT_EQ(r.size(), antes.size() + 4 + depois.size()) << r;
  EXPECT_TRUE(r.starts_with(antes) && r.ends_with(depois)) << r;
  for (char c : r.substr(antes.size(), 4))
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(c))) << r;
}

TEST_F(SessaoPrincipal, VariasLinhasSoFicaADaSenha) {
  EXPECT_EQ(root("printf 'um\\ndois\\ntres\\n'"), "um");
}

TEST_F(SessaoPrincipal, MarcadorNoEcoOuNaSaidaNaoTerminaAChamada) {
  // A "$" in the echo, or in output with a line end after it, is no prompt:
  // the output stays with its own command, not with the next one.
  EXPECT_EQ(s_->execute_command("sleep 1; echo Sen\"\"ha-depois $((6*7))"), "-depois 42");
  EXPECT_EQ(s_->execute_command("printf 'Sen''ha-x\\044\\n'; sleep 0.5; echo Sen''ha-y"), "-x$\n-y");
  EXPECT_EQ(s_->execute_command("true"), "");
  // Output right behind a marker belongs to the same call: "-a$" alone
  // would be dropped as a prompt line.
  EXPECT_EQ(s_->execute_command("printf 'Sen''ha-a\\044'; sleep 0.005; echo b"), "-a$b");
  // A colon inside output written in pieces ("su: ...", two writes of the
  // shell's builtins) is answered once the output pauses, so the blank's
  // echo does not land in its middle. A remote pause between the pieces
  // would make the row depend on how busy this machine is.
  EXPECT_EQ(s_->execute_command("printf 'Sen''ha x:'; echo ' y'"), "x y");
}

TEST_F(SessaoPrincipal, PaginadorMoreRespondidoESessaoContinua) {
  EXPECT_EQ(s_->execute_command("seq -f 'Sen''ha %g' 1 150 > /tmp/longo"), "");
  const std::string r = s_->execute_command("more -e /tmp/longo");
  EXPECT_EQ(r.find("--More--"), std::string::npos);
  std::vector<std::string> esperado, obtido = linhas(semEscapesAnsi(r));
  for (int i = 1; i <= 150; ++i) esperado.push_back(std::to_string(i));
  EXPECT_EQ(obtido, esperado);
  EXPECT_EQ(root("echo vivo"), "vivo");
}

TEST_F(SessaoPrincipal, GrandeVolumeSemPerdasNemAcentosPartidos) {
  constexpr int kLinhas = 200000;  // about 2.6 MB, many receives
  const std::string r =
      s_->execute_command("seq -f 'Sen''ha \xc3\xa7%g' 1 " + std::to_string(kLinhas));
  const auto v = linhas(r);
  ASSERT_EQ(v.size(), static_cast<std::size_t>(kLinhas));
  int erradas = 0;
  for (int i = 0; i < kLinhas; ++i) erradas += v[i] != "\xc3\xa7" + std::to_string(i + 1);
  EXPECT_EQ(erradas, 0);
}

// Three lines in one write, on bash and on dash (which echoes them on arrival; su slow): a
// "ç" in two writes after the pager's blank, whose echo may land anywhere.
TEST(LinhasDigitadasJuntas, CadaUmaComASuaSaida) {
  for (const Maquina& m : {kPrincipal, kLenta}) {
    SCOPED_TRACE(m.nome);
    auto s = sessao(m, "$"s, 6);
    s->connect();
    std::vector<std::string> linhas;
    for (const char* i : {"printf x; sleep 1; printf '\\303'; sleep 0.2; printf '\\247y\\n'",
                          "true", "echo fim"})
      linhas.push_back(comoRoot(m, i));
    auto saidas = s->execute_commands(linhas);
    for (std::string& saida : saidas) std::erase(saida, ' ');
    EXPECT_EQ(saidas, (std::vector<std::string>{"x\xc3\xa7y", "", "fim"}));
  }
}

TEST(SemMarcador, TerminaPelaOciosidade) {
  constexpr double kTimeout = 2.0;
  auto s = sessao(kPrincipal, std::nullopt, kTimeout);
  s->connect();
  std::string r;
  const double segundos =
      segundosDe([&] { r = s->execute_command(comoRoot(kPrincipal, "echo ok")); });
  EXPECT_EQ(r, "ok");
  EXPECT_GT(segundos, kTimeout);
  EXPECT_LT(segundos, kTimeout + 3.0);
}

// The appliance prints 12000 bytes at login; connect discards all of it
// (and the prompts after it), so the first command's output holds nothing
// of it and its collection is not ended by a stale prompt.
TEST(BannerLongo, DescartadoInteiroEOPrimeiroComandoFunciona) {
  for (const std::optional<std::string>& marcador : {std::optional<std::string>("$"),
                                                       std::optional<std::string>()}) {
    auto s = sessao(kFaixa, marcador, 2);
    s->connect();
    EXPECT_EQ(s->execute_command(comoRoot(kFaixa, "echo primeiro")), "primeiro");
  }
}

// ------------------------------------------------------------ SSH errors

void esperarErroSSH(conexaoSSH& s, const std::string& comando) {
  EXPECT_THROW(s.execute_command(comando), ssh::ErroSSH);
}

// A shell's end fails the command with one text, whether it came while the
// output was awaited or before the command line was written: the report must
// not depend on which the network delivered first.
TEST(ErroDuranteComando, ShellQueTerminaFalhaDoMesmoJeito) {
  std::vector<std::string> causas;
  for (const auto& [maquina, comando] : {std::pair{kPrincipal, "exit"}, {kSai, "echo oi"}}) {
    auto s = sessao(maquina, "$"s, 3);
    s->connect();
    for (int i = 0; i < 10 && s->is_alive(); ++i) std::this_thread::sleep_for(100ms);
    try {
      s->execute_command(comando);
      ADD_FAILURE() << comando << " did not fail";
    } catch (const ssh::ErroSSH& e) {
      causas.push_back(std::string(e.what()).substr(0, std::string(e.what()).find(", ")));
    }
    esperarErroSSH(*s, "echo de novo");
    EXPECT_NO_THROW(s->close());
  }
  EXPECT_EQ(causas, std::vector<std::string>(2, "o shell remoto terminou (ao executar o comando"));
}

TEST(ErroDuranteComando, SessaoFechadaAntesDaChamada) {
  auto s = sessao(kPrincipal, "$"s, 3);
  s->connect();
  s->close();
  esperarErroSSH(*s, "echo oi");
}

}  // namespace
