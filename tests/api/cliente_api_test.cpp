// The parts of the API client that need no server: the token as the
// access-list request carries it, and the login body.
#include "UTILITARIOS/api/cliente_api.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "UTILITARIOS/implantacao.hpp"
#include "tests/apoio/montar_clientes.hpp"

namespace {

using api::Valor;

std::string autorizacao(const Valor& token) {
  for (const std::string& linha : api::cabecalhosAcessos(token))
    if (linha.starts_with("Authorization: ")) return linha;
  return "";
}

TEST(ClienteApi, TokenVaiComoTextoOuDigitos) {
  EXPECT_EQ(autorizacao(Valor::deTexto("abc.def")), "Authorization: Bearer abc.def");
  EXPECT_EQ(autorizacao(Valor(nlohmann::ordered_json(12345))), "Authorization: Bearer 12345");
  EXPECT_EQ(autorizacao(Valor::deTexto("")), "Authorization: Bearer ");
}

// A control character would end the header early (a line break), cut it (a
// NUL) or reach a log (ESC), as would an invisible one (a zero-width space);
// other UTF-8 is sent as it is.
TEST(ClienteApi, TokenComCaractereDeControleEhRecusado) {
  struct Caso {
    std::string token;
    bool recusado;
  };
  for (const Caso& k : {Caso{"abc\r\nX-Injetado: 1", true}, Caso{"abc\n", true}, Caso{"\r", true},
                        Caso{"tok\x1b[31m", true}, Caso{"tok\x01", true}, Caso{"tok\x7f", true},
                        Caso{std::string("tok\0cauda", 9), true}, Caso{"tok\xc2\x9b", true},
                        Caso{"tok\xc2\x9f", true}, Caso{"tok\tx", true}, Caso{"tok\u200b", true},
                        Caso{"tök-ção\xc2\xa0", false}}) {
    if (k.recusado)
      EXPECT_THROW(api::cabecalhosAcessos(Valor::deTexto(k.token)), api::RespostaInvalida)
          << k.token;
    else
      EXPECT_NO_THROW(api::cabecalhosAcessos(Valor::deTexto(k.token))) << k.token;
  }
}

// Each element of a top-level array is handed on once complete and dropped;
// any other document comes back without its members. Nothing recurses.
TEST(ClienteApi, ListaLidaElementoAElemento) {
  const std::string fundo = std::string(100000, '[') + std::string(100000, ']');
  struct Caso {
    std::string corpo;
    std::vector<std::string> elementos;  ///< kinds handed on, in order
    std::string devolvido;               ///< the document's text afterwards
  };
  for (const Caso& k : {
           Caso{R"([1, {"a": )" + fundo + R"(}, [2], "t"])", {"1", "o", "a", "s"}, "[]"},
           Caso{fundo, {"a"}, "[]"},
           Caso{R"({"x": [1], "y": )" + fundo + "}", {}, "{}"},
           Caso{R"("texto")", {}, R"("texto")"},
           Caso{R"([{"a":{"\"":1}},{"b":[{"c":"]}"}]}])", {"o", "o"}, "[]"},  // escapes
       }) {
    std::vector<std::string> elementos;
    const auto documento = apoio::lerLista(k.corpo, [&](nlohmann::ordered_json& e) {
      elementos.push_back(e.is_number() ? e.dump() : std::string(1, e.type_name()[0]));
    });
    EXPECT_EQ(elementos, k.elementos) << k.corpo.substr(0, 30);
    EXPECT_EQ(documento.dump(), k.devolvido);
  }
  std::size_t entregues = 0;
  EXPECT_THROW(apoio::lerLista("[1, 2, " + std::string(100000, '['),
                                   [&](nlohmann::ordered_json&) { ++entregues; }),
               nlohmann::json::parse_error);
  EXPECT_EQ(entregues, 2u);
}

// What is skipped or cut is still checked: a body is refused exactly where a
// full parse refuses it, at the same byte.
TEST(ClienteApi, OQueNaoSeGuardaAindaSeConfere) {
  const std::string x(300000, 'x'), brancos(1 << 20, ' ');
  const auto lixo = [](const std::string& t) { return R"([{"lixo": ")" + t + R"("}])"; };
  const auto byteDoErro = [](const auto& ler) -> std::size_t {
    try {
      ler();
    } catch (const nlohmann::json::parse_error& e) {
      return e.byte;
    }
    return 0;
  };
  for (const std::string& corpo : std::vector<std::string>{
           lixo("abc\x01" "def"), lixo(R"(abc\qdef)"), lixo(R"(\uD800x)"), lixo(R"(\uD800\u0041)"),
           lixo(R"(\uDC00)"), lixo(R"(\u12G4)"), lixo("a\xC3\x28"), lixo("a\xED\xA0\x80"),
           lixo(x + "\x01"), R"([{"lixo": [1, ")" + x + R"(", nul]}])",
           R"([{"numero": ")" + x + x + "\xF4\x90\x80\x80\"}]", R"([{"lixo": "abc)",
           "[" + brancos + "x]", "[1" + brancos + "2]", "[[[[" + brancos + "[tru]]]]]"}) {
    const std::size_t esperado = byteDoErro([&] {
      const auto documento = nlohmann::json::parse(corpo);
      (void)documento;
    });
    EXPECT_NE(esperado, 0u) << corpo.substr(0, 40);
    EXPECT_EQ(byteDoErro([&] { apoio::lerLista(corpo, [](nlohmann::ordered_json&) {}); }),
              esperado)
        << corpo.substr(0, 40);
  }
}

TEST(ClienteApi, CorpoDoLoginTemLoginESenhaNessaOrdem) {
  const std::string corpo = api::corpoLogin();
  EXPECT_EQ(corpo,
            std::string(R"({"login":")") + implantacao::kOperador + R"(","senha":"951@girar"})");
}

}  // namespace
