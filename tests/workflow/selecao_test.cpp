// The selection dialogue byte for byte, driven through streams.
#include "UTILITARIOS/workflow/selecao.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "UTILITARIOS/workflow/inventario.hpp"
#include "tests/apoio/montar_clientes.hpp"

namespace {

using workflow::Clientes;
using workflow::FalhaSelecao;
using workflow::Selecao;

const std::string kPergunta = "\nDigite qual VM deseja subir (ou 'sair'): ";

std::string maquina(const std::string& tipo, const std::string& ip) {
  return R"({"tipo": ")" + tipo + R"(", "ip": ")" + ip +
         R"(", "sshPort": 22, "user": "u", "senhaVm": "v", "senhaRoot": "r"})";
}

std::string cliente(int numero, const std::string& nome, const std::string& maquinas) {
  return R"({"numero": )" + std::to_string(numero) + R"(, "produto": [{"nome": ")" + nome +
         R"(", "maquinas": [)" + maquinas + "]}]}";
}

// Two Hospital customers around a Clinica one.
Clientes exemplo() {
  return apoio::montarClientes(
      "[" +
      cliente(1021, "Hospital Central",
              maquina("manager", "203.0.113.7") + "," + maquina("coletor", "203.0.113.8")) +
      "," + cliente(1022, "Clinica Sul", maquina("manager", "198.51.100.1")) + "," +
      cliente(1023, "Hospital Norte",
              maquina("coletor", "198.51.100.9") + "," + maquina("manager", "198.51.100.10")) +
      "]");
}

const std::string kListaCentral = "[1] manager - 203.0.113.7\n[2] coletor - 203.0.113.8\n";
const std::string kListaNorte = "[1] coletor - 198.51.100.9\n[2] manager - 198.51.100.10\n";

struct Dialogo {
  Selecao selecao;
  std::string saida;
};

Dialogo dialogar(const Clientes& c, const std::string& respostas, const std::string& inserir = "2",
                 const std::string& tipo = "Hospital") {
  std::istringstream entrada(respostas);
  std::ostringstream saida;
  Dialogo d{workflow::selecionarMaquinas(c, inserir, tipo, entrada, saida), ""};
  d.saida = saida.str();
  return d;
}

std::vector<std::string> ips(const Selecao& s) {
  std::vector<std::string> r;
  for (const auto* m : s.vms_selecionadas) r.push_back(m->ip.texto());
  return r;
}

TEST(SelecaoInterativa, UmNumeroEscolheAMaquinaDaquelaPosicao) {
  const Clientes c = exemplo();
  const Dialogo d = dialogar(c, "1\n2\n");
  EXPECT_EQ(d.saida, kListaCentral + kPergunta + kListaNorte + kPergunta);
  EXPECT_EQ(ips(d.selecao), (std::vector<std::string>{"203.0.113.7", "198.51.100.10"}));
}

// A type from the API cannot add entries of its own to the menu.
TEST(SelecaoInterativa, CadaEntradaFicaNumaLinha) {
  const Dialogo d = dialogar(
      apoio::montarClientes("[" + cliente(1, "Hospital", maquina(R"(manager\n[2] falso\t\u3164)",
                                                                  "203.0.113.7")) + "]"),
      "sair\n");
  EXPECT_EQ(d.saida, "[1] manager\\x0a[2] falso\\x09\\u3164 - 203.0.113.7\n" + kPergunta +
                         "Nenhuma VM selecionada. Encerrando.\n");
}

TEST(SelecaoInterativa, RespostasInvalidasPulamOCliente) {
  const Clientes c = exemplo();
  struct Caso {
    const char* resposta;
    const char* mensagem;
  };
  for (const Caso& k : {
           Caso{"0", "Opção inválida. Pulando cliente.\n"},
           Caso{"-1", "Opção inválida. Pulando cliente.\n"},
           Caso{"3", "Opção inválida. Pulando cliente.\n"},
           Caso{"99999999999999999999999", "Opção inválida. Pulando cliente.\n"},
           Caso{"abc", "Entrada inválida. Pulando cliente.\n"},
           Caso{"", "Entrada inválida. Pulando cliente.\n"},
           Caso{"   ", "Entrada inválida. Pulando cliente.\n"},
           Caso{"1.0", "Entrada inválida. Pulando cliente.\n"},
           Caso{"+ 1", "Entrada inválida. Pulando cliente.\n"},
       }) {
    const Dialogo d = dialogar(c, std::string(k.resposta) + "\n 2 \n");
    EXPECT_EQ(d.saida, kListaCentral + kPergunta + k.mensagem + kListaNorte + kPergunta)
        << k.resposta;
    EXPECT_EQ(ips(d.selecao), (std::vector<std::string>{"198.51.100.10"})) << k.resposta;
  }
}

TEST(SelecaoInterativa, NumerosComSinalEBrancosSaoAceitos) {
  const Clientes c = exemplo();
  const Dialogo d = dialogar(c,
                             "\t+02\r\n\xc2\xa0"
                             "1\n");
  EXPECT_EQ(ips(d.selecao), (std::vector<std::string>{"203.0.113.8", "198.51.100.9"}));
}

TEST(SelecaoInterativa, SairSemSelecaoEncerraAExecucao) {
  const Clientes c = exemplo();
  const Dialogo d = dialogar(c, "  SAIR \n1\n");
  EXPECT_EQ(d.saida, kListaCentral + kPergunta + "Nenhuma VM selecionada. Encerrando.\n");
  EXPECT_TRUE(d.selecao.vms_selecionadas.empty());
}

TEST(SelecaoInterativa, SairComSelecaoPassaAdiante) {
  const Clientes c = exemplo();
  const Dialogo d = dialogar(c, "2\nSair\n");
  EXPECT_EQ(d.saida, kListaCentral + kPergunta + kListaNorte + kPergunta +
                         "Encerrando seleção e iniciando acesso às VMs selecionadas...\n");
  EXPECT_EQ(ips(d.selecao), (std::vector<std::string>{"203.0.113.8"}));
}

TEST(SelecaoInterativa, FimDosGruposSemSelecaoNaoEncerraNemImprime) {
  const Clientes c = exemplo();
  const Dialogo d = dialogar(c, "x\nx\n");
  EXPECT_EQ(d.saida, kListaCentral + kPergunta + "Entrada inválida. Pulando cliente.\n" +
                         kListaNorte + kPergunta + "Entrada inválida. Pulando cliente.\n");
  EXPECT_TRUE(d.selecao.vms_selecionadas.empty());
}

TEST(SelecaoInterativa, UltimaLinhaSemQuebraAindaEhResposta) {
  const Clientes c = exemplo();
  const Dialogo d = dialogar(c, "1\n1");
  EXPECT_EQ(ips(d.selecao), (std::vector<std::string>{"203.0.113.7", "198.51.100.9"}));
}

TEST(SelecaoInterativa, FimDaEntradaNaPerguntaEhFalha) {
  const Clientes c = exemplo();
  for (const char* respostas : {"", "1\n"}) {
    std::istringstream entrada(respostas);
    std::ostringstream saida;
    EXPECT_THROW(workflow::selecionarMaquinas(c, "2", "Hospital", entrada, saida), FalhaSelecao);
    // The prompt's line is ended before the cause goes to standard error.
    EXPECT_TRUE(saida.str().ends_with(kPergunta + "\n")) << respostas;
  }
}

TEST(SelecaoInterativa, ClientesDeOutroTipoNuncaSaoListados) {
  const Clientes c = exemplo();
  EXPECT_EQ(dialogar(c, "1\n", "2", "Clinica").saida, "[1] manager - 198.51.100.1\n" + kPergunta);
  for (const char* tipo : {"hospital", "Hospital Central", "", "Central"}) {
    const Dialogo d = dialogar(c, "", "2", tipo);
    EXPECT_EQ(d.saida, "") << tipo;
    EXPECT_TRUE(d.selecao.vms_selecionadas.empty()) << tipo;
  }
}

TEST(SelecaoAutomatica, CadaManagerAcrescentaOGrupoInteiro) {
  const Clientes c = apoio::montarClientes(
      "[" +
      cliente(1, "Hospital A",
              maquina("coletor", "10.0.0.1") + "," + maquina("manager", "10.0.0.2") + "," +
                  maquina("manager", "10.0.0.3")) +
      "," +
      cliente(2, "Hospital B",
              maquina("coletor", "10.0.0.4") + "," + maquina("Manager", "10.0.0.5")) +
      "," + cliente(3, "Clinica C", maquina("manager", "10.0.0.6")) + "," +
      cliente(4, "Hospital D", maquina("manager", "10.0.0.7")) + "]");
  const Dialogo d = dialogar(c, "", " 1 ");
  EXPECT_EQ(d.saida, "");
  EXPECT_EQ(ips(d.selecao),
            (std::vector<std::string>{"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.1", "10.0.0.2",
                                      "10.0.0.3", "10.0.0.7"}));
  // The same record, not a copy, appears twice.
  EXPECT_EQ(d.selecao.vms_selecionadas[0], d.selecao.vms_selecionadas[3]);
}

TEST(SelecaoEscopo, OutrosNumerosNaoSelecionamNada) {
  const Clientes c = exemplo();
  for (const char* inserir : {"0", "3", "-1", "-2", "+3", "-0", "100000000000000000000001"}) {
    const Dialogo d = dialogar(c, "1\n", inserir);
    EXPECT_EQ(d.saida, "") << inserir;
    EXPECT_TRUE(d.selecao.vms_selecionadas.empty()) << inserir;
  }
  EXPECT_EQ(dialogar(c, "1\n1\n", "+0002").saida,
            kListaCentral + kPergunta + kListaNorte + kPergunta);
}

TEST(SelecaoEscopo, EscopoQueNaoEhNumeroEhFalhaMesmoSemClientes) {
  for (const char* inserir : {"", "um", "1.0", "1 2", "--1", "0x1"}) {
    std::istringstream entrada;
    std::ostringstream saida;
    EXPECT_THROW(workflow::selecionarMaquinas({}, inserir, "Hospital", entrada, saida),
                 FalhaSelecao)
        << inserir;
  }
}

TEST(SelecaoFiltro, TipoEhAPrimeiraPalavraDepoisDoUltimoSeparador) {
  EXPECT_EQ(workflow::tipoClienteDe("1021 - Hospital Central"), "Hospital");
  EXPECT_EQ(workflow::tipoClienteDe("1 - 2 - Clinica  Sul"), "Clinica");
  EXPECT_EQ(workflow::tipoClienteDe("1021 - N/A"), "N/A");
  EXPECT_EQ(workflow::tipoClienteDe("1021 -Hospital"), "1021");
  EXPECT_EQ(workflow::tipoClienteDe("1021 - \xe3\x80\x80Hospital\xc2\xa0"
                                    "Central"),
            "Hospital");
}

TEST(SelecaoFiltro, RotuloSoComBrancosDepoisDoSeparadorEhFalha) {
  // The label "7 -  " comes from a customer named with a single blank.
  const Clientes c =
      apoio::montarClientes("[" + cliente(7, " ", maquina("manager", "10.0.0.1")) + "]");
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0].rotulo, "7 -  ");
  for (const char* inserir : {"1", "2"}) {
    std::istringstream entrada("1\n");
    std::ostringstream saida;
    EXPECT_THROW(workflow::selecionarMaquinas(c, inserir, "Hospital", entrada, saida), FalhaSelecao)
        << inserir;
  }
  // Scopes that select nothing never look at the labels.
  EXPECT_TRUE(dialogar(c, "", "3").selecao.vms_selecionadas.empty());
}

}  // namespace
