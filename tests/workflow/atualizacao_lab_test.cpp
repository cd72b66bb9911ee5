// The mass update end to end: the production program inside a lab world of
// real sshd appliances, a real su and a real HTTPS repository. Each test
// picks its machines through the customer type (the first word of the
// customer's name in the world file).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/apoio/processo.hpp"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string Y = "\x1b[0;93m ";
const std::string G = "\x1b[0;32m ";
const std::string R = " \x1b[0;0m";

using apoio::estado;

fs::path pasta(const std::string& maquina) {
  return fs::path(estado()) / "machines" / maquina / "scripts";
}

std::string conteudo(const std::string& maquina, const std::string& nome) {
  return apoio::lerArquivo((pasta(maquina) / nome).string());
}

bool executavel(const std::string& maquina, const std::string& nome) {
  struct stat st {};
  return stat((pasta(maquina) / nome).c_str(), &st) == 0 && (st.st_mode & 0111) == 0111;
}

std::string corpo(const std::string& versao, const std::string& caminho = "coleta/disco.py") {
  return "# script " + caminho + " for python " + versao + "\n";
}

const std::string kAntigo = "# disco.py antigo\n";
const std::string kLongo = std::string(240, 'd') + ".py";
const std::string kFalhaDownload = Y + "Falha no download. O script anterior foi mantido." + R;

const nlohmann::json& mundo() {
  static const nlohmann::json m = [] {
    std::ifstream arquivo(ATUALIZACAO_FONTES "/tests/workflow/mundo_atualizacao.json");
    return nlohmann::json::parse(arquivo);
  }();
  return m;
}

std::string semTodas(std::string texto, const std::string& trecho) {
  for (auto pos = texto.find(trecho); pos != std::string::npos; pos = texto.find(trecho, pos))
    texto.erase(pos, trecho.size());
  return texto;
}

// Every password of the world, also as the output cleaning would leave its
// typed form (colons and "Senha" removed): none may show in what the
// program prints.
std::vector<std::string> senhasDoMundo() {
  std::vector<std::string> senhas;
  for (const auto& m : mundo()["machines"]) {
    senhas.push_back(m["password"]);
    senhas.push_back(m["root_password"]);
    if (m.contains("entry"))
      for (const char* chave : {"senhaVm", "senhaRoot"})
        if (m["entry"].contains(chave)) senhas.push_back(m["entry"][chave]);
  }
  for (std::size_t i = 0, n = senhas.size(); i < n; ++i) {
    const std::string limpa = semTodas(semTodas(senhas[i], ":"), "Senha");
    if (limpa != senhas[i] && limpa.size() >= 6) senhas.push_back(limpa);
  }
  return senhas;
}

// What the world itself put on a machine (left out of the checks below).
bool semeado(const std::string& maquina, const char* chave, const std::string& nome) {
  for (const auto& m : mundo()["machines"])
    if (m["name"] == maquina && m.contains(chave) && m[chave].is_object() &&
        m[chave].contains(nome))
      return true;
  return false;
}

// After every run: no appliance's home holds a password or a file of the
// tool (a wget-log), no history of a shell that can turn it off holds a
// typed line, no temporary file stays beside a script, and the repository
// was asked for nothing but a version's path.
void verificarMaquinas() {
  static const auto senhas = senhasDoMundo();
  const fs::path maquinas = "/run/lab/m";  // the lab's per-appliance folders
  ASSERT_TRUE(fs::is_directory(maquinas));
  for (const auto& m : fs::directory_iterator(maquinas)) {
    const std::string nome = m.path().filename();
    if (!fs::exists(m.path() / "home")) continue;
    for (const auto& f : fs::recursive_directory_iterator(m.path() / "home")) {
      if (!f.is_regular_file()) continue;
      const std::string arquivo = f.path().filename();
      const std::string texto = apoio::lerArquivo(f.path());
      // The account's own files; of the histories, tcsh's and fish's cannot
      // be turned off, the others never get a line after the first.
      static const std::set<std::string> kDaConta = {
          ".bash_profile", ".profile", ".zprofile", ".history", "fish_history", "fish_variables"};
      static const std::set<std::string> kHistoricos = {".sh_history", ".mksh_history", ".zsh_history"};
      if (kHistoricos.count(arquivo)) {
        EXPECT_EQ(texto.find("su -c"), std::string::npos) << "typed line kept in " << f.path();
      }
      const std::string relativo = fs::relative(f.path(), m.path() / "home").string();
      if (!kHistoricos.count(arquivo) && !kDaConta.count(arquivo) &&
          !semeado(nome, "home", relativo.substr(relativo.find('/') + 1)))
        ADD_FAILURE() << "file left in the home of " << nome << ": " << f.path();
      for (const auto& senha : senhas)
        EXPECT_EQ(texto.find(senha), std::string::npos) << "password in " << f.path();
    }
    if (!fs::is_directory(pasta(nome))) continue;
    for (const auto& f : fs::recursive_directory_iterator(pasta(nome))) {
      const std::string arquivo = f.path().filename();
      const std::string relativo = fs::relative(f.path(), pasta(nome));
      if ((arquivo.ends_with(".download") || arquivo.starts_with(".atualizacao-") ||
           arquivo.starts_with("wget-log")) &&
          !semeado(nome, "scripts", relativo))
        ADD_FAILURE() << "file of the tool left beside the scripts: " << f.path();
    }
  }
  const std::string registros = apoio::lerArquivo(estado() + "/syslog.log");
  for (const auto& senha : senhas)
    EXPECT_EQ(registros.find(senha), std::string::npos) << "password in the system log: " << senha;
  std::ifstream pedidos(estado() + "/requests.jsonl");
  for (std::string linha; std::getline(pedidos, linha);) {
    const std::string caminho = nlohmann::json::parse(linha)["path"];
    if (caminho.starts_with("/python")) {
      const std::string versao = caminho.substr(7, caminho.find('/', 7) - 7);
      EXPECT_EQ(versao.find_first_not_of("0123456789abcdefghijklmnopqrstuvwxyz"
                                         "ABCDEFGHIJKLMNOPQRSTUVWXYZ.+_-"),
                std::string::npos)
          << "download address: " << caminho;
    }
    for (const auto& senha : senhas)
      EXPECT_EQ(linha.find(senha), std::string::npos) << "password sent to the API: " << linha;
  }
}

apoio::Resultado rodarComando(const std::vector<std::string>& argv,
                              const std::string& entrada = "",
                              const apoio::SinalNoPrompt& sinal = {}) {
  auto r = apoio::executar(argv, entrada, std::chrono::seconds(600), sinal);
  EXPECT_FALSE(r.expirou);
  static const auto senhas = senhasDoMundo();
  for (const auto& senha : senhas) {
    EXPECT_EQ(r.saida.find(senha), std::string::npos) << "password on stdout: " << senha;
    EXPECT_EQ(r.erro.find(senha), std::string::npos) << "password on stderr: " << senha;
  }
  // No line the tool typed ever shows.
  for (const char* eco : {"| su -c", "printf \""})
    EXPECT_EQ(r.saida.find(eco), std::string::npos) << "a typed line on stdout:\n" << r.saida;
  verificarMaquinas();
  return r;
}

apoio::Resultado rodar(const std::string& tipo, const std::string& pastaCodigo = "coleta/disco.py",
                       const std::string& escopo = "1", const std::string& entrada = "") {
  return rodarComando({apoio::programa(), "atualizarEmMassa", escopo, tipo, pastaCodigo}, entrada);
}

using apoio::linhas;

// The system log from byte `desde` on, once it holds `trecho`: the lab's
// listener writes each record a moment after it arrives.
std::string registrosAte(std::size_t desde, const std::string& trecho) {
  std::string novos;
  for (int i = 0; i < 200; ++i, std::this_thread::sleep_for(50ms)) {
    novos = apoio::lerArquivo(estado() + "/syslog.log").substr(desde);
    if (novos.find(trecho) != std::string::npos) break;
  }
  return novos;
}

// Lines that carry remote output ("~label|part") must start with the label
// and contain the part; the others must be identical.
void compararLinhas(const std::string& saida, const std::vector<std::string>& esperadas) {
  const auto obtidas = linhas(saida);
  for (std::size_t i = 0; i < std::max(obtidas.size(), esperadas.size()); ++i) {
    const std::string obtida = i < obtidas.size() ? obtidas[i] : "<missing>";
    const std::string esperada = i < esperadas.size() ? esperadas[i] : "<none>";
    if (esperada.rfind("~", 0) == 0) {
      const auto barra = esperada.find('|');
      const std::string rotulo = esperada.substr(1, barra - 1), parte = esperada.substr(barra + 1);
      EXPECT_TRUE(obtida.rfind(rotulo, 0) == 0 && obtida.find(parte, rotulo.size()) != std::string::npos)
          << "line " << i << ": " << obtida << "\n  expected: " << rotulo << " ... " << parte;
    } else {
      EXPECT_EQ(obtida, esperada) << "line " << i;
    }
  }
}

std::vector<std::string> atualizada(const std::string& anuncio, bool presente = true,
                                    const std::string& listagem = "disco") {
  return {anuncio, "~Lista de códigos encontrados: |" + listagem,
          presente ? G + "Código encontrado. Atualizando..." + R
                   : G + "Código não encontrado. Baixando..." + R,
          "~Informações de Download: |https//scripts.zelvo.example/python",
          "~Informações de Permissão: -rwx|disco.py"};
}

std::vector<std::string> concatenar(std::initializer_list<std::vector<std::string>> partes) {
  std::vector<std::string> todas;
  for (const auto& p : partes) todas.insert(todas.end(), p.begin(), p.end());
  return todas;
}

TEST(AtualizacaoLab, CadaDesfechoDaMaquinaNaOrdemERodadaSegue) {
  setenv("SUDO_USER", "joao", 1);  // the operator behind sudo
  const auto r = rodar("Hospital");
  unsetenv("SUDO_USER");
  EXPECT_EQ(r.status, 0) << r.erro;
  EXPECT_EQ(r.erro, "");
  const std::string c1 = "Cliente: 1021 - Hospital Central | Atualizando ";
  const std::string c2 = "Cliente: 1187 - Hospital Norte | Atualizando ";
  compararLinhas(r.saida,
                 concatenar({
                     atualizada("0 " + c1 + "192.0.0.16:22"),
                     {"1 " + c1 + "10.1.2.3:22",
                      Y + "IP 10.1.2.3 não é um IP público. Não é possível atualizar." + R,
                      "2 " + c1 + "192.0.0.17:2200", Y + "Erro ao conectar em 192.0.0.17:2200." + R,
                      "3 " + c1 + "192.0.0.18:22", Y + "Erro ao conectar em 192.0.0.18:22." + R,
                      "4 " + c1 + "192.0.0.19:22", Y + "Falha de autenticação." + R,
                      "5 " + c1 + "192.0.0.20:22", Y + "Arquivo ou diretório inexistente." + R,
                      "6 " + c2 + "192.0.0.21:22", Y + "Problema na execução dos comandos SSH." + R},
                     atualizada("7 " + c2 + "192.0.0.22:22", false),
                     atualizada("8 " + c2 + "192.0.0.23:22"),
                     atualizada("9 " + c2 + "3fff::20:22"),
                     atualizada("10 " + c2 + "192.0.0.24:2222"),
                     // A profile in English: the same treatment.
                     atualizada("11 " + c2 + "192.0.0.25:22"),
                     {"12 " + c2 + "192.0.0.27:22", Y + "Falha de autenticação." + R,
                      Y + "Resumo: 13 máquinas, 6 atualizadas, 7 não atualizadas (1 IP não público, "
                          "2 erro ao conectar, 2 falha de autenticação, 1 diretório inexistente, "
                          "1 problema na execução)." + R},
                 }));

  EXPECT_EQ(conteudo("h-atualiza", "disco.py"), corpo("3.8.10"));
  EXPECT_TRUE(executavel("h-atualiza", "disco.py"));
  EXPECT_EQ(conteudo("h-atualiza", "memoria.py"), "# memoria\n");
  EXPECT_EQ(conteudo("h-parecido", "disco.py"), corpo("3.6.9"));
  EXPECT_EQ(conteudo("h-parecido", "disco-py.antigo"), "# copia\n");
  EXPECT_EQ(conteudo("h-bak", "disco.py"), corpo("3.8.10"));
  EXPECT_EQ(conteudo("h-ipv6", "disco.py"), corpo("3.11.2"));
  EXPECT_EQ(conteudo("h-curto", "disco.py"), corpo("3.10.12"));
  EXPECT_EQ(conteudo("h-ingles", "disco.py"), corpo("3.8.10"));
  // The audit record in the system log: the start, each machine (host:port
  // as the console has it, why a connect failed), the summary.
  const std::string registros = registrosAte(0, "fim: regular; Resumo: 13 máquinas, 6 atualizadas");
  for (const std::string registro :
       {"atualizacao_em_massa[", "início: usuário joao (sudo, uid 0), modo atualizarEmMassa, "
                                 "escopo 1, tipo Hospital, script coleta/disco.py",
        "máquina 0: cliente 1021 - Hospital Central, 192.0.0.16:22: atualizada",
        "máquina 1: cliente 1021 - Hospital Central, 10.1.2.3:22: IP não público",
        "máquina 2: cliente 1021 - Hospital Central, 192.0.0.17:2200: erro ao conectar (conexão "
        "recusada)",
        "máquina 3: cliente 1021 - Hospital Central, 192.0.0.18:22: erro ao conectar (senha recusada)",
        "máquina 10: cliente 1187 - Hospital Norte, 192.0.0.24:2222: atualizada",
        "máquina 12: cliente 1187 - Hospital Norte, 192.0.0.27:22: falha de autenticação",
        "fim: regular; Resumo: 13 máquinas, 6 atualizadas, 7 não atualizadas (1 IP não público"})
    EXPECT_NE(registros.find(registro), std::string::npos) << registro << "\n" << registros;
  EXPECT_TRUE(executavel("h-curto", "disco.py"));
  // Refused machines are untouched.
  for (const char* m : {"h-senha-ssh", "h-root-errado", "h-database"})
    EXPECT_EQ(conteudo(m, "disco.py"), kAntigo) << m;
  EXPECT_FALSE(executavel("h-root-errado", "disco.py"));
  EXPECT_EQ(apoio::lerArquivo("/run/lab/m/h-root-errado/home/suporte/.su-tentativas"),
            "su\n")
      << "a wrong root password is tried once";
  EXPECT_FALSE(fs::exists(pasta("h-sem-script") / "disco.py"));
  EXPECT_FALSE(fs::exists(pasta("h-sem-pasta")));
  for (const char* m : {"h-atualiza", "h-parecido", "h-bak", "h-ipv6", "h-curto"})
    EXPECT_FALSE(fs::exists(pasta(m) / ".disco.py.download")) << m;
}

TEST(AtualizacaoLab, DownloadQueFalhaDeixaOScriptComoEstava) {
  const auto r = rodar("Repo");
  EXPECT_EQ(r.status, 0) << r.erro;
  const auto ls = linhas(r.saida);
  EXPECT_EQ(std::count(ls.begin(), ls.end(), G + "Código encontrado. Atualizando..." + R), 2);
  EXPECT_EQ(std::count(ls.begin(), ls.end(), kFalhaDownload), 2) << r.saida;
  EXPECT_EQ(ls.back(), Y + "Resumo: 2 máquinas, 0 atualizadas, 2 não atualizadas (2 falha no download)." + R);
  for (const char* m : {"r-404", "r-sem-python"}) {
    EXPECT_EQ(conteudo(m, "disco.py"), kAntigo) << m;
    EXPECT_FALSE(fs::exists(pasta(m) / ".disco.py.download")) << m;
    EXPECT_TRUE(executavel(m, "disco.py")) << "chmod still runs: " << m;
  }
}

TEST(AtualizacaoLab, SenhasDeRootComCaracteresEspeciais) {
  const auto r = rodar("Senhas");
  EXPECT_EQ(r.status, 0) << r.erro;
  EXPECT_EQ(r.saida.find("Falha de autenticação"), std::string::npos) << r.saida;
  for (int i = 0; i <= 8; ++i) {
    const std::string m = "s-" + std::to_string(i);
    EXPECT_EQ(conteudo(m, "disco.py"), corpo("3.8.10")) << m;
  }
  EXPECT_EQ(conteudo("s-lento", "disco.py"), corpo("3.8.10")) << "su answering late";
}

TEST(AtualizacaoLab, NomeDeScriptNaoExecutaComandos) {
  const auto r1 = rodar("Injecao", "coleta/disco.py;touch INJETADO");
  EXPECT_EQ(r1.status, 0) << r1.erro;
  EXPECT_EQ(conteudo("i-ponto-virgula", "disco.py;touch INJETADO"),
            corpo("3.8.10", "coleta/disco.py;touch INJETADO"));
  EXPECT_EQ(conteudo("i-ponto-virgula", "disco.py"), "# intocado\n");
  const auto r2 = rodar("Injecao", "coleta/$(touch INJETADO).py");
  EXPECT_EQ(r2.status, 0) << r2.erro;
  // Its prompt comes late: the "$" of the listed name must not end the listing.
  EXPECT_EQ(r2.saida.find("Falha no download"), std::string::npos) << r2.saida;
  EXPECT_EQ(conteudo("i-subst", "$(touch INJETADO).py"), corpo("3.8.10", "coleta/$(touch INJETADO).py"));
  for (const char* m : {"i-ponto-virgula", "i-subst"}) {
    EXPECT_FALSE(fs::exists(pasta(m) / "INJETADO")) << m;
    EXPECT_FALSE(fs::exists(pasta(m) / ".py")) << m;
  }
}

TEST(AtualizacaoLab, ConexaoQueCaiNoMeioEncerraARodada) {
  const std::size_t antes = apoio::lerArquivo(estado() + "/syslog.log").size();
  const std::string resumo = "Resumo: 5 máquinas, 1 atualizada, 4 não tratadas (execução interrompida).";
  // SIGCONT, which changes nothing, marks when the summary line came.
  const auto r = rodarComando({apoio::programa(), "atualizarEmMassa", "1", "Quebra", "coleta/disco.py"},
                              "", {SIGCONT, Y + resumo + R + "\n"});
  EXPECT_EQ(r.status, 1);
  const auto ls = linhas(r.saida);
  ASSERT_GE(ls.size(), 3u);
  EXPECT_NE(r.saida.find("1 Cliente: 5001 - Quebra Teste | Atualizando 192.0.0.81:22"), std::string::npos);
  EXPECT_EQ(ls[ls.size() - 2].rfind("SSH error: ", 0), 0u) << r.saida;
  EXPECT_EQ(ls.back(), Y + resumo + R);
  const std::string fim = "fim: falha ao tratar a máquina 1 (192.0.0.81:22): falha de SSH; " + resumo;
  EXPECT_NE(registrosAte(antes, fim).find(fim), std::string::npos);
  EXPECT_EQ(r.saida.find("192.0.0.82"), std::string::npos) << "the next machine stays untreated";
  EXPECT_EQ(conteudo("q-ok", "disco.py"), corpo("3.8.10"));
  EXPECT_EQ(conteudo("q-depois", "disco.py"), kAntigo);
  EXPECT_EQ(std::count(r.erro.begin(), r.erro.end(), '\n'), 1) << "one diagnostic line: " << r.erro;
  EXPECT_NE(r.erro.find("192.0.0.81"), std::string::npos) << r.erro;
  // Two silent machines follow (TCP accepted, no banner): their connects in
  // flight do not hold the end of the run, after its summary, for their 10 s
  // time-out.
  EXPECT_GT(r.aposSinal, 0.0) << "the summary line was not seen";
  EXPECT_LT(r.aposSinal, 5.0);
}

// However a run ends, it leaves its account: the summary, counting the
// machine in progress and the later ones as untreated, and a closing record
// naming the signal or the failure. A signal still ends the process as the
// shell expects, at once: the sessions opened ahead go with it, and no
// machine after the one in progress is touched.
TEST(AtualizacaoLab, RodadaInterrompidaDeixaResumoERegistro) {
  const std::string p = apoio::programa();
  const std::vector<std::string> senhas = {p, "atualizarEmMassa", "1", "Senhas", "coleta/disco.py"};
  const std::vector<std::string> duplo = {p, "atualizarEmMassa", "2", "Duplo", "coleta/disco.py"};
  const std::string maquina2 = "2 Cliente: 3001 - Senhas Especiais | Atualizando 192.0.0.52:22\n";
  const std::string resumo = "Resumo: 10 máquinas, 2 atualizadas, 8 não tratadas (execução interrompida).";
  struct Caso {
    std::string nome;
    std::vector<std::string> argv;
    apoio::SinalNoPrompt sinal;
    int status;
    std::string resumo;  ///< the last line; "" for none at all
    std::string registro;
  };
  const std::vector<Caso> casos = {
      {"Ctrl-C", senhas, {SIGINT, maquina2}, 130, resumo, "fim: sinal SIGINT; " + resumo},
      {"SIGTERM", senhas, {SIGTERM, maquina2}, 143, resumo, "fim: sinal SIGTERM; " + resumo},
      {"hang-up", senhas, {SIGHUP, maquina2}, 129, resumo, "fim: sinal SIGHUP; " + resumo},
      {"closed pipe",
       {"/bin/bash", "-c", p + " atualizarEmMassa 1 Senhas coleta/disco.py | head -n 3; exit ${PIPESTATUS[0]}"},
       {}, 141, "", "fim: sinal SIGPIPE (a saída padrão foi fechada); Resumo: 10 máquinas, "},
      {"Ctrl-C at the prompt", duplo, {SIGINT, "(ou 'sair'): "}, 130, "",
       "fim: sinal SIGINT; nenhuma máquina tratada"},
      {"end of input at the prompt", duplo, {}, 1, "",
       "fim: falha na seleção de máquinas: seleção interrompida; nenhuma máquina tratada"},
  };
  for (const auto& c : casos) {
    SCOPED_TRACE(c.nome);
    const std::size_t antes = apoio::lerArquivo(estado() + "/syslog.log").size();
    const auto r = rodarComando(c.argv, "", c.sinal);
    EXPECT_EQ(r.status, c.status) << r.erro;
    // Generous: a connect ahead waited out would take its 10 s.
    EXPECT_LT(r.aposSinal, 5.0);
    const auto ls = linhas(r.saida);
    if (c.resumo.empty())
      EXPECT_EQ(r.saida.find("Resumo:"), std::string::npos) << r.saida;
    else
      EXPECT_EQ(ls.empty() ? "" : ls.back(), Y + c.resumo + R) << r.saida;
    EXPECT_NE(registrosAte(antes, c.registro).find(c.registro), std::string::npos);
    if (c.argv == duplo) continue;
    int ultima = -1;  // the last machine announced
    for (const auto& l : ls)
      if (l.find(" Cliente: ") != std::string::npos) ultima = std::stoi(l);
    ASSERT_GE(ultima, 0) << "cut before the first machine: " << r.saida;
    for (int i = ultima + 1; i <= 9; ++i) {
      const std::string m = i == 9 ? "s-lento" : "s-" + std::to_string(i);
      EXPECT_EQ(conteudo(m, "disco.py"), kAntigo) << m << " was touched";
    }
    // The next case starts from old scripts again.
    for (int i = 0; i <= ultima; ++i)
      std::ofstream((pasta(i == 9 ? "s-lento" : "s-" + std::to_string(i)) / "disco.py").string())
          << kAntigo;
  }
}

TEST(AtualizacaoLab, ShellQueSaiLogoEncerraARodada) {
  const auto r = rodar("Saida");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.saida.find("\nSSH error: "), std::string::npos) << r.saida;
  EXPECT_EQ(r.saida.find("192.0.0.86"), std::string::npos);
  EXPECT_EQ(conteudo("x-depois", "disco.py"), kAntigo);
}

// Every machine of the customer updated, with the report of the strict
// sequence, whatever connect-ahead meets: a customer with two managers
// (treated twice) on machines that allow one login at a time, and idle
// limits (TMOUT, ClientAlive) on machines waiting behind a slow one; and
// whatever the reads meet: a listing that comes one byte at a time, and
// one paged over three screens.
TEST(AtualizacaoLab, ClienteAtualizadoPorInteiro) {
  struct Caso {
    std::string tipo, cliente;
    std::vector<std::string> destinos;
    std::string listagem = "disco";  // in each first listing
  };
  const std::vector<Caso> casos = {
      {"Duplo", "6001 - Duplo Teste", {"192.0.0.90", "192.0.0.91", "192.0.0.90", "192.0.0.91"}},
      {"Unico", "8701 - Unico Teste", {"192.0.0.117", "192.0.0.118", "192.0.0.117", "192.0.0.118"}},
      {"Ocioso", "8601 - Ocioso Teste", {"192.0.0.126", "192.0.0.127", "192.0.0.116"}},
      {"Ritmo", "9001 - Ritmo Teste", {"192.0.0.97", "192.0.0.98"}, "ação-disco.py"},
  };
  for (const auto& c : casos) {
    const auto r = rodar(c.tipo);
    EXPECT_EQ(r.status, 0) << c.tipo << ": " << r.erro;
    std::vector<std::string> esperadas;
    for (std::size_t n = 0; n < c.destinos.size(); ++n)
      for (const auto& l : atualizada(std::to_string(n) + " Cliente: " + c.cliente +
                                          " | Atualizando " + c.destinos[n] + ":22",
                                      true, c.listagem))
        esperadas.push_back(l);
    const std::string n = std::to_string(c.destinos.size());
    esperadas.push_back(G + "Resumo: " + n + " máquinas, " + n + " atualizadas." + R);
    SCOPED_TRACE(c.tipo);
    compararLinhas(r.saida, esperadas);
  }
}

// A run that contacts no machine still ends with its summary. An empty
// selection is said, never a silent success: no manager, no customer of the
// type, a scope other than 1 or 2, "sair" with nothing chosen. NO_COLOR
// drops the colour sequences and nothing else. "listar" shows what the
// update would treat, in its order, and touches nothing.
TEST(AtualizacaoLab, RodadaSemContatoTerminaComResumo) {
  const std::string p = apoio::programa(), resumo = "Resumo: nenhuma máquina selecionada.";
  const std::string menu = "[1] manager - 192.0.0.90\n[2] manager - 192.0.0.91\n\nDigite qual VM "
                           "deseja subir (ou 'sair'): ";
  const std::string d = " Cliente: 6001 - Duplo Teste | 192.0.0.9";
  const std::vector<std::pair<std::string, std::string>> casos = {
      {p + " atualizarEmMassa 1 Vazio coleta/disco.py", Y + resumo + R},
      {p + " atualizarEmMassa 1 Inexistente coleta/disco.py", Y + resumo + R},
      {p + " atualizarEmMassa 3 Hospital coleta/disco.py", Y + resumo + R},
      {"echo sair | " + p + " atualizarEmMassa 2 Duplo coleta/disco.py",
       menu + "Nenhuma VM selecionada. Encerrando.\n" + Y + resumo + R},
      {"NO_COLOR=1 " + p + " atualizarEmMassa 1 Vazio coleta/disco.py", resumo},
      {"NO_COLOR= " + p + " atualizarEmMassa 1 Vazio coleta/disco.py", Y + resumo + R},  // empty
      {p + " listar 1 Duplo coleta/disco.py",
       "0" + d + "0:22\n1" + d + "1:22\n2" + d + "0:22\n3" + d + "1:22\n" + Y +
           "Resumo: 4 máquinas selecionadas, 4 com IP público. Nenhuma foi contatada." + R},
      {"echo 2 | " + p + " listar 2 Duplo coleta/disco.py",
       menu + "0" + d + "1:22\n" + Y +
           "Resumo: 1 máquina selecionada, 1 com IP público. Nenhuma foi contatada." + R},
      {p + " listar 1 Vazio coleta/disco.py", Y + resumo + R},
  };
  const std::size_t pedidos = apoio::pedidos().size();
  const auto sshd = [] {
    return apoio::lerArquivo(estado() + "/machines/d-1/sshd.log") +
           apoio::lerArquivo(estado() + "/machines/d-2/sshd.log");
  };
  const std::string sshdAntes = sshd();
  for (const auto& [comando, saida] : casos) {
    const auto r = rodarComando({"/bin/sh", "-c", comando});
    EXPECT_EQ(r.status, 0) << comando;
    EXPECT_EQ(r.saida, saida + "\n") << comando;
    EXPECT_EQ(r.erro, "") << comando;
  }
  EXPECT_EQ(conteudo("v-1", "disco.py"), kAntigo);
  EXPECT_EQ(sshd(), sshdAntes) << "an appliance was contacted";
  for (std::size_t i = pedidos; i < apoio::pedidos().size(); ++i)
    EXPECT_FALSE(apoio::pedidos()[i]["path"].get<std::string>().starts_with("/python"))
        << "the repository was asked";
}

// A path that names no file, or that the remote commands would read as the
// folder, its parent or an option, is refused before the login: one line
// on standard error, and nothing asked of the API or of any machine.
TEST(AtualizacaoLab, CaminhoRecusadoAntesDeTudo) {
  const std::vector<std::pair<std::string, std::string>> casos = {
      {"", "não termina num nome de arquivo"},
      {"coleta/", "não termina num nome de arquivo"},
      {"coleta/..", "componente \".\" ou \"..\""},
      {"./disco.py", "componente \".\" ou \"..\""},
      {"coleta/-r", "começa com \"-\""},
      {"/coleta/disco.py", "é absoluto"},
      {"coleta/a\nb.py", "\"coleta/a\\x0ab.py\" tem um caractere nulo ou uma quebra de linha"},
      {"coleta/a\rb.py", "\"coleta/a\\x0db.py\" tem um caractere nulo ou uma quebra de linha"},
  };
  const std::size_t antes = apoio::lerArquivo(estado() + "/requests.jsonl").size();
  for (const auto& [caminho, motivo] : casos) {
    const auto r = rodar("Hospital", caminho);
    EXPECT_EQ(r.status, 1) << caminho;
    EXPECT_EQ(r.saida, "") << caminho;
    EXPECT_EQ(std::count(r.erro.begin(), r.erro.end(), '\n'), 1) << r.erro;
    EXPECT_NE(r.erro.find(motivo), std::string::npos) << r.erro;
  }
  EXPECT_EQ(apoio::lerArquivo(estado() + "/requests.jsonl").size(), antes) << "a request was made";
}

TEST(AtualizacaoLab, SelecaoInterativaEscolheUmaMaquina) {
  const auto r = rodar("Duplo", "coleta/disco.py", "2", "2\n");
  EXPECT_EQ(r.status, 0) << r.erro;
  const std::string inicio =
      "[1] manager - 192.0.0.90\n[2] manager - 192.0.0.91\n\nDigite qual VM deseja subir (ou 'sair'): "
      "0 Cliente: 6001 - Duplo Teste | Atualizando 192.0.0.91:22\n";
  EXPECT_EQ(r.saida.substr(0, inicio.size()), inicio);
  EXPECT_EQ(linhas(r.saida).size(), 9u);
}

// The lines written for one machine, from its announcement to the next.
std::vector<std::string> secao(const std::string& saida, const std::string& destino) {
  std::vector<std::string> todas = linhas(saida), achadas;
  bool dentro = false;
  for (const auto& l : todas) {
    const bool anuncio =
        l.find(" Cliente: ") != std::string::npos && l.find(" | Atualizando ") != std::string::npos;
    if (anuncio) dentro = l.ends_with("| Atualizando " + destino);
    if (dentro) achadas.push_back(l);
  }
  return achadas;
}

bool falhaMostrada(const std::string& saida, const std::string& destino) {
  const auto s = secao(saida, destino);
  return std::find(s.begin(), s.end(), kFalhaDownload) != s.end();
}

// The processes whose command line held a password, read every 10 ms during
// `rodada` (a root password given to a program, such as mksh's printf, which
// the mksh machine makes slow, would show there to every local user).
std::vector<std::string> argumentosComSenha(const std::function<void()>& rodada) {
  static const auto senhas = senhasDoMundo();
  std::vector<std::string> vistos;
  std::atomic<bool> fim = false;
  std::thread vigia([&] {
    for (std::error_code erro; !fim; erro.clear(), std::this_thread::sleep_for(10ms))
      for (fs::directory_iterator p("/proc", erro), ultimo; !erro && p != ultimo; p.increment(erro)) {
        const std::string argumentos = apoio::lerArquivo((p->path() / "cmdline").string());
        for (const auto& senha : senhas)
          if (argumentos.find(senha) != std::string::npos) vistos.push_back(p->path());
      }
  });
  rodada();
  fim = true;
  vigia.join();
  return vistos;
}

// Secrets: a root password holding "Senha" and colons, a script named
// Senha.py, an account whose shell is sh, a repository that stalls 22 s;
// "Concha": the login shells customers use, with the histories, DEBUG trap
// and prompt log their profiles keep, and su in English. The root password
// reaches su only through a read the shell confirmed: no typed line, no
// process argument holds it; shells that cannot confirm one (tcsh, fish)
// fail without it. rodar() checks every run for typed lines and passwords
// on the console, in the homes (histories and logs too) and in the
// download addresses.
TEST(AtualizacaoLab, SegredosNaoAparecemNemFicamNasMaquinas) {
  struct Caso {
    std::string pasta, maquina, destino, arquivo, conteudo;
    bool falha;
    std::string tipo = "Segredo";
    std::string recusa = "";  ///< the machine's only line after its announcement
  };
  const std::string problema = Y + "Problema na execução dos comandos SSH." + R;
  const std::vector<Caso> casos = {
      {"coleta/disco.py", "sg-senha", "192.0.0.100:22", "disco.py", corpo("3.8.10"), false},
      {"coleta/disco.py", "sg-lento", "192.0.0.101:22", "disco.py", kAntigo, true},
      {"coleta/disco.py", "sg-sh", "192.0.0.102:22", "disco.py", corpo("3.8.10"), false},
      {"coleta/Senha.py", "sg-nome", "192.0.0.103:22", "Senha.py",
       corpo("3.8.10", "coleta/Senha.py"), false},
      // 250 bytes of path, on dash: the typed line stays under the terminal's.
      {"coleta/" + kLongo, "sg-longo", "192.0.0.96:22", kLongo, corpo("3.8.10", "coleta/" + kLongo),
       false},
      {"coleta/disco.py", "sg-bash-trap", "192.0.0.61:22", "disco.py", corpo("3.8.10"), false, "Concha"},
      {"coleta/disco.py", "sg-ksh", "192.0.0.62:22", "disco.py", corpo("3.8.10"), false, "Concha"},
      {"coleta/disco.py", "sg-mksh", "192.0.0.63:22", "disco.py", corpo("3.8.10"), false, "Concha"},
      {"coleta/disco.py", "sg-zsh", "192.0.0.64:22", "disco.py", corpo("3.8.10"), false, "Concha"},
      {"coleta/disco.py", "sg-tcsh", "192.0.0.65:22", "disco.py", kAntigo, false, "Concha", problema},
      {"coleta/disco.py", "sg-fish", "192.0.0.66:22", "disco.py", kAntigo, false, "Concha", problema},
      {"coleta/disco.py", "sg-ingles", "192.0.0.67:22", "disco.py", corpo("3.8.10"), false, "Concha"},
      {"coleta/disco.py", "sg-ingles-root", "192.0.0.68:22", "disco.py", kAntigo, false, "Concha",
       Y + "Falha de autenticação." + R},
  };
  std::map<std::string, apoio::Resultado> rodadas;
  for (const auto& c : casos) {
    if (rodadas.count(c.tipo + c.pasta)) continue;
    const auto rodada = [&] { rodadas[c.tipo + c.pasta] = rodar(c.tipo, c.pasta); };
    EXPECT_EQ(argumentosComSenha(rodada), std::vector<std::string>{}) << "password in arguments";
  }
  for (const auto& c : casos) {
    const auto& r = rodadas[c.tipo + c.pasta];
    EXPECT_EQ(r.status, 0) << r.erro;
    EXPECT_EQ(conteudo(c.maquina, c.arquivo), c.conteudo) << c.maquina;
    const auto s = secao(r.saida, c.destino);
    if (!c.recusa.empty()) {
      ASSERT_GE(s.size(), 2u) << c.maquina << "\n" << r.saida;
      EXPECT_EQ(s[1], c.recusa) << c.maquina;
      EXPECT_TRUE(s.size() == 2 || s[2].find("Resumo: ") != std::string::npos) << c.maquina;
      continue;
    }
    ASSERT_GE(s.size(), 5u) << c.maquina << "\n" << r.saida;
    EXPECT_TRUE(s[3].starts_with("Informações de Download: --")) << c.maquina << ": " << s[3];
    EXPECT_EQ(falhaMostrada(r.saida, c.destino), c.falha) << c.maquina << "\n" << r.saida;
  }
}

struct stat estadoDe(const fs::path& caminho) {
  struct stat st {};
  EXPECT_EQ(stat(caminho.c_str(), &st), 0) << caminho;
  return st;
}

// The script is replaced whole, keeping its owner, group and mode (through a
// symlink, its target's), or kept as it was with a failure line; nothing of
// a cut run stays. The "Corte" run is cut by `| head -n 3` right after the
// download, before chmod; the "Interrompido" one by Ctrl-C during it.
TEST(AtualizacaoLab, SubstituicaoGuardaOScriptEAtributos) {
  const auto r = rodar("Troca");
  EXPECT_EQ(r.status, 0) << r.erro;
  const auto cortada =
      rodarComando({"/bin/sh", "-c",
                    apoio::programa() + " atualizarEmMassa 1 Corte coleta/disco.py | head -n 3"});
  EXPECT_EQ(linhas(cortada.saida).size(), 3u) << cortada.saida;
  // Ctrl-C while the repository stalls; the machine's wget gives up on its own.
  rodarComando({"/bin/sh", "-c",
                "timeout -s INT 5 " + apoio::programa() +
                    " atualizarEmMassa 1 Interrompido coleta/disco.py; sleep 10"});
  // Cut after the download too, on a 0644 script.
  rodarComando({"/bin/sh", "-c",
                apoio::programa() + " atualizarEmMassa 1 Executavel coleta/disco.py | head -n 3"});
  struct Caso {
    std::string maquina, destino, arquivo, conteudo;
    unsigned dono, modo;
    bool falha;
  };
  const std::vector<Caso> casos = {
      {"tr-dono", "192.0.0.104:22", "disco.py", corpo("3.8.10"), 1997, 0750, false},
      // chmod +x (umask 022) then adds o+x, as it always did.
      {"tr-link", "192.0.0.105:22", "versoes/disco-2.py", corpo("3.8.10"), 1997, 0751, false},
      {"tr-404", "192.0.0.106:22", "disco.py", kAntigo, 0, 0755, true},
      {"tr-500", "192.0.0.107:22", "disco.py", kAntigo, 0, 0755, true},
      {"tr-cheio", "192.0.0.108:22", "disco.py", kAntigo, 0, 0755, true},
      {"tr-resto", "192.0.0.109:22", "disco.py", corpo("3.8.10"), 0, 0755, false},
      // Cut before chmod +x, yet with the bits it gives (umask 022), as a whole run.
      {"co-1", "", "disco.py", corpo("3.8.10"), 1997, 0751, false},
      {"co-2", "", "disco.py", kAntigo, 0, 0644, false},
      {"co-3", "", "disco.py", corpo("3.8.10"), 0, 0755, false},
      // Headers after 3 s, then a stall; a wget killed; read-only HISTFILE.
      {"tr-estanca", "192.0.0.120:22", "disco.py", kAntigo, 0, 0755, true},
      {"tr-morto", "192.0.0.121:22", "disco.py", kAntigo, 0, 0755, true},
      {"tr-hist-bash", "192.0.0.122:22", "disco.py", corpo("3.8.10"), 0, 0755, false},
      {"tr-hist-dash", "192.0.0.123:22", "disco.py", corpo("3.8.10"), 0, 0755, false},
      {"tr-hist-rbash", "192.0.0.124:22", "disco.py", corpo("3.8.10"), 0, 0755, false},
      // busybox's cp, mktemp, readlink, timeout, base64 and wget, through a
      // link; no readlink, through a link; a named pipe called wget-log.
      {"tr-busybox", "192.0.0.72:22", "versoes/disco-2.py", corpo("3.8.10"), 0, 0755, false},
      {"tr-sem-readlink", "192.0.0.73:22", "versoes/disco-2.py", kAntigo, 0, 0755, true},
      {"tr-fifo", "192.0.0.74:22", "disco.py", corpo("3.8.10"), 0, 0755, false},
  };
  for (const auto& c : casos) {
    EXPECT_EQ(conteudo(c.maquina, c.arquivo), c.conteudo) << c.maquina;
    const struct stat st = estadoDe(pasta(c.maquina) / c.arquivo);
    EXPECT_EQ(st.st_uid, c.dono) << c.maquina;
    EXPECT_EQ(st.st_gid, c.dono) << c.maquina;
    EXPECT_EQ(st.st_mode & 07777, c.modo) << c.maquina;
    if (!c.destino.empty()) {
      EXPECT_EQ(falhaMostrada(r.saida, c.destino), c.falha) << c.maquina << "\n" << r.saida;
    }
  }
  for (const char* m : {"tr-link", "tr-busybox", "tr-sem-readlink"})
    EXPECT_TRUE(fs::is_symlink(pasta(m) / "disco.py")) << m;
  EXPECT_EQ(secao(r.saida, "192.0.0.73:22").at(3), "Informações de Download: falta o comando readlink");
  // Only the tool's own temporary files, once older than any live run, are
  // removed: another version's leftover, a wget-log, a named pipe stay, and
  // no root process is left reading one.
  EXPECT_TRUE(fs::exists(pasta("tr-resto") / ".disco.py.download"));
  EXPECT_TRUE(fs::exists("/run/lab/m/tr-resto/home/suporte/wget-log"));
  for (const auto& p : fs::directory_iterator("/proc"))
    EXPECT_NE(apoio::lerArquivo((p.path() / "comm").string()), "grep\n") << p.path();
}

// Control characters in a customer name (from the API) and in a file name
// (from the machine) reach the terminal made visible; the tool's own colour
// sequences stay.
TEST(AtualizacaoLab, TextoDeForaChegaVisivelAoTerminal) {
  const auto r = rodar("Escape");
  EXPECT_EQ(r.status, 0) << r.erro;
  std::string resto = r.saida;
  for (const std::string cor : {"\x1b[0;32m", "\x1b[0;93m", "\x1b[0;0m"})
    resto = semTodas(resto, cor);
  for (std::size_t i = 0; i < resto.size(); ++i) {
    const auto b = static_cast<unsigned char>(resto[i]);
    EXPECT_FALSE((b < 0x20 && b != '\n' && b != '\t') || b == 0x7f) << "control byte at " << i;
    EXPECT_FALSE(b == 0xc2 && i + 1 < resto.size() &&
                 static_cast<unsigned char>(resto[i + 1]) < 0xa0 &&
                 static_cast<unsigned char>(resto[i + 1]) >= 0x80)
        << "C1 control at " << i;
  }
  EXPECT_NE(r.saida.find("Escape \\x1b]0;titulo\\x07\\x1b[2J\\u009b31m | Atualizando"),
            std::string::npos)
      << r.saida;
  EXPECT_NE(r.saida.find("disco.py\\x1b]52;c;ZXZpbA==\\x07"), std::string::npos) << r.saida;
}

// Two runs on one machine at once (a re-run started while the first one
// still downloads): the script is whole, and both runs replaced it.
// Two runs at once on one machine; in the second case on two scripts, with
// the repository's old Last-Modified and a cp that takes 3 s: neither
// run's cleanup takes the other's download.
TEST(AtualizacaoLab, SobreposicaoDeRodadasDeixaOScriptInteiro) {
  struct Caso {
    std::string primeira, segunda, maquina;
    std::vector<std::pair<std::string, std::string>> scripts;  ///< file, content
  };
  const std::string p = apoio::programa() + " atualizarEmMassa 1 ";
  const std::vector<Caso> casos = {
      {p + "Sobreposto lento/disco.py", p + "Sobreposto lento/disco.py", "ov-1",
       {{"disco.py", corpo("3.8.10", "lento/disco.py")}}},
      {p + "Antigo coleta/disco.py", p + "Antigo coleta/memoria.py", "ov-2",
       {{"disco.py", corpo("3.8.10")}, {"memoria.py", corpo("3.8.10", "coleta/memoria.py")}}},
  };
  for (const auto& c : casos) {
    const auto r = rodarComando({"/bin/sh", "-c", c.primeira + " & p=$!; sleep 1.6; " + c.segunda +
                                                      "; s=$?; wait $p; exit $((s | $?))"});
    EXPECT_EQ(r.status, 0) << r.erro;
    const auto ls = linhas(r.saida);
    EXPECT_EQ(std::count(ls.begin(), ls.end(), G + "Código encontrado. Atualizando..." + R), 2);
    EXPECT_EQ(std::count(ls.begin(), ls.end(), kFalhaDownload), 0) << r.saida;
    for (const auto& [arquivo, texto] : c.scripts)
      EXPECT_EQ(conteudo(c.maquina, arquivo), texto) << c.maquina << " " << arquivo;
  }
}

// A key recorded in the operator's known_hosts (plain or hashed) is held
// to: a machine whose key differs gets no password, and the run goes on.
TEST(AtualizacaoLab, ChaveRegistradaDiferenteNaoRecebeSenha) {
  // {machine, address, its entry: kh-certa's key, plain or hashed; an ECDSA
  // key, where the machine has only ed25519; "" its own key}
  const std::vector<std::array<std::string, 3>> casos = {{"kh-errada", "192.0.0.92", "plain"},
                                                         {"kh-hash", "192.0.0.93", "-H"},
                                                         {"kh-outro-tipo", "192.0.0.99", "ecdsa"},
                                                         {"kh-certa", "192.0.0.94", ""}};
  const std::string registro = "/root/.ssh/known_hosts", linha = registro + ".1";
  fs::create_directories("/root/.ssh");
  for (const auto& [maquina, ip, forma] : casos) {
    const std::string k = forma == "ecdsa" ? linha + ".k" : "/run/lab/m/kh-certa/ssh_host_ed25519_key";
    std::string comando = forma == "ecdsa" ? "rm -f " + k + "* && ssh-keygen -q -t ecdsa -N '' -f " + k + " && " : "";
    comando += "printf '%s ' " + ip + " | cat - " + k + ".pub >" + linha;
    if (forma == "-H") comando += " && ssh-keygen -q -H -f " + linha;
    apoio::executar({"/bin/sh", "-c", comando + " && cat " + linha + " >> " + registro});
  }
  const auto r = rodar("Chave");
  fs::remove(registro);
  EXPECT_EQ(r.status, 0) << r.erro;
  for (const auto& [maquina, ip, forma] : casos) {
    const auto s = secao(r.saida, ip + ":22");
    ASSERT_GE(s.size(), 2u) << r.saida;
    const bool recusada = !forma.empty();
    EXPECT_EQ(s[1] == Y + "Chave do servidor " + ip + ":22 difere da registrada em known_hosts. "
                              "Não é possível atualizar." + R, recusada) << s[1];
    EXPECT_EQ(conteudo(maquina, "disco.py"), recusada ? kAntigo : corpo("3.8.10"));
    const std::string log = apoio::lerArquivo(estado() + "/machines/" + maquina + "/sshd.log");
    EXPECT_EQ(log.find("password for") == std::string::npos, recusada) << maquina << "\n" << log;
  }
}

// A report that cannot be written ends the run (status 1, one line on
// standard error) before the next machine is touched.
TEST(AtualizacaoLab, RelatorioQueNaoPodeSerEscritoEncerraARodada) {
  const std::string p = apoio::programa();
  for (const std::string& comando : {p + " version x x x >/dev/full",
                                     p + " atualizarEmMassa 1 Relatorio coleta/disco.py >/dev/full",
                                     p + " atualizarEmMassa 1 Relatorio coleta/disco.py >&-"}) {
    const auto r = rodarComando({"/bin/sh", "-c", comando});
    EXPECT_EQ(r.status, 1) << comando;
    EXPECT_EQ(std::count(r.erro.begin(), r.erro.end(), '\n'), 1) << comando << ": " << r.erro;
  }
  EXPECT_EQ(conteudo("rl-1", "disco.py"), kAntigo);
}

// sshd asking for the password only through keyboard-interactive (PAM);
// then a host that accepts TCP and says nothing. The record tells the two
// refusals apart.
TEST(AtualizacaoLab, SenhaPedidaPorTecladoInterativo) {
  const std::size_t antes = apoio::lerArquivo(estado() + "/syslog.log").size();
  const auto r = rodar("Pam");
  EXPECT_EQ(r.status, 0) << r.erro;
  const std::string c = "Cliente: 8501 - Pam Teste | Atualizando ";
  compararLinhas(
      r.saida,
      concatenar({atualizada("0 " + c + "192.0.0.113:22"),
                  {"1 " + c + "192.0.0.114:22", Y + "Erro ao conectar em 192.0.0.114:22." + R,
                   "2 " + c + "192.0.0.28:22", Y + "Erro ao conectar em 192.0.0.28:22." + R,
                   Y + "Resumo: 3 máquinas, 1 atualizada, 2 não atualizadas (2 erro ao conectar)." + R}}));
  const std::string registros = registrosAte(antes, "fim: regular");
  for (const std::string registro : {"192.0.0.114:22: erro ao conectar (senha recusada)",
                                     "192.0.0.28:22: erro ao conectar (sem resposta em 10 s)"})
    EXPECT_NE(registros.find(registro), std::string::npos) << registros;
  EXPECT_EQ(conteudo("pam-ok", "disco.py"), corpo("3.8.10"));
  EXPECT_EQ(conteudo("pam-errada", "disco.py"), kAntigo);
}

}  // namespace
