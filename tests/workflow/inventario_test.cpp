// The inventory as the selection and the per-machine stage meet it: access
// lists in, grouped machine records (or the failure that ends the run) out.
#include "UTILITARIOS/workflow/inventario.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "UTILITARIOS/api/cliente_api.hpp"
#include "tests/apoio/montar_clientes.hpp"

namespace {

using nlohmann::json;
using workflow::Clientes;
using workflow::FalhaInventario;

Clientes inventario(const std::string& lista) { return apoio::montarClientes(lista); }

std::string falhaDe(const std::string& lista) {
  try {
    inventario(lista);
  } catch (const FalhaInventario& erro) {
    return erro.what();
  }
  return "(sem falha)";
}

// One customer, one product, the given machine entries.
std::string umCliente(const std::string& maquinas, const std::string& numero = "1021",
                      const std::string& nome = R"("Hospital Central")") {
  return R"([{"numero": )" + numero + R"(, "produto": [{"nome": )" + nome + R"(, "maquinas": [)" +
         maquinas + "]}]}]";
}

const std::string kCompleta =
    R"({"tipo": "manager", "ip": "192.0.2.10", "sshPort": 22, "user": "suporte",
        "senhaVm": "s3nha", "senhaRoot": "r00t"})";

TEST(Inventario, FormaCompletaGuardaOsValoresComoRecebidos) {
  const Clientes c = inventario(
      umCliente(kCompleta + R"(, {"tipo": "coletor", "ip": "192.0.2.11", "sshPort": "2222",
                        "user": null, "senhaVm": "", "senhaRoot": 0, "outro": 1})"));
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0].rotulo, "1021 - Hospital Central");
  ASSERT_EQ(c[0].maquinas.size(), 2u);
  const auto& m = c[0].maquinas[0];
  EXPECT_EQ(m.rotulo(), "1021 - Hospital Central");
  EXPECT_EQ(m.tipo.json(), "manager");
  EXPECT_EQ(m.ip.json(), "192.0.2.10");
  EXPECT_EQ(m.porta.json(), 22);
  EXPECT_EQ(m.porta.texto(), "22");
  EXPECT_EQ(m.usuario.json(), "suporte");
  EXPECT_EQ(m.senha.json(), "s3nha");
  EXPECT_EQ(m.senhaRoot.json(), "r00t");
  // Null and empty values are taken as they are in the full form.
  const auto& n = c[0].maquinas[1];
  EXPECT_EQ(n.porta.json(), "2222");
  EXPECT_TRUE(n.usuario.json().is_null());
  EXPECT_EQ(n.senha.json(), "");
  EXPECT_EQ(n.senhaRoot.json(), 0);
  // The records of one customer share their label.
  EXPECT_EQ(m.cliente, n.cliente);
}

TEST(Inventario, FormaCurtaLeOAcesso) {
  const Clientes c = inventario(umCliente(
      R"({"tipo": "manager", "acesso": "ssh suporte@198.51.100.20 -p 2222",
          "senhaVm": "a", "senhaRoot": "b", "sshPort": 22})"));
  ASSERT_EQ(c.size(), 1u);
  ASSERT_EQ(c[0].maquinas.size(), 1u);
  const auto& m = c[0].maquinas[0];
  EXPECT_EQ(m.ip.json(), "198.51.100.20");
  EXPECT_EQ(m.porta.json(), " 2222");  // the blank after "-p" stays
  EXPECT_EQ(m.usuario.json(), "suporte");
  EXPECT_EQ(m.senha.json(), "a");
  EXPECT_EQ(m.senhaRoot.json(), "b");
  EXPECT_EQ(m.tipo.json(), "manager");
}

TEST(Inventario, AcessoSemOpcaoDePortaDaOEnderecoComoPorta) {
  const auto a = workflow::lerAcesso("ssh admin@203.0.113.5", "x");
  EXPECT_EQ(a.endereco, "203.0.113.5");
  EXPECT_EQ(a.porta, "203.0.113.5");
  EXPECT_EQ(a.usuario, "admin");
}

TEST(Inventario, AcessoComCasosDeSeparacao) {
  struct Caso {
    const char* acesso;
    const char* endereco;
    const char* porta;
    const char* usuario;
  };
  for (const Caso& k : {
           Caso{"ssh a@b@10.0.0.1 -p 22", "10.0.0.1", " 22", "a"},
           Caso{"ssh\tsuporte@10.0.0.1\t-p\t22\t", "10.0.0.1", "\t22\t", "suporte"},
           Caso{"ssh suporte@h-p1 -p 2", "h-p1", " 2", "suporte"},
           Caso{"ssh -p 22 suporte@10.0.0.1", "10.0.0.1", "10.0.0.1", "-p"},
           Caso{"ssh suporte 10.0.0.1", "ssh", "ssh suporte 10.0.0.1", "suporte"},
           Caso{"ssh\xc2\xa0suporte@10.0.0.1", "10.0.0.1", "10.0.0.1", "suporte"},
       }) {
    const auto a = workflow::lerAcesso(k.acesso, "x");
    EXPECT_EQ(a.endereco, k.endereco) << k.acesso;
    EXPECT_EQ(a.porta, k.porta) << k.acesso;
    EXPECT_EQ(a.usuario, k.usuario) << k.acesso;
  }
  for (const char* malformado : {"ssh", "", "   ", "ssh suporte@", "ssh suporte@   "}) {
    EXPECT_THROW(workflow::lerAcesso(malformado, "x"), FalhaInventario) << malformado;
  }
}

TEST(Inventario, FormaCurtaComQuatroChavesOuMenosEhDescartada) {
  const std::string quatro =
      R"({"tipo": "manager", "acesso": "ssh a@10.0.0.1 -p 22", "senhaVm": "a", "senhaRoot": "b"})";
  const std::string cinco =
      R"({"tipo": "manager", "acesso": "ssh a@10.0.0.2 -p 22", "senhaVm": "a", "senhaRoot": "b",
          "ip": "x"})";
  // Repeated names count once, as in a parsed document.
  const std::string repetidas =
      R"({"tipo": "manager", "acesso": "ssh a@10.0.0.3 -p 22", "senhaVm": "a", "senhaRoot": "b",
          "tipo": "manager"})";
  const Clientes c = inventario(umCliente(quatro + "," + cinco + "," + repetidas));
  ASSERT_EQ(c.size(), 1u);
  ASSERT_EQ(c[0].maquinas.size(), 1u);
  EXPECT_EQ(c[0].maquinas[0].ip.texto(), "10.0.0.2");
}

TEST(Inventario, FormaCurtaDescartaValoresVaziosOuAusentes) {
  const std::string base = R"("tipo": "m", "x1": 1, "x2": 2, "x3": 3)";
  std::string maquinas;
  for (const char* resto : {
           R"("senhaVm": "a", "senhaRoot": "b")",                // no acesso
           R"("acesso": "", "senhaVm": "a", "senhaRoot": "b")",  // empty text
           R"("acesso": "ssh a@1.1.1.1 -p 1", "senhaVm": null, "senhaRoot": "b")",
           R"("acesso": "ssh a@1.1.1.1 -p 1", "senhaVm": false, "senhaRoot": "b")",
           R"("acesso": "ssh a@1.1.1.1 -p 1", "senhaVm": 0, "senhaRoot": "b")",
           R"("acesso": "ssh a@1.1.1.1 -p 1", "senhaVm": 0.0, "senhaRoot": "b")",
           R"("acesso": "ssh a@1.1.1.1 -p 1", "senhaVm": "a", "senhaRoot": [])",
           R"("acesso": "ssh a@1.1.1.1 -p 1", "senhaVm": "a", "senhaRoot": {})",
           R"("acesso": "ssh a@1.1.1.1 -p 1", "senhaVm": "a")",
           // Emptiness is tested before the acesso is parsed: no failure here.
           R"("acesso": 7, "senhaVm": "", "senhaRoot": "b")",
       }) {
    if (!maquinas.empty()) maquinas += ",";
    maquinas += "{" + base + ", " + resto + "}";
  }
  EXPECT_TRUE(inventario(umCliente(maquinas)).empty());
  // Values that are not empty go on, whatever their kind.
  const Clientes c = inventario(umCliente(
      "{" + base + R"(, "acesso": "ssh a@1.1.1.1 -p 1", "senhaVm": true, "senhaRoot": [0]})"));
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0].maquinas[0].senha.json(), true);
  EXPECT_EQ(c[0].maquinas[0].senhaRoot.json(), json::array({0}));
}

TEST(Inventario, TiposDatabaseEOutroSaoPulados) {
  // Complete entries, so that only the type can drop them.
  std::string maquinas;
  for (const char* tipo : {"database", "outro", "Database", "outro "}) {
    if (!maquinas.empty()) maquinas += ",";
    maquinas += R"({"tipo": ")" + std::string(tipo) +
                R"(", "ip": "10.0.0.1", "sshPort": 22, "user": "u", "senhaVm": "v",
                    "senhaRoot": "r"})";
  }
  const Clientes c = inventario(umCliente(maquinas));
  ASSERT_EQ(c.size(), 1u);
  ASSERT_EQ(c[0].maquinas.size(), 2u);
  EXPECT_EQ(c[0].maquinas[0].tipo.texto(), "Database");
  EXPECT_EQ(c[0].maquinas[1].tipo.texto(), "outro ");
}

TEST(Inventario, ClienteSemNomeFicaComNA) {
  const std::string lista = R"([{"numero": "A-7", "produto": [{"maquinas": [)" + kCompleta +
                            R"(]}]},
          {"numero": 12.5, "produto": [{"nome": 3, "maquinas": [)" +
                            kCompleta + R"(]}]},
          {"numero": [1, {"b": 2, "a": "x"}], "produto": [{"nome": null, "maquinas": [)" +
                            kCompleta + R"(]}]},
          {"numero": 1e3, "produto": [{"nome": true, "maquinas": [)" +
                            kCompleta + "]}]}]";
  const Clientes c = inventario(lista);
  ASSERT_EQ(c.size(), 4u);
  EXPECT_EQ(c[0].rotulo, "A-7 - N/A");
  EXPECT_EQ(c[1].rotulo, "12.5 - 3");
  // Other values as their JSON text, members in the order received.
  EXPECT_EQ(c[2].rotulo, R"([1,{"b":2,"a":"x"}] - null)");
  EXPECT_EQ(c[3].rotulo, "1000.0 - true");
}

TEST(Inventario, RotulosIguaisDividemUmGrupoNaOrdemEmQueAparecem) {
  auto maquina = [](const std::string& ip) {
    return R"({"tipo": "t", "ip": ")" + ip +
           R"(", "sshPort": 22, "user": "u", "senhaVm": "v", "senhaRoot": "r"})";
  };
  auto cliente = [](const std::string& numero, const std::string& nome, const std::string& m) {
    return R"({"numero": )" + numero + R"(, "produto": [{"nome": ")" + nome +
           R"(", "maquinas": [)" + m + "]}]}";
  };
  const Clientes c = inventario(
      "[" + cliente("1", "Alfa", R"({"tipo": "database"})") + "," +  // no usable machine
      cliente("2", "Beta", maquina("10.0.0.1")) + "," + cliente("1", "Alfa", maquina("10.0.0.2")) +
      "," + cliente(R"("2")", "Beta", maquina("10.0.0.3")) + "," +  // same label from a text numero
      cliente("1", "Alfa", maquina("10.0.0.4") + "," + maquina("10.0.0.5")) + "]");
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c[0].rotulo, "2 - Beta");
  EXPECT_EQ(c[1].rotulo, "1 - Alfa");
  std::vector<std::string> beta, alfa;
  for (const auto& r : c[0].maquinas) beta.push_back(r.ip.texto());
  for (const auto& r : c[1].maquinas) alfa.push_back(r.ip.texto());
  EXPECT_EQ(beta, (std::vector<std::string>{"10.0.0.1", "10.0.0.3"}));
  EXPECT_EQ(alfa, (std::vector<std::string>{"10.0.0.2", "10.0.0.4", "10.0.0.5"}));
}

TEST(Inventario, SoOPrimeiroProdutoContaEMembrosRepetidosValemOUltimo) {
  const Clientes c = inventario(
      R"([{"numero": 5, "numero": 6,
           "produto": [{"nome": "X", "maquinas": []}],
           "produto": [{"nome": "Y", "maquinas": [{"tipo": "a", "ip": "1", "sshPort": 1,
                         "user": "u", "senhaVm": "v", "senhaRoot": "r", "ip": "2"}]},
                       {"nome": "Z", "maquinas": [{"tipo": "b", "ip": "3", "sshPort": 1,
                         "user": "u", "senhaVm": "v", "senhaRoot": "r"}]}]}])");
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0].rotulo, "6 - Y");
  ASSERT_EQ(c[0].maquinas.size(), 1u);
  EXPECT_EQ(c[0].maquinas[0].ip.texto(), "2");
}

// Object values read the same as in a parsed document: a repeated member
// keeps its first place and its last value, so equal labels still merge.
TEST(Inventario, ValoresObjetoComMembrosRepetidosValemOUltimo) {
  const Clientes c = inventario(R"([
    {"numero": {"k": 1, "j": 0, "k": 2}, "produto": [{"nome": "B", "maquinas": [)" +
                                kCompleta + R"(]}]},
    {"numero": {"k": 2, "j": 0}, "produto": [{"nome": "B", "maquinas": [
      {"tipo": "m", "ip": "h", "sshPort": 22, "user": "u",
       "senhaVm": {"a": [1, {"x": 1, "x": 3}], "a": 2}, "senhaRoot": "r"}]}]}])");
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0].rotulo, R"({"k":2,"j":0} - B)");
  ASSERT_EQ(c[0].maquinas.size(), 2u);
  EXPECT_EQ(c[0].maquinas[1].senha.texto(), R"({"a":2})");
  EXPECT_EQ(c[0].maquinas[1].senha.json().dump(), c[0].maquinas[1].senha.texto());
}

TEST(Inventario, ListaSemMaquinaUtilizavelDaAgrupamentoVazio) {
  EXPECT_TRUE(inventario("[]").empty());
  EXPECT_TRUE(inventario(umCliente("")).empty());
  EXPECT_TRUE(inventario(umCliente(R"({"tipo": "m", "ip": "1"})")).empty());
}

TEST(Inventario, FalhasNaoTratadasNomeiamOClienteEOMembro) {
  struct Caso {
    std::string lista;
    std::string mensagem;
  };
  const std::string ok = R"({"numero": 1, "produto": [{"nome": "A", "maquinas": []}]})";
  const auto fundo = [](std::size_t n) { return std::string(n, '[') + std::string(n, ']'); };
  std::string largo = "0";
  while (largo.size() < 70000) largo += ", 0";
  for (const Caso& k : std::vector<Caso>{
           {R"({"erro": "falha interna"})", "a lista de acessos não é um array JSON (é um objeto)"},
           {R"("texto")", "a lista de acessos não é um array JSON (é um texto)"},
           {"[" + ok + R"(, {"produto": []}])", "cliente na posição 2: falta o membro \"numero\""},
           {"[" + ok + ", 7]",
            "cliente na posição 2: a entrada não é um objeto JSON (é um número)"},
           {R"([{"numero": 9}])", "cliente na posição 1 (numero 9): falta o membro \"produto\""},
           {R"([{"numero": 9, "produto": {"nome": "A"}}])",
            "cliente na posição 1 (numero 9): \"produto\" não é um array (é um objeto)"},
           {R"([{"numero": "9", "produto": []}])",
            "cliente na posição 1 (numero 9): \"produto\" está vazio"},
           {R"([{"numero": 9, "produto": ["A"]}])",
            "cliente na posição 1 (numero 9): produto[0] não é um objeto (é um texto)"},
           {R"([{"numero": 9, "produto": [{"nome": "A"}]}])",
            "cliente na posição 1 (numero 9): falta o membro \"maquinas\" em produto[0]"},
           {R"([{"numero": 9, "produto": [{"nome": "A", "maquinas": "nenhuma"}]}])",
            "cliente na posição 1 (numero 9): produto[0].maquinas não é um array (é um texto)"},
           {umCliente(kCompleta + R"(, {"ip": "1"})"),
            "cliente na posição 1 (numero 1021), máquina na posição 2: falta o membro \"tipo\""},
           {umCliente(R"(null)"),
            "cliente na posição 1 (numero 1021), máquina na posição 1: a entrada não é um objeto "
            "JSON (é null)"},
           {umCliente(R"({"tipo": "m", "a": 1, "b": 2, "acesso": ["x"], "senhaVm": "v",
                          "senhaRoot": "r"})"),
            "cliente na posição 1 (numero 1021), máquina na posição 1: \"acesso\" não é um texto "
            "(é um array)"},
           {umCliente(R"({"tipo": "m", "a": 1, "b": 2, "acesso": "ssh", "senhaVm": "v",
                          "senhaRoot": "r"})"),
            "cliente na posição 1 (numero 1021), máquina na posição 1: \"acesso\" tem menos de "
            "duas palavras"},
           {umCliente(R"({"tipo": "m", "a": 1, "b": 2, "acesso": "ssh x@ \t", "senhaVm": "v",
                          "senhaRoot": "r"})"),
            "cliente na posição 1 (numero 1021), máquina na posição 1: \"acesso\" não tem "
            "endereço depois do último \"@\""},
           // A value that is read is kept only small and shallow; the rows
           // past the limits once overflowed the stack or took gigabytes.
           {umCliente(R"({"tipo": "m", "ip": )" + fundo(70000) + R"(, "user": "u"})"),
            "cliente na posição 1 (numero 1021), máquina na posição 1: \"ip\" tem mais de 64 "
            "níveis de aninhamento"},
           {umCliente(kCompleta, fundo(65)), "cliente na posição 1: \"numero\" tem mais de 64 "
                                             "níveis de aninhamento"},
           {umCliente(R"({"tipo": )" + fundo(65) + "}"),
            "cliente na posição 1 (numero 1021), máquina na posição 1: \"tipo\" tem mais de 64 "
            "níveis de aninhamento"},
           {umCliente(kCompleta, "1", "[" + largo + "]"),
            "cliente na posição 1 (numero 1): \"nome\" passa de 64 KB"},
           {umCliente(R"({"tipo": "m", "a": 1, "b": 2, "senhaVm": "v", "senhaRoot": "r",
                          "acesso": ")" + std::string(70000, 'a') + "\"}"),
            "cliente na posição 1 (numero 1021), máquina na posição 1: \"acesso\" passa de 64 KB"},
           // Cut where it arrives, far past the limit.
           {umCliente(R"({"tipo": "m", "senhaRoot": ")" + std::string(1 << 20, 'r') + "\"}"),
            "cliente na posição 1 (numero 1021), máquina na posição 1: \"senhaRoot\" passa de "
            "64 KB"},
           {umCliente(R"({"tipo": "m", "sshPort": {")" + std::string(70000, 'k') + "\": 1}}"),
            "cliente na posição 1 (numero 1021), máquina na posição 1: \"sshPort\" passa de "
            "64 KB"},
           // At the limits, and in a member nobody reads, no failure.
           {umCliente(R"({"tipo": "m", "ip": )" + fundo(64) + R"(, "lixo": ")" +
                      std::string(1 << 20, 'x') + "\"}"),
            "(sem falha)"},
       }) {
    EXPECT_EQ(falhaDe(k.lista), k.mensagem) << k.lista.substr(0, 120);
  }
}

TEST(Inventario, APrimeiraFalhaParaALeitura) {
  workflow::MontadorClientes montador;
  std::size_t entregues = 0;
  try {
    // Nothing after the first failure is read, a syntax error included.
    apoio::lerLista("[" + std::string(100000, '[') + std::string(100000, ']') +
                            R"(, {"produto": []}, {"numero": 1)",
                        [&](nlohmann::ordered_json& c) {
                          ++entregues;
                          montador.cliente(c);
                        });
    ADD_FAILURE() << "sem falha";
  } catch (const FalhaInventario& erro) {
    EXPECT_STREQ(erro.what(), "cliente na posição 1: a entrada não é um objeto JSON (é um array)");
  }
  EXPECT_EQ(entregues, 1u);
}

TEST(Inventario, NomeCodigoEhOUltimoComponente) {
  EXPECT_EQ(workflow::nomeCodigoDe("coleta/disco.py"), "disco.py");
  EXPECT_EQ(workflow::nomeCodigoDe("disco.py"), "disco.py");
  EXPECT_EQ(workflow::nomeCodigoDe("a/b/"), "");
  EXPECT_EQ(workflow::nomeCodigoDe(""), "");
  EXPECT_EQ(workflow::nomeCodigoDe("a//c d.py"), "c d.py");
}

}  // namespace
