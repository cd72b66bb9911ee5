// What a diagnostic about a response may show of its body.
#include "UTILITARIOS/api/http.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "UTILITARIOS/api/diagnostico.hpp"
#include "UTILITARIOS/implantacao.hpp"
#include "UTILITARIOS/textos.hpp"

namespace {

// The password's forms, and a short token, masked only as a whole word.
const std::string kSenha = implantacao::kSenhaOperador;
const std::vector<std::string> kSegredos = {kSenha, textos::substituirTodas(kSenha, "@", "%40"),
                                            "k9z", "girarsenhagirar"};

TEST(TrechoSeguro, SoAPalavraInicialDeLetras) {
  struct Caso {
    std::string corpo;
    std::string trecho;
  };
  const std::string ate = "começa com \"";
  for (const Caso& k : {
           Caso{R"({"token": ")" + kSenha + R"(" x)", ""},
           Caso{"  \n[1, 2", ""},
           Caso{"\"senha\"", ""},
           // Markup tells its kind, and nothing of its content.
           Caso{"<!DOCTYPE html><html>Bad Gateway</html>", ate + "<!DOCTYPE html\"..."},
           Caso{"<?xml version='1.0'?>", ate + "<?xml version\"..."},
           Caso{"<acessos><m ip='203.0.113.5' senhaVm='VmPass01'/>", ate + "<acessos\"..."},
           // A CSV or a plain text: any later byte could be a password.
           Caso{"ip,user,senhaRoot\n203.0.113.5,suporte,R00tUnica", ate + "ip\"..."},
           Caso{"Bad Gateway", ate + "Bad\"..."},
           Caso{"Gateway", ate + "Gateway\""},
           Caso{std::string(5000, 'x'), ate + std::string(16, 'x') + "\"..."},
           Caso{"R00tUnica", ate + "R\"..."},
           // Prefixed bodies: anti-XSSI, JSONP, UTF-16 with its byte order mark.
           Caso{")]}'\n{\"token\": \"tok-1\"}", ""},
           Caso{"callback({\"token\": \"tok-1\"})", ate + "callback\"..."},
           Caso{std::string("\xff\xfe{\0\"\0t\0", 8), ""},
           Caso{"çxxxx", ""},
           // A secret of letters, whole or cut by the limit.
           Caso{"Bearer k9z recusado", ate + "Bearer\"..."},
           Caso{"girarsenhagirar", ate + "***\""},
           Caso{"abcdefghijkgirarsenhagirar", ate + "abcdefghijk***\"..."},
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
           Caso{"<html>senha " + kSenha + "</html>",
                "erro de sintaxe, byte 1): HTTP 401 Unauthorized, text/html, " +
                    std::to_string(19 + kSenha.size()) + " bytes"},
           Caso{R"({"token": ")" + kSenha, "unexpected end of input), byte " +
                                               std::to_string(12 + kSenha.size()) +
                                               "): HTTP 401 Unauthorized, text/html, " +
                                               std::to_string(11 + kSenha.size()) + " bytes"},
           Caso{R"({"token": ")" + kSenha + R"("} {)",
                "erro de sintaxe, byte " + std::to_string(15 + kSenha.size()) + ")"},
           Caso{R"({"token": "abc"} x)", "erro de sintaxe, byte 18)"},
           Caso{"{\"token\": \"" + kSenha.substr(0, 6) + "\x01" + kSenha.substr(6) + "\"}",
                "erro de sintaxe, byte 18)"},
           Caso{R"({"token": 1e999})", "(um número que não cabe num double): HTTP 401"},
       }) {
    api::Pedido pedido;
    pedido.nome = "POST /login";
    pedido.segredos = kSegredos;
    api::Resposta resposta;
    resposta.status = "HTTP 401 Unauthorized";
    resposta.tipoConteudo = "text/html";
    resposta.inicio = k.corpo;
    resposta.tamanho = k.corpo.size();
    try {
      [[maybe_unused]] const auto documento = nlohmann::json::parse(k.corpo);
      ADD_FAILURE() << "parsed " << k.corpo;
    } catch (const nlohmann::json::exception& e) {
      const auto* sintaxe = dynamic_cast<const nlohmann::json::parse_error*>(&e);
      const std::string mensagem =
          api::naoEhJson(pedido, resposta, e.id, sintaxe ? sintaxe->byte : 0).what();
      EXPECT_TRUE(mensagem.starts_with("a resposta a POST /login não é JSON (")) << mensagem;
      EXPECT_NE(mensagem.find(k.achado), std::string::npos) << mensagem;
      EXPECT_EQ(mensagem.find(kSenha.substr(0, 3)), std::string::npos) << mensagem;
      EXPECT_EQ(mensagem.find("last read"), std::string::npos) << mensagem;
    }
  }
}

}  // namespace
