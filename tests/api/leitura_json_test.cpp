// The streaming readers of the API's responses: what they keep, what they
// skip, and how they fail.
#include "UTILITARIOS/api/leitura_json.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "UTILITARIOS/api/http.hpp"
#include "UTILITARIOS/api/lista_acessos.hpp"

namespace {

using api::JsonInvalido;
using api::TipoJson;
using nlohmann::json;

api::RespostaLogin login(const std::string& corpo) {
  std::istringstream in(corpo);
  return api::lerRespostaLogin(in);
}

std::string aninhado(std::size_t niveis, const std::string& miolo = "1") {
  return std::string(niveis, '[') + miolo + std::string(niveis, ']');
}

TEST(RespostaLogin, GuardaSoOTokenDoObjetoDeTopo) {
  auto r = login(R"({"a": {"token": "falso"}, "token": "abc", "b": [{"token": 1}]})");
  EXPECT_EQ(r.documento, TipoJson::objeto);
  ASSERT_TRUE(r.temToken);
  EXPECT_EQ(r.token.texto(), "abc");
  EXPECT_TRUE(r.token.ehTexto());

  r = login(R"({"token": 12345})");
  EXPECT_EQ(r.token.texto(), "12345");
  EXPECT_EQ(r.token.tipo(), TipoJson::numero);
  r = login(R"({"token": "x", "token": {"k": [1, {"token": 2}], "v": "\u00e9\n"}})");
  EXPECT_EQ(r.token.texto(), R"({"k":[1,{"token":2}],"v":"é\n"})");
  EXPECT_EQ(r.token.json(), json::parse(R"({"k": [1, {"token": 2}], "v": "é\n"})"));
  r = login(R"({"token": null})");
  EXPECT_TRUE(r.temToken);
  EXPECT_EQ(r.token.tipo(), TipoJson::nulo);
}

TEST(RespostaLogin, DocumentoSemTokenOuQueNaoEhObjeto) {
  EXPECT_FALSE(login(R"({"erro": "não autorizado"})").temToken);
  for (const auto& [corpo, tipo] : std::vector<std::pair<std::string, TipoJson>>{
           {R"(["token", {"token": 1}])", TipoJson::array},
           {R"("token")", TipoJson::texto},
           {"42", TipoJson::numero},
           {"null", TipoJson::nulo},
       }) {
    const auto r = login(corpo);
    EXPECT_EQ(r.documento, tipo) << corpo;
    EXPECT_FALSE(r.temToken) << corpo;
  }
}

TEST(RespostaLogin, CorpoQueNaoEhJsonNaoCitaOTexto) {
  for (const std::string& corpo : {
           std::string(""),
           std::string("<html>senha 951@girar</html>"),
           std::string(R"({"token": "951@girar)"),
           std::string(R"({"token": "951@girar"} {)"),
           std::string(R"({"token": "abc"} x)"),
           std::string("{\"token\": \"951@gi\x01rar\"}"),
       }) {
    try {
      login(corpo);
      ADD_FAILURE() << "aceitou " << corpo;
    } catch (const JsonInvalido& erro) {
      EXPECT_EQ(std::string(erro.what()).find("951"), std::string::npos) << erro.what();
      EXPECT_EQ(std::string(erro.what()).find("last read"), std::string::npos) << erro.what();
      EXPECT_NE(std::string(erro.what()), "");
    }
  }
}

TEST(ListaAcessos, AninhamentoProfundoNaoEstouraAPilha) {
  constexpr std::size_t kNiveis = 100000;
  // Skipped, kept, and as the whole document.
  auto lista = api::lerListaAcessos(R"([{"numero": 1, "x": )" + aninhado(kNiveis) +
                                    R"(, "produto": [{"maquinas": [{"tipo": )" +
                                    aninhado(kNiveis, "\"t\"") + "}]}]}]");
  ASSERT_EQ(lista.clientes.size(), 1u);
  ASSERT_EQ(lista.clientes[0].maquinas.size(), 1u);
  const api::Valor& tipo = lista.clientes[0].maquinas[0].valores[api::MaquinaAcesso::tipo];
  EXPECT_EQ(tipo.tipo(), TipoJson::array);
  EXPECT_EQ(tipo.texto(), aninhado(kNiveis, "\"t\""));

  EXPECT_EQ(api::lerListaAcessos(aninhado(kNiveis)).documento, TipoJson::array);
  EXPECT_THROW(api::lerListaAcessos(std::string(kNiveis, '[')), JsonInvalido);

  const auto r = login(R"({"token": )" + aninhado(kNiveis) + "}");
  EXPECT_EQ(r.token.texto(), aninhado(kNiveis));
}

TEST(Valor, TextoVazioEDocumento) {
  struct Caso {
    const char* json;
    const char* texto;
    bool vazio;
  };
  for (const Caso& k : {
           Caso{R"("Hospital")", "Hospital", false},
           Caso{R"("")", "", true},
           Caso{"12345", "12345", false},
           Caso{"-7", "-7", false},
           Caso{"18446744073709551615", "18446744073709551615", false},
           Caso{"1021.0", "1021.0", false},
           Caso{"1e3", "1000.0", false},
           Caso{"0", "0", true},
           Caso{"-0.0", "-0.0", true},
           Caso{"0e10", "0.0", true},
           Caso{"null", "null", true},
           Caso{"false", "false", true},
           Caso{"true", "true", false},
           Caso{"[]", "[]", true},
           Caso{"{}", "{}", true},
           Caso{"[[]]", "[[]]", false},
           Caso{R"({ "b" : [1, "x\"y"], "a": {} })", R"({"b":[1,"x\"y"],"a":{}})", false},
       }) {
    // Read as the value of a kept member of a login response.
    const auto r = login(std::string(R"({"token": )") + k.json + "}");
    EXPECT_EQ(r.token.texto(), k.texto) << k.json;
    EXPECT_EQ(r.token.vazio(), k.vazio) << k.json;
    EXPECT_EQ(r.token.json(), json::parse(k.json)) << k.json;
  }
  EXPECT_TRUE(api::Valor::deTexto("manager") == "manager");
  EXPECT_FALSE(api::Valor::deJson(TipoJson::numero, "1") == "1");
}

TEST(TrechoSeguro, MostraSoOInicioDeUmCorpoQueNaoPareceJson) {
  EXPECT_EQ(api::trechoSeguro("", 0), "corpo vazio");
  EXPECT_EQ(api::trechoSeguro(R"({"token": "951@girar" x)", 24), "");
  EXPECT_EQ(api::trechoSeguro("  \n[1, 2", 8), "");
  EXPECT_EQ(api::trechoSeguro("\"senha\"", 7), "");
  EXPECT_EQ(api::trechoSeguro("<html>Bad Gateway</html>", 24),
            "começa com \"<html>Bad Gateway</html>\"");
  const std::string longo(64, 'x');
  EXPECT_EQ(api::trechoSeguro(longo, 5000), "começa com \"" + std::string(60, 'x') + "\"...");
  EXPECT_EQ(api::trechoSeguro("erro: senha=951@girar\r\n\"", 24),
            "começa com \"erro: senha=***\\x0d\\x0a\\\"\"");
  // The password cut by the 60-byte limit, and a character that would be split.
  EXPECT_EQ(api::trechoSeguro(std::string(54, '=') + "951@girar=", 64),
            "começa com \"" + std::string(54, '=') + "***=\"");
  EXPECT_EQ(api::trechoSeguro(std::string(55, '=') + "951@gi", 64),
            "começa com \"" + std::string(55, '=') + "***\"...");
  EXPECT_EQ(api::trechoSeguro(std::string(59, '=') + "çx", 64),
            "começa com \"" + std::string(59, '=') + "\"...");
}

}  // namespace
