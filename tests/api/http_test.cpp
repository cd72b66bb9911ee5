// What a diagnostic about a response may show of its body.
#include "UTILITARIOS/api/http.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

namespace {

const std::vector<std::string> kSegredos = {"951@girar"};

std::string trecho(const std::string& corpo) { return api::trechoSeguro(corpo, kSegredos); }

TEST(TrechoSeguro, MostraSoOInicioDeUmCorpoQueNaoPareceJson) {
  EXPECT_EQ(trecho(""), "corpo vazio");
  EXPECT_EQ(trecho(R"({"token": "951@girar" x)"), "");
  EXPECT_EQ(trecho("  \n[1, 2"), "");
  EXPECT_EQ(trecho("\"senha\""), "");
  EXPECT_EQ(trecho("<html>Bad Gateway</html>"), "começa com \"<html>Bad Gateway</html>\"");
  EXPECT_EQ(trecho(std::string(5000, 'x')), "começa com \"" + std::string(60, 'x') + "\"...");
  EXPECT_EQ(trecho("erro: senha=951@girar\r\n\""), "começa com \"erro: senha=***\\x0d\\x0a\\\"\"");
  // The password cut by the 60-byte limit, and a character that would be split.
  EXPECT_EQ(trecho(std::string(54, '=') + "951@girar="),
            "começa com \"" + std::string(54, '=') + "***=\"");
  EXPECT_EQ(trecho(std::string(55, '=') + "951@gi" + std::string(3, 'x')),
            "começa com \"" + std::string(55, '=') + "***\"...");
  EXPECT_EQ(trecho(std::string(59, '=') + "çx" + std::string(3, 'x')),
            "começa com \"" + std::string(59, '=') + "\"...");
}

// The parser's finding is told from its error id and offset; nothing of the
// library's own text (which quotes what it read last) reaches the message.
TEST(NaoEhJson, DizOQueOLeitorAchouSemCitarOCorpo) {
  struct Caso {
    std::string corpo;
    std::string achado;
  };
  for (const Caso& k : {
           Caso{"", "unexpected end of input), byte 1): corpo vazio"},
           Caso{"<html>senha 951@girar</html>", "erro de sintaxe, byte 1): começa com"},
           Caso{R"({"token": "951@girar)", "unexpected end of input), byte 21)"},
           Caso{R"({"token": "951@girar"} {)", "erro de sintaxe, byte 24)"},
           Caso{R"({"token": "abc"} x)", "erro de sintaxe, byte 18)"},
           Caso{"{\"token\": \"951@gi\x01rar\"}", "erro de sintaxe, byte 18)"},
       }) {
    api::Pedido pedido;
    pedido.nome = "POST /login";
    pedido.segredos = kSegredos;
    const api::Resposta resposta{k.corpo};
    try {
      [[maybe_unused]] const auto documento = nlohmann::json::parse(k.corpo);
      ADD_FAILURE() << "parsed " << k.corpo;
    } catch (const nlohmann::json::parse_error& e) {
      const std::string mensagem = api::naoEhJson(pedido, resposta, e.id, e.byte).what();
      EXPECT_TRUE(mensagem.starts_with("a resposta a POST /login não é JSON (")) << mensagem;
      EXPECT_NE(mensagem.find(k.achado), std::string::npos) << mensagem;
      EXPECT_EQ(mensagem.find("951"), std::string::npos) << mensagem;
      EXPECT_EQ(mensagem.find("last read"), std::string::npos) << mensagem;
    }
  }
}

}  // namespace
