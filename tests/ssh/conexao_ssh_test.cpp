#include "UTILITARIOS/ssh/conexao_ssh.hpp"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

// The session before any network activity.
namespace {

TEST(ConexaoSSH, ConstrutorGuardaOsValoresSemConectar) {
  ssh::conexaoSSH so4("192.0.0.16", 22, "suporte", "s3nha");
  EXPECT_EQ(so4.host(), "192.0.0.16");
  EXPECT_EQ(so4.port(), 22);
  EXPECT_EQ(so4.user(), "suporte");
  EXPECT_EQ(so4.password(), "s3nha");
  EXPECT_FALSE(so4.end_data().has_value());
  EXPECT_EQ(so4.timeout(), 10.0);
  EXPECT_FALSE(so4.has_client());
  EXPECT_FALSE(so4.has_channel());

  ssh::conexaoSSH todos("3fff::10", 2222, "u", "p", std::string("$"), 2.5);
  EXPECT_EQ(todos.end_data(), std::optional<std::string>("$"));
  EXPECT_EQ(todos.timeout(), 2.5);
}

TEST(ConexaoSSH, FecharAntesDeConectarNaoFazNada) {
  ssh::conexaoSSH c("192.0.0.16", 22, "suporte", "s3nha");
  c.close();
  c.close();
  EXPECT_FALSE(c.has_client());
  EXPECT_FALSE(c.has_channel());
  EXPECT_FALSE(c.is_closed());
}

TEST(ConexaoSSH, ComandoSemConexaoEErroGeralSemImprimir) {
  ssh::conexaoSSH c("192.0.0.16", 22, "suporte", "s3nha", std::string("$"));
  std::ostringstream capturado;
  auto* antigo = std::cout.rdbuf(capturado.rdbuf());
  for (auto chamada : {+[](ssh::conexaoSSH& s) { s.execute_command("ls"); },
                       +[](ssh::conexaoSSH& s) { s.execute_command_timed("ls"); },
                       +[](ssh::conexaoSSH& s) { s.clear_buffer(); }}) {
    try {
      chamada(c);
      ADD_FAILURE() << "no error without a channel";
    } catch (const ssh::ErroSSH& e) {
      ADD_FAILURE() << "took the SSH-error path: " << e.what();
    } catch (const falhas::Falha& e) {
      EXPECT_STREQ(e.what(), "Erro. Execute \"connect()\" primeiro.");
    }
  }
  std::cout.rdbuf(antigo);
  EXPECT_EQ(capturado.str(), "");
  EXPECT_FALSE(c.has_client());
}

// Failures found before the first packet: the client is already there, the
// channel is not, and close() stays harmless.
TEST(ConexaoSSH, FalhaAntesDaRedeDeixaSoOCliente) {
  struct Caso {
    int port;
    double timeout;
    const char* operacao;
  };
  for (const Caso& c :
       {Caso{0, 5, "ao configurar a sessão"}, Caso{70000, 5, "ao configurar a sessão"},
        Caso{22, 0, "ao conectar"}, Caso{22, -1, "ao conectar"}}) {
    ssh::conexaoSSH s("127.0.0.1", c.port, "suporte", "s3nha", std::nullopt, c.timeout);
    try {
      s.connect();
      ADD_FAILURE() << "connect succeeded";
    } catch (const ssh::ErroSSH& e) {
      EXPECT_EQ(e.operacao(), c.operacao) << e.what();
    }
    EXPECT_TRUE(s.has_client());
    EXPECT_FALSE(s.has_channel());
    EXPECT_NO_THROW(s.close());
    EXPECT_TRUE(s.is_closed());
  }
}

}  // namespace
