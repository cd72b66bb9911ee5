// The per-machine procedure's decisions, with scripted sessions standing in
// for the machines; the real sessions are exercised in the lab suites.
#include "UTILITARIOS/workflow/procedimento.hpp"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

#include "UTILITARIOS/falhas.hpp"
#include "UTILITARIOS/workflow/comandos_remotos.hpp"
#include "tests/apoio/processo.hpp"
#include "tests/apoio/sessao_roteirizada.hpp"

namespace {

using workflow::RegistroMaquina;

const std::string Y = "\x1b[0;93m";
const std::string G = "\x1b[0;32m";
const std::string R = "\x1b[0;0m";
const std::string kDir = "/var/lib/docker/volumes/korvax_externalscripts/_data/";

struct Cenario {
  apoio::Diario diario;
  std::map<std::string, apoio::Roteiro>& roteiros = diario.roteiros;  // by host
  std::deque<apoio::Diario::Sessao>& registros = diario.sessoes;
  std::string saida;
  std::vector<std::string> auditoria;  // the records, in order

  void rodar(const std::vector<RegistroMaquina>& registros,
             const std::string& pasta = "coleta/disco.py", std::streambuf* leitor = nullptr) {
    std::vector<const RegistroMaquina*> maquinas;
    for (const auto& r : registros) maquinas.push_back(&r);
    std::ostringstream relatorio;
    if (leitor != nullptr) relatorio.std::ios::rdbuf(leitor);
    try {
      workflow::atualizarMaquinas(maquinas, pasta.substr(pasta.rfind('/') + 1), pasta,
                                  diario.fabrica(), relatorio,
                                  [&](std::string_view r) { auditoria.emplace_back(r); });
    } catch (...) {
      saida = relatorio.str();
      throw;
    }
    saida = relatorio.str();
  }
};

// A port given as a C++ number becomes a JSON number, a text stays a text.
api::Valor porta(long long numero) { return api::Valor(nlohmann::ordered_json(numero)); }
api::Valor porta(const char* texto) { return api::Valor::deTexto(texto); }

RegistroMaquina maquina(const std::string& ip, api::Valor portaSsh = porta(22),
                        const std::string& cliente = "1021 - Hospital Central") {
  return {std::make_shared<const std::string>(cliente), api::Valor::deTexto("coletor"),
          api::Valor::deTexto(ip), std::move(portaSsh), api::Valor::deTexto("suporte"),
          api::Valor::deTexto("senha-ssh"), api::Valor::deTexto("raiz")};
}

// The shell program a typed download line carries as base64.
std::string scriptDoDownload(const std::string& linha) {
  const auto inicio = linha.find("echo ") + 5;
  const auto fim = linha.find('|', inicio);
  return apoio::executar({"/usr/bin/base64", "-d"}, linha.substr(inicio, fim - inicio)).saida;
}

std::string anuncio(int n, const std::string& destino,
                    const std::string& cliente = "1021 - Hospital Central") {
  return std::to_string(n) + " Cliente: " + cliente + " | Atualizando " + destino + "\n";
}

TEST(Procedimento, AtualizacaoCompletaEscreveCadaLinhaNaOrdem) {
  Cenario c;
  c.roteiros["192.0.0.20"].listagem = "-rwxr-xr-x 1 root root 9 Dec  8 1001 disco.py";
  c.roteiros["192.0.0.21"].listagem = "-rw-r--r-- 1 root root 5 Dec  8 1001 outro.py";
  c.rodar({maquina("192.0.0.20"), maquina("192.0.0.21", porta("2222"))});
  EXPECT_EQ(c.saida,
            anuncio(0, "192.0.0.20:22") +
                "Lista de códigos encontrados: -rwxr-xr-x 1 root root 9 Dec  8 1001 disco.py\n" + G +
                " Código encontrado. Atualizando... " + R + "\n" +
                "Informações de Download: Salvando em disco.py\n"
                "Informações de Permissão: -rwxr-xr-x 1 root root 10 Dec  8 1012 disco.py\n" +
                anuncio(1, "192.0.0.21:2222") +
                "Lista de códigos encontrados: -rw-r--r-- 1 root root 5 Dec  8 1001 outro.py\n" + G +
                " Código não encontrado. Baixando... " + R + "\n" +
                "Informações de Download: Salvando em disco.py\n"
                "Informações de Permissão: -rwxr-xr-x 1 root root 10 Dec  8 1012 disco.py\n" + G +
                " Resumo: 2 máquinas, 2 atualizadas. " + R + "\n");
  ASSERT_EQ(c.registros.size(), 2u);
  EXPECT_EQ(c.registros[1].port, 2222);
  EXPECT_EQ(c.registros[0].user, "suporte");
  EXPECT_EQ(c.registros[0].pwd, "senha-ssh");
  for (const auto& r : c.registros) EXPECT_GE(r.fechamentos, 1);
}

// With plain values the typed lines are the documented ones, feeding su
// from the shell function that holds the root password (handed to the
// session, never typed); only the download goes through a temporary file.
TEST(Procedimento, LinhasDigitadasComValoresSimples) {
  Cenario c;
  c.roteiros["192.0.0.20"].listagem = "disco.py";
  c.rodar({maquina("192.0.0.20")});
  const auto& cmds = c.registros.at(0).comandos;
  ASSERT_EQ(cmds.size(), 5u);
  EXPECT_EQ(c.registros.at(0).senhaRoot, "raiz");
  const std::string listagem = "zelvo_su su -c \"ls -lah " + kDir + " | grep disco.py\"";
  EXPECT_EQ(cmds[0], "zelvo_su su -c \"python3 --version\"");
  EXPECT_EQ(cmds[1], listagem);
  EXPECT_TRUE(cmds[2].starts_with("zelvo_su su -c \"echo ")) << cmds[2];
  EXPECT_NE(scriptDoDownload(cmds[2]).find(
                "url='https://scripts.zelvo.example/python3.8.10/coleta/disco.py'\n"),
            std::string::npos);
  EXPECT_EQ(cmds[3], "zelvo_su su -c \"chmod +x " + kDir + "disco.py\"");
  EXPECT_EQ(cmds[4], listagem);
}

TEST(Procedimento, TabelaDeDecisaoDaListagem) {
  struct Caso {
    std::string listagem, linha, causa;  // the cause as the summary names it
  };
  const std::vector<Caso> casos = {
      {"", Y + " Problema na execução dos comandos SSH. " + R, "problema na execução"},
      {" \n\t \r\n", Y + " Problema na execução dos comandos SSH. " + R, "problema na execução"},
      {"su Falha de autenticação", Y + " Falha de autenticação. " + R, "falha de autenticação"},
      {"Arquivo ou diretório inexistente\nsu Falha de autenticação", Y + " Falha de autenticação. " + R,
       "falha de autenticação"},
      {"ls não é possível acessar 'x' Arquivo ou diretório inexistente",
       Y + " Arquivo ou diretório inexistente. " + R, "diretório inexistente"},
      // An English su and ls, on a machine without Portuguese messages.
      {"su Authentication failure", Y + " Falha de autenticação. " + R, "falha de autenticação"},
      {"ls cannot access 'x' No such file or directory", Y + " Arquivo ou diretório inexistente. " + R,
       "diretório inexistente"},
      {"falha de autenticação", "", ""},  // case-sensitive: this is a listing
  };
  for (const auto& caso : casos) {
    Cenario c;
    c.roteiros["192.0.0.30"].listagem = caso.listagem;
    c.rodar({maquina("192.0.0.30")});
    const auto& reg = c.registros.at(0);
    if (caso.linha.empty()) {
      EXPECT_EQ(reg.comandos.size(), 5u) << caso.listagem;
      continue;
    }
    EXPECT_EQ(c.saida, anuncio(0, "192.0.0.30:22") + caso.linha + "\n" + Y +
                           " Resumo: 1 máquina, 0 atualizadas, 1 não atualizada (1 " + caso.causa +
                           "). " + R + "\n")
        << caso.listagem;
    EXPECT_EQ(reg.comandos.size(), 2u) << "no download after a refused listing";
    EXPECT_TRUE(c.auditoria.at(0).ends_with(": " + caso.causa)) << c.auditoria.at(0);
    EXPECT_EQ(reg.fechamentos, 1);
  }
}

// The file name is found by substring: a look-alike counts as present.
TEST(Procedimento, NomeParecidoContaComoPresente) {
  Cenario c;
  c.roteiros["192.0.0.31"].listagem = "-rw-r--r-- 1 root root 5 Dec 8 1001 disco.py.bak";
  c.rodar({maquina("192.0.0.31")});
  EXPECT_NE(c.saida.find("Código encontrado. Atualizando..."), std::string::npos);
}

// The summary counts each cause in its fixed order, whatever the machines'.
TEST(Procedimento, EnderecoNaoPublicoNaoConecta) {
  Cenario c;
  c.roteiros["192.0.0.40"].listagem = "disco.py";
  c.roteiros["192.0.0.41"].chaveDiferente = true;
  c.roteiros["192.0.0.42"].falhaConexao = true;
  c.rodar({maquina("10.0.0.5"), maquina("fe80::1"), maquina("nao-e-ip"), maquina("192.0.0.40"),
           maquina("192.0.0.41"), maquina("192.0.0.42")});
  EXPECT_EQ(c.saida.substr(0, c.saida.find("3 Cliente")),
            anuncio(0, "10.0.0.5:22") + Y + " IP 10.0.0.5 não é um IP público. Não é possível atualizar. " +
                R + "\n" + anuncio(1, "fe80::1:22") + Y +
                " IP fe80::1 não é um IP público. Não é possível atualizar. " + R + "\n" +
                anuncio(2, "nao-e-ip:22") + Y +
                " IP nao-e-ip não é um IP público. Não é possível atualizar. " + R + "\n");
  ASSERT_EQ(c.registros.size(), 3u) << "only the public machines get a session";
  EXPECT_EQ(c.registros[0].host, "192.0.0.40");
  EXPECT_NE(c.saida.find("Chave do servidor 192.0.0.41:22 difere da registrada"), std::string::npos);
  EXPECT_TRUE(c.saida.ends_with("6 máquinas, 1 atualizada, 5 não atualizadas (3 IP não público, 1 "
                                "erro ao conectar, 1 chave do servidor diferente). " + R + "\n"))
      << c.saida;
  EXPECT_TRUE(c.auditoria[4].ends_with(": chave do servidor diferente")) << c.auditoria[4];
  EXPECT_TRUE(c.auditoria[5].ends_with(": erro ao conectar (connection refused)")) << c.auditoria[5];
}

TEST(Procedimento, FalhaDeConexaoPulaAMaquinaComAPortaComoNumero) {
  Cenario c;
  c.roteiros["192.0.0.50"].falhaConexao = true;
  c.roteiros["192.0.0.51"].listagem = "disco.py";
  // Decimal integers beyond any int, as a text and as a number (2^32 + 22
  // must not wrap to 22), are ports that no connection can use.
  c.rodar({maquina("192.0.0.50", porta("022")), maquina("192.0.0.52", porta(70000)),
           maquina("192.0.0.53", porta("99999999999")), maquina("192.0.0.54", porta(4294967318LL)),
           maquina("192.0.0.51", porta(" 22")), maquina("192.0.0.55", porta(65535))});
  EXPECT_EQ(c.saida.substr(0, c.saida.find("4 Cliente")),
            anuncio(0, "192.0.0.50:22") + Y + " Erro ao conectar em 192.0.0.50:22. " + R + "\n" +
                anuncio(1, "192.0.0.52:70000") + Y + " Erro ao conectar em 192.0.0.52:70000. " + R +
                "\n" + anuncio(2, "192.0.0.53:99999999999") + Y +
                " Erro ao conectar em 192.0.0.53:99999999999. " + R + "\n" +
                anuncio(3, "192.0.0.54:4294967318") + Y +
                " Erro ao conectar em 192.0.0.54:4294967318. " + R + "\n");
  EXPECT_NE(c.saida.find(anuncio(4, "192.0.0.51:22") + "Lista de códigos"), std::string::npos);
  ASSERT_EQ(c.registros.size(), 3u) << "only 022, 22 and 65535 reach a session";
  EXPECT_EQ(c.registros[2].port, 65535);
  EXPECT_EQ(c.registros[0].fechamentos, 1) << "a failed connect is released";
}

// A report whose reader is gone by the time the summary comes.
struct SemResumo : std::streambuf {
  std::string escrito;
  int overflow(int c) override {
    escrito += static_cast<char>(c);
    return escrito.find("Resumo") == std::string::npos ? c : traits_type::eof();
  }
};

// The stage the diagnostic names is the one that failed, not the machine
// treated last.
TEST(Procedimento, TabelaDaEtapaQueEncerraARodada) {
  const std::vector<RegistroMaquina> portaRuim = {
      maquina("192.0.0.60"), maquina("192.0.0.61", porta(" 2222")),
      maquina("192.0.0.62", porta("22a")), maquina("192.0.0.63")};
  const struct {
    std::vector<RegistroMaquina> maquinas;
    bool semResumo;
    std::string diagnostico;
    std::size_t sessoes;
  } casos[] = {{portaRuim, false, "falha ao ler os dados da máquina 2: registro de máquina", 2},
               {{maquina("192.0.0.60")}, true, "falha ao escrever o resumo: relatório perdido", 1}};
  for (const auto& k : casos) {
    Cenario c;
    SemResumo perdido;
    c.roteiros["192.0.0.60"].listagem = "disco.py";
    std::ostringstream diagnostico;
    try {
      c.rodar(k.maquinas, "coleta/disco.py", k.semResumo ? &perdido : nullptr);
      ADD_FAILURE() << "the run went on";
    } catch (const falhas::Falha& e) {
      falhas::relatarFalhaFatal(e, diagnostico);
    }
    EXPECT_EQ(c.registros.size(), k.sessoes);
    EXPECT_EQ(c.saida.find("2 Cliente"), std::string::npos) << "nothing is written for it";
    EXPECT_NE(diagnostico.str().find(k.diagnostico), std::string::npos) << diagnostico.str();
  }
}

TEST(Procedimento, ErroDaSessaoNoMeioEncerraARodada) {
  Cenario c;
  c.roteiros["192.0.0.70"].listagem = "disco.py";
  c.roteiros["192.0.0.70"].erroNaVersao = true;
  EXPECT_THROW(c.rodar({maquina("192.0.0.70"), maquina("192.0.0.71")}), ssh::ErroSSH);
  // The summary counts the machine in progress and the later ones.
  EXPECT_TRUE(c.saida.ends_with("\nSSH error: Socket error\\x1b (ao ler a saída, suporte@h:22)\n" +
                                Y + " Resumo: 2 máquinas, 0 atualizadas, 2 não tratadas (execução "
                                    "interrompida). " + R + "\n"))
      << c.saida;
  EXPECT_EQ(c.registros.size(), 1u) << "the machines after it stay untreated";
  EXPECT_EQ(c.registros[0].fechamentos, 1);
}

TEST(Procedimento, MesmaMaquinaDuasVezesETratadaDuasVezes) {
  Cenario c;
  c.roteiros["192.0.0.80"].listagem = "disco.py";
  const auto m = maquina("192.0.0.80");
  c.rodar({m, m});
  EXPECT_EQ(c.registros.size(), 2u);
  EXPECT_NE(c.saida.find(anuncio(1, "192.0.0.80:22")), std::string::npos);
}

TEST(Procedimento, SelecaoVaziaSoEscreveOResumo) {
  Cenario c;
  c.rodar({});
  EXPECT_EQ(c.saida, Y + " Resumo: nenhuma máquina selecionada. " + R + "\n");
}

// Only a version's own characters, 32 at most, go into the address; any
// other answer leaves the version empty, and the repository answers 404.
// Only a download line that begins with the marker replaced the script.
TEST(Procedimento, TabelaDoDesfechoDoDownload) {
  const std::string marca(workflow::comandos::kDownloadConcluido);
  const std::string falha = "0 atualizadas, 1 não atualizada (1 falha no download)";
  for (const auto& [download, resumo] :
       std::vector<std::pair<std::string, std::string>>{{marca + " Salvando", "1 atualizada"},
                                                        {"https://h/" + marca + " 404", falha},
                                                        {"", falha}}) {
    Cenario c;
    c.roteiros["192.0.0.95"].listagem = "disco.py";
    c.roteiros["192.0.0.95"].download = download;
    c.rodar({maquina("192.0.0.95")});
    EXPECT_NE(c.saida.find("Resumo: 1 máquina, " + resumo + "."), std::string::npos) << c.saida;
    EXPECT_EQ(c.auditoria.at(0).ends_with(": atualizada"), resumo.starts_with("1"));
  }
}

// A customer's name from the list never breaks or steers the audit record.
TEST(Procedimento, TabelaDoRegistroDeAuditoriaNumaLinha) {
  for (const std::string cliente : {"1 - A\nB", "1 - A\rB", "1 - A\x1b[2JB", "1 - A\xe2\x80\xa8" "B"}) {
    Cenario c;
    c.roteiros["192.0.0.96"].listagem = "disco.py";
    c.rodar({maquina("192.0.0.96", porta(22), cliente)});
    ASSERT_EQ(c.auditoria.size(), 1u);
    EXPECT_EQ(c.auditoria[0].find_first_of("\n\r\x1b"), std::string::npos) << c.auditoria[0];
    EXPECT_EQ(c.auditoria[0].find("\xe2\x80\xa8"), std::string::npos) << c.auditoria[0];
  }
}

TEST(Procedimento, TabelaDaVersaoNoEndereco) {
  const std::vector<std::pair<std::string, std::string>> casos = {
      {"  Python 3.11.2  ", "3.11.2"},
      {"Python 3.12.0rc1+local_2", "3.12.0rc1+local_2"},
      {"Python 3.8/../x", ""},
      {"Python 3.8?x", ""},
      {"Python 3.8#x", ""},
      {"sh: 1: python3: not found", ""},
      {"Python " + std::string(33, '9'), ""},
      {"Python " + std::string(32, '9'), std::string(32, '9')},
  };
  for (const auto& [resposta, versao] : casos) {
    Cenario c;
    c.roteiros["192.0.0.90"].listagem = "disco.py";
    c.roteiros["192.0.0.90"].versao = resposta;
    c.rodar({maquina("192.0.0.90")});
    EXPECT_NE(scriptDoDownload(c.registros.at(0).comandos.at(2))
                  .find("url='https://scripts.zelvo.example/python" + versao + "/coleta/disco.py'\n"),
              std::string::npos)
        << resposta;
  }
}

}  // namespace
