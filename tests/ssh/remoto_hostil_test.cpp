// Hostile remote machines, against the lab's real sshd appliances of
// mundos/remoto.json: floods of output, bytes that are not UTF-8, output made
// only of what the pager rule removes, a remote that stops answering and an
// sshd killed in the middle of a command. The session must come back from
// each in bounded time and stay usable where it can.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "UTILITARIOS/ssh/conexao_ssh.hpp"
#include "tests/apoio/processo.hpp"

namespace {

using namespace std::string_literals;
using ssh::conexaoSSH;
using Relogio = std::chrono::steady_clock;

struct Maquina {
  std::string host, senha, senhaRoot, nome;
};
const Maquina kEco{"192.0.0.16", "ssh-eco-Hx1", "root-eco-Rx1", "eco"};
const Maquina kQueda{"192.0.0.17", "ssh-queda-Hx2", "root-queda-Rx2", "queda"};

using apoio::estado;

std::unique_ptr<conexaoSSH> sessao(const Maquina& m, std::optional<std::string> marcador,
                                   double timeout) {
  return std::make_unique<conexaoSSH>(m.host, 22, "suporte", m.senha, std::move(marcador), timeout);
}

std::string comoRoot(const Maquina& m, const std::string& interno) {
  return "printf \"" + m.senhaRoot + "\\n\" | su -c \"" + interno + "\"";
}

double desde(Relogio::time_point inicio) {
  return std::chrono::duration<double>(Relogio::now() - inicio).count();
}

struct Cronometrado {
  std::string result;
  double seconds;
};
Cronometrado cronometrar(conexaoSSH& s, const std::string& comando) {
  const auto inicio = Relogio::now();
  std::string result = s.execute_command(comando);
  return {std::move(result), desde(inicio)};
}

// A closed session answers a command with the SSH error.
bool fechada(conexaoSSH& s) {
  try {
    s.execute_command("true");
  } catch (const ssh::ErroSSH&) {
    return true;
  }
  return false;
}

using apoio::linhas;

class Remoto : public ::testing::Test {
 protected:
  void SetUp() override {
    if (estado().empty()) GTEST_SKIP() << "roda só dentro do lab";
  }
};

// ------------------------------------------------------------ volume

using GrandeSaida = Remoto;

// One command printing `bytes` of 64-byte lines, each carrying the prompt
// word; returns the elapsed seconds after checking every line came back.
double imprimirEConferir(conexaoSSH& s, std::size_t bytes) {
  const std::string carga = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTU";
  const std::size_t linha = std::string("Senha ").size() + carga.size() + 1;
  // The quotes keep the prompt word out of the echo of the typed line.
  const auto r = cronometrar(s, "yes 'Sen''ha " + carga + "' | head -c " + std::to_string(bytes));
  const auto v = linhas(r.result);
  EXPECT_EQ(bytes % linha, 0u);
  EXPECT_EQ(v.size(), bytes / linha);
  std::size_t erradas = 0;
  for (const auto& l : v) erradas += l != carga;
  EXPECT_EQ(erradas, 0u);
  return r.seconds;
}

TEST_F(GrandeSaida, DezMegabytesSemDesaceleracaoQuadratica) {
  auto s = sessao(kEco, "$"s, 5);
  s->connect();
  const double um = imprimirEConferir(*s, 1 << 20);
  const double dez = imprimirEConferir(*s, 10 << 20);
  std::cout << "[ medida  ] 1 MiB: " << um << " s, 10 MiB: " << dez << " s\n";
  // Linear costs give about 10x; a cost growing with the square of what is
  // already held would give about 100x.
  EXPECT_LT(dez, 20 * um);
  EXPECT_EQ(s->execute_command("echo Sen\"\"ha-depois"), "-depois");
}

// ------------------------------------------------------------ bytes

using BytesInvalidos = Remoto;

TEST_F(BytesInvalidos, Utf8InvalidoCaiENulFicaNaLinhaDaSenha) {
  // The calls must end at the prompt, far sooner than the idle time-out,
  // however slow a loaded machine is.
  auto s = sessao(kEco, "$"s, 30);
  s->connect();
  // A byte that starts nothing inside the prompt word, a NUL, an overlong
  // form, a surrogate, a code point past U+10FFFF and a sequence cut by the
  // line end.
  const auto r = cronometrar(
      *s, R"(printf 'Sen\377ha-a\000b\300\257c\355\240\200d\364\220\200\200e\342\202\n')");
  EXPECT_EQ(r.result, std::string("-a\0bcde", 7));
  EXPECT_LT(r.seconds, 15.0) << "the prompt should have ended the call";

  // Two megabytes that are all invalid vanish, and the line's end survives.
  const auto r2 =
      cronometrar(*s, R"(head -c 2000000 /dev/zero | tr '\0' '\377'; echo Sen""ha-fim)");
  EXPECT_EQ(r2.result, "-fim");
  EXPECT_LT(r2.seconds, 15.0);
  EXPECT_EQ(s->execute_command(comoRoot(kEco, "echo vivo")), "vivo");
}

// ------------------------------------------------------------ the pager rule

// A remote that, with its terminal echo off (as a pager in raw mode has),
// prints for about 3 s nothing but `pedaco`. Those blocks are emptied by the
// pager rule, so they are no output: the call ends about `timeout` after the
// echo of the typed line, not after the stream. The blanks answered to each
// block wait in the shell's input and must not disturb the next command.
void somenteRemovidos(const std::string& pedaco) {
  constexpr double kTimeout = 2.0;
  auto s = sessao(kEco, std::nullopt, kTimeout);
  s->connect();
  const auto inicio = Relogio::now();
  const auto r = cronometrar(*s, "stty -echo; for i in $(seq 30); do printf %s '" + pedaco +
                                     "'; sleep 0.1; done; stty echo");
  std::cout << "[ medida  ] only '" << pedaco << "': " << r.seconds << " s\n";
  EXPECT_EQ(r.result, "");
  EXPECT_GT(r.seconds, kTimeout);
  EXPECT_LT(r.seconds, kTimeout + 2.5) << "emptied blocks kept the call alive";
  // Let the stream end, so that the next call starts on a quiet shell.
  std::this_thread::sleep_for(std::chrono::duration<double>(std::max(0.0, 3.8 - desde(inicio))));
  EXPECT_EQ(s->execute_command(comoRoot(kEco, "echo vivo")), "vivo");
}

TEST_F(Remoto, SoDoisPontosTerminaPelaOciosidadeESessaoContinua) { somenteRemovidos("::::::::::"); }

TEST_F(Remoto, SoMoreTerminaPelaOciosidadeESessaoContinua) { somenteRemovidos("--More----More--"); }

// ------------------------------------------------------------ silence

TEST_F(Remoto, RemotoQueParaNoMeioTerminaPelaOciosidade) {
  constexpr double kTimeout = 2.0;
  auto s = sessao(kEco, "$"s, kTimeout);
  s->connect();
  const auto r = cronometrar(*s, "echo Sen\"\"ha-antes; sleep 30");
  std::cout << "[ medida  ] silent remote: " << r.seconds << " s\n";
  EXPECT_EQ(r.result, "-antes");
  EXPECT_GT(r.seconds, kTimeout);
  EXPECT_LT(r.seconds, kTimeout + 10.0) << "waited for the remote's 30 s";
  // Closing does not wait for the remote command.
  const auto inicio = Relogio::now();
  s->close();
  EXPECT_LT(desde(inicio), 5.0);
  EXPECT_TRUE(fechada(*s));
}

// ------------------------------------------------------------ a dying sshd

// On this appliance python3 run as root kills the session's sshd processes.
// The call in flight comes back within its idle time-out at most, either
// with what it had or with the SSH error; by the next call at the latest the
// error is out, nothing printed, and the session is closed. The appliance's listener survives: a new session works.
TEST_F(Remoto, SshdMortoNoMeioDoComando) {
  constexpr double kTimeout = 2.0;
  auto s = sessao(kQueda, "$"s, kTimeout);
  s->connect();
  ASSERT_EQ(s->execute_command(comoRoot(kQueda, "echo antes")), "antes");

  std::string erro;
  std::optional<std::string> parcial;
  auto inicio = Relogio::now();
  try {
    parcial = s->execute_command("echo Sen\"\"ha-parcial; sleep 0.3; " +
                                 comoRoot(kQueda, "python3 --version"));
  } catch (const ssh::ErroSSH& e) {
    erro = e.what();
  }
  const double primeira = desde(inicio);
  if (parcial) {
    EXPECT_EQ(*parcial, "-parcial");
    inicio = Relogio::now();
    try {
      s->execute_command("echo de novo");
      ADD_FAILURE() << "a command on a dead connection succeeded";
    } catch (const ssh::ErroSSH& e) {
      erro = e.what();
    }
    EXPECT_LT(desde(inicio), kTimeout + 3.0);
  }
  std::cerr << "[ medida  ] call cut by the kill: " << primeira << " s ("
            << (parcial ? "returned" : "raised") << ")\n";
  EXPECT_LT(primeira, kTimeout + 1.0);
  ASSERT_FALSE(erro.empty());
  EXPECT_NE(erro.find("suporte@192.0.0.17:22"), std::string::npos) << erro;
  EXPECT_EQ(erro.find(kQueda.senha), std::string::npos) << erro;
  EXPECT_TRUE(fechada(*s));
  EXPECT_NO_THROW(s->close());

  auto outra = sessao(kQueda, "$"s, kTimeout);
  ASSERT_NO_THROW(outra->connect());
  EXPECT_EQ(outra->execute_command(comoRoot(kQueda, "echo depois")), "depois");
}

// ------------------------------------------------------------ the program

std::vector<std::string> senhasDoMundo() {
  std::ifstream arquivo(std::string(HOSTIL_MUNDOS) + "/remoto.json");
  const auto mundo = nlohmann::json::parse(arquivo);
  std::vector<std::string> senhas;
  for (const auto& m : mundo["machines"]) {
    senhas.push_back(m["password"]);
    senhas.push_back(m["root_password"]);
  }
  return senhas;
}

std::string arquivo(const std::string& maquina, const std::string& nome) {
  return apoio::lerArquivo(estado() + "/machines/" + maquina + "/scripts/" + nome);
}

bool executavel(const std::string& maquina, const std::string& nome) {
  struct stat st {};
  const std::string caminho = estado() + "/machines/" + maquina + "/scripts/" + nome;
  return stat(caminho.c_str(), &st) == 0 && (st.st_mode & 0111) == 0111;
}

// The first file that the listing shows is named with colons and a pager
// prompt. The listing comes back without them, a blank goes to the remote
// shell for each such block, and both machines are still updated.
TEST_F(Remoto, NomesHostisNaListagemNaoDesviamARodada) {
  const auto r =
      apoio::executar({apoio::programa(), "atualizarEmMassa", "1", "Nomes", "coleta/disco.py"}, "",
                      std::chrono::seconds(600));
  EXPECT_FALSE(r.expirou);
  EXPECT_EQ(r.status, 0) << r.erro;
  EXPECT_EQ(r.erro, "");
  for (const auto& senha : senhasDoMundo()) {
    EXPECT_EQ(r.saida.find(senha), std::string::npos) << "password on stdout: " << senha;
    EXPECT_EQ(r.erro.find(senha), std::string::npos) << "password on stderr: " << senha;
  }
  const auto v = linhas(r.saida);
  ASSERT_EQ(v.size(), 11u) << r.saida;  // the summary closes the report
  const std::string anuncio = " Cliente: 10 - Nomes Hostis | Atualizando ";
  const std::string encontrado = "\x1b[0;32m Código encontrado. Atualizando... \x1b[0;0m";
  EXPECT_EQ(v[0], "0" + anuncio + "192.0.0.18:22");
  EXPECT_TRUE(std::regex_match(v[1], std::regex("Lista de códigos encontrados: -rw-r--r-- 1 root "
                                                "root +9 [^:]+ 0disco\\.py")))
      << v[1];
  EXPECT_EQ(v[2], encontrado);
  EXPECT_TRUE(v[3].starts_with("Informações de Download: ")) << v[3];
  EXPECT_TRUE(
      std::regex_match(v[4], std::regex("Informações de Permissão: -rw-r--r-- .* 0disco\\.py")))
      << v[4];
  EXPECT_EQ(v[5], "1" + anuncio + "192.0.0.19:22");
  EXPECT_TRUE(std::regex_match(v[6], std::regex("Lista de códigos encontrados: -rw.* disco\\.py")))
      << v[6];
  EXPECT_EQ(v[7], encontrado);
  EXPECT_TRUE(std::regex_match(v[9], std::regex("Informações de Permissão: -rwx.* disco\\.py")))
      << v[9];

  for (const char* m : {"nomes", "depois"}) {
    EXPECT_EQ(arquivo(m, "disco.py"), "# script coleta/disco.py for python 3.8.10\n") << m;
    EXPECT_TRUE(executavel(m, "disco.py")) << m;
  }
  EXPECT_EQ(arquivo("nomes", "0--More--::disco.py"), "# hostil\n");
}

}  // namespace
