#include "UTILITARIOS/ssh/conexao_ssh.hpp"

#include <gtest/gtest.h>

// The session before any network activity.
namespace {

// True when a command is refused as on a session that never connected: the
// general error, not the SSH one.
bool recusaComoSemConexao(ssh::conexaoSSH& s) {
  bool recusou = false;
  try {
    s.execute_command("ls");
  } catch (const ssh::ErroSSH&) {
  } catch (const falhas::Falha& e) {
    recusou = std::string(e.what()) == "Erro. Execute \"connect()\" primeiro.";
  }
  return recusou;
}

TEST(ConexaoSSH, FecharAntesDeConectarNaoFazNada) {
  ssh::conexaoSSH c("192.0.0.16", 22, "suporte", "s3nha");
  c.close();
  c.close();
  EXPECT_TRUE(recusaComoSemConexao(c));
}

// Failures found before the first packet leave no channel: a command is
// refused as before connect(), and close() stays harmless.
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
      EXPECT_NE(std::string(e.what()).find(std::string("(") + c.operacao + ", "), std::string::npos)
          << e.what();
    }
    EXPECT_TRUE(recusaComoSemConexao(s));
    EXPECT_NO_THROW(s.close());
    EXPECT_TRUE(recusaComoSemConexao(s));
  }
}

}  // namespace
