// What a diagnostic about a response may show of its body.
#include "UTILITARIOS/api/http.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

namespace {

const std::vector<std::string> kSegredos = {"951@girar", "951%40girar"};

TEST(TrechoSeguro, MostraSoOQueVemAntesDeQualquerValor) {
  struct Caso {
    std::string corpo;
    std::string trecho;
  };
  const std::string ate = "começa com \"";
  for (const Caso& k : {
           Caso{R"({"token": "951@girar" x)", ""},
           Caso{"  \n[1, 2", ""},
           Caso{"\"senha\"", ""},
           Caso{"<html>Bad Gateway</html>", ate + "<html>Bad Gateway</html>\""},
           Caso{std::string(5000, 'x'), ate + std::string(60, 'x') + "\"..."},
           // Prefixed bodies: anti-XSSI, JSONP, UTF-16 with its byte order mark.
           Caso{")]}'\n{\"token\": \"tok-1\"}", ate + ")]}'\\x0a\"..."},
           Caso{"callback({\"token\": \"tok-1\"})", ate + "callback(\"..."},
           Caso{std::string("\xff\xfe{\0\"\0t\0", 8), ate + "\\xff\\xfe\"..."},
           Caso{"erro: senha=951@girar\r\n\"x\"", ate + "erro: senha=***\\x0d\\x0a\"..."},
           Caso{"<p>senha=951%40girar</p>", ate + "<p>senha=***</p>\""},
           // A password cut by the 60-byte limit, down to its first three
           // characters, and a character that would be split.
           Caso{std::string(54, '=') + "951@girar=", ate + std::string(54, '=') + "***=\""},
           Caso{std::string(55, '=') + "951@gixxx", ate + std::string(55, '=') + "***\"..."},
           Caso{std::string(57, '=') + "951@gixxx", ate + std::string(57, '=') + "***\"..."},
           Caso{std::string(59, '=') + "çxxxx", ate + std::string(59, '=') + "\"..."},
       }) {
    EXPECT_EQ(api::trechoSeguro(k.corpo, kSegredos), k.trecho) << k.corpo;
  }
}

// The parser's finding is told from its error id and offset; nothing of the
// library's own text (which quotes what it read last) reaches the message,
// while the status, content type and size do.
TEST(NaoEhJson, DizOQueOLeitorAchouSemCitarOCorpo) {
  struct Caso {
    std::string corpo;
    std::string achado;
  };
  for (const Caso& k : {
           Caso{"",
                "unexpected end of input), byte 1): HTTP 401 Unauthorized, text/html, corpo vazio"},
           Caso{"<html>senha 951@girar</html>",
                "erro de sintaxe, byte 1): HTTP 401 Unauthorized, text/html, 28 bytes, começa com"},
           Caso{R"({"token": "951@girar)",
                "unexpected end of input), byte 21): HTTP 401 Unauthorized, text/html, 20 bytes"},
           Caso{R"({"token": "951@girar"} {)", "erro de sintaxe, byte 24)"},
           Caso{R"({"token": "abc"} x)", "erro de sintaxe, byte 18)"},
           Caso{"{\"token\": \"951@gi\x01rar\"}", "erro de sintaxe, byte 18)"},
           Caso{R"({"token": 1e999})", "(um número que não cabe num double): HTTP 401"},
       }) {
    api::Pedido pedido;
    pedido.nome = "POST /login";
    pedido.segredos = kSegredos;
    api::Resposta resposta;
    resposta.status = "HTTP 401 Unauthorized";
    resposta.tipoConteudo = "text/html";
    resposta.corpo = k.corpo;
    try {
      [[maybe_unused]] const auto documento = nlohmann::json::parse(k.corpo);
      ADD_FAILURE() << "parsed " << k.corpo;
    } catch (const nlohmann::json::exception& e) {
      const auto* sintaxe = dynamic_cast<const nlohmann::json::parse_error*>(&e);
      const std::string mensagem =
          api::naoEhJson(pedido, resposta, e.id, sintaxe ? sintaxe->byte : 0).what();
      EXPECT_TRUE(mensagem.starts_with("a resposta a POST /login não é JSON (")) << mensagem;
      EXPECT_NE(mensagem.find(k.achado), std::string::npos) << mensagem;
      EXPECT_EQ(mensagem.find("951"), std::string::npos) << mensagem;
      EXPECT_EQ(mensagem.find("last read"), std::string::npos) << mensagem;
    }
  }
}

}  // namespace
