// The mass update end to end: the production program inside a lab world of
// real sshd appliances, a real su and a real HTTPS repository. Each test
// picks its machines through the customer type (the first word of the
// customer's name in the world file).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/apoio/processo.hpp"

namespace {

namespace fs = std::filesystem;

const std::string Y = "\x1b[0;93m ";
const std::string G = "\x1b[0;32m ";
const std::string R = " \x1b[0;0m";

std::string estado() {
  const char* valor = std::getenv("LAB_STATE");
  return valor ? valor : "";
}

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

// Every password of the world: none may show in what the program prints.
std::vector<std::string> senhasDoMundo() {
  std::ifstream arquivo(ATUALIZACAO_FONTES "/tests/workflow/mundo_atualizacao.json");
  const auto mundo = nlohmann::json::parse(arquivo);
  std::vector<std::string> senhas;
  for (const auto& m : mundo["machines"]) {
    senhas.push_back(m["password"]);
    senhas.push_back(m["root_password"]);
    if (m.contains("entry"))
      for (const char* chave : {"senhaVm", "senhaRoot"})
        if (m["entry"].contains(chave)) senhas.push_back(m["entry"][chave]);
  }
  return senhas;
}

apoio::Resultado rodar(const std::string& tipo, const std::string& pastaCodigo = "coleta/disco.py",
                       const std::string& escopo = "1", const std::string& entrada = "") {
  auto r = apoio::executar({apoio::programa(), "atualizarEmMassa", escopo, tipo, pastaCodigo}, entrada);
  EXPECT_FALSE(r.expirou);
  static const auto senhas = senhasDoMundo();
  for (const auto& senha : senhas) {
    EXPECT_EQ(r.saida.find(senha), std::string::npos) << "password on stdout: " << senha;
    EXPECT_EQ(r.erro.find(senha), std::string::npos) << "password on stderr: " << senha;
  }
  return r;
}

std::vector<std::string> linhas(const std::string& texto) {
  std::vector<std::string> saida;
  std::istringstream entrada(texto);
  for (std::string linha; std::getline(entrada, linha);) saida.push_back(linha);
  return saida;
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

std::vector<std::string> atualizada(const std::string& anuncio, bool presente = true) {
  return {anuncio, "~Lista de códigos encontrados: |disco",
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
  const auto r = rodar("Hospital");
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
                 }));

  EXPECT_EQ(conteudo("h-atualiza", "disco.py"), corpo("3.8.10"));
  EXPECT_TRUE(executavel("h-atualiza", "disco.py"));
  EXPECT_EQ(conteudo("h-atualiza", "memoria.py"), "# memoria\n");
  EXPECT_EQ(conteudo("h-parecido", "disco.py"), corpo("3.6.9"));
  EXPECT_EQ(conteudo("h-parecido", "disco-py.antigo"), "# copia\n");
  EXPECT_EQ(conteudo("h-bak", "disco.py"), corpo("3.8.10"));
  EXPECT_EQ(conteudo("h-ipv6", "disco.py"), corpo("3.11.2"));
  EXPECT_EQ(conteudo("h-curto", "disco.py"), corpo("3.10.12"));
  EXPECT_TRUE(executavel("h-curto", "disco.py"));
  // Refused machines are untouched.
  for (const char* m : {"h-senha-ssh", "h-root-errado", "h-database"})
    EXPECT_EQ(conteudo(m, "disco.py"), kAntigo) << m;
  EXPECT_FALSE(executavel("h-root-errado", "disco.py"));
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
  EXPECT_EQ(conteudo("i-subst", "$(touch INJETADO).py"), corpo("3.8.10", "coleta/$(touch INJETADO).py"));
  for (const char* m : {"i-ponto-virgula", "i-subst"}) {
    EXPECT_FALSE(fs::exists(pasta(m) / "INJETADO")) << m;
    EXPECT_FALSE(fs::exists(pasta(m) / ".py")) << m;
  }
}

TEST(AtualizacaoLab, ConexaoQueCaiNoMeioEncerraARodada) {
  const auto r = rodar("Quebra");
  EXPECT_EQ(r.status, 1);
  const auto ls = linhas(r.saida);
  ASSERT_GE(ls.size(), 3u);
  EXPECT_NE(r.saida.find("1 Cliente: 5001 - Quebra Teste | Atualizando 192.0.0.81:22"), std::string::npos);
  EXPECT_EQ(ls.back().rfind("SSH error: ", 0), 0u) << r.saida;
  EXPECT_EQ(r.saida.find("192.0.0.82"), std::string::npos) << "the next machine stays untreated";
  EXPECT_EQ(conteudo("q-ok", "disco.py"), corpo("3.8.10"));
  EXPECT_EQ(conteudo("q-depois", "disco.py"), kAntigo);
  EXPECT_EQ(std::count(r.erro.begin(), r.erro.end(), '\n'), 1) << "one diagnostic line: " << r.erro;
  EXPECT_NE(r.erro.find("192.0.0.81"), std::string::npos) << r.erro;
}

// An operator's Ctrl-C, or a reader that goes away, ends the run where it
// is: the sessions opened ahead for the next machines go with it, and no
// machine after the last one announced is touched.
TEST(AtualizacaoLab, ConexoesAntecipadasMorremComARodadaInterrompida) {
  const std::string comando = apoio::programa() + " atualizarEmMassa 1 Senhas coleta/disco.py";
  const std::vector<std::pair<std::string, std::vector<std::string>>> casos = {
      {"Ctrl-C", {"/usr/bin/timeout", "-s", "INT", "--preserve-status", "3", apoio::programa(),
                  "atualizarEmMassa", "1", "Senhas", "coleta/disco.py"}},
      {"closed pipe", {"/bin/sh", "-c", comando + " | head -n 3"}},
  };
  for (const auto& [nome, argv] : casos) {
    const auto r = apoio::executar(argv);
    const auto ls = linhas(r.saida);
    int ultima = -1;  // the last machine announced
    for (const auto& l : ls)
      if (l.find(" Cliente: ") != std::string::npos) ultima = std::stoi(l);
    ASSERT_GE(ultima, 0) << nome << ": cut before the first machine: " << r.saida;
    ASSERT_LT(ultima, 9) << nome << ": cut after the last machine";
    for (int i = ultima + 1; i <= 9; ++i) {
      const std::string m = i == 9 ? "s-lento" : "s-" + std::to_string(i);
      EXPECT_EQ(conteudo(m, "disco.py"), kAntigo) << nome << ": " << m << " was touched";
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

TEST(AtualizacaoLab, ClienteComDoisManagersETratadoDuasVezes) {
  const auto r = rodar("Duplo");
  EXPECT_EQ(r.status, 0) << r.erro;
  const std::string c = "Cliente: 6001 - Duplo Teste | Atualizando ";
  compararLinhas(r.saida, concatenar({atualizada("0 " + c + "192.0.0.90:22"),
                                      atualizada("1 " + c + "192.0.0.91:22"),
                                      atualizada("2 " + c + "192.0.0.90:22"),
                                      atualizada("3 " + c + "192.0.0.91:22")}));
}

TEST(AtualizacaoLab, SelecaoVaziaTerminaSemSaida) {
  const auto r = rodar("Vazio");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.saida, "");
  EXPECT_EQ(r.erro, "");
  EXPECT_EQ(conteudo("v-1", "disco.py"), kAntigo);
}

TEST(AtualizacaoLab, SelecaoInterativaEscolheUmaMaquina) {
  const auto r = rodar("Duplo", "coleta/disco.py", "2", "2\n");
  EXPECT_EQ(r.status, 0) << r.erro;
  const std::string inicio =
      "[1] manager - 192.0.0.90\n[2] manager - 192.0.0.91\n\nDigite qual VM deseja subir (ou 'sair'): "
      "0 Cliente: 6001 - Duplo Teste | Atualizando 192.0.0.91:22\n";
  EXPECT_EQ(r.saida.substr(0, inicio.size()), inicio);
  EXPECT_EQ(linhas(r.saida).size(), 8u);
}

}  // namespace
