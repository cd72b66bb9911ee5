// The parts of the API client that need no server: the token as the
// access-list request carries it, and the login body.
#include "UTILITARIOS/api/cliente_api.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "UTILITARIOS/implantacao.hpp"

namespace {

using api::TipoJson;
using api::Valor;

std::string autorizacao(const Valor& token) {
  for (const std::string& linha : api::cabecalhosAcessos(token))
    if (linha.starts_with("Authorization: ")) return linha;
  return "";
}

TEST(ClienteApi, TokenVaiComoTextoOuDigitos) {
  EXPECT_EQ(autorizacao(Valor::deTexto("abc.def")), "Authorization: Bearer abc.def");
  EXPECT_EQ(autorizacao(Valor::deJson(TipoJson::numero, "12345")), "Authorization: Bearer 12345");
  EXPECT_EQ(autorizacao(Valor::deTexto("")), "Authorization: Bearer ");
}

TEST(ClienteApi, TokenComQuebraDeLinhaEhRecusado) {
  for (const char* token : {"abc\r\nX-Injetado: 1", "abc\n", "\r"})
    EXPECT_THROW(api::cabecalhosAcessos(Valor::deTexto(token)), api::RespostaInvalida) << token;
}

TEST(ClienteApi, CorpoDoLoginTemLoginESenhaNessaOrdem) {
  const std::string corpo = api::corpoLogin();
  EXPECT_EQ(corpo,
            std::string(R"({"login":")") + implantacao::kOperador + R"(","senha":"951@girar"})");
}

}  // namespace
