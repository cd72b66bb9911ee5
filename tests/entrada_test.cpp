// The command line as an operator meets it: the built program, its exact
// standard output, its standard error and its exit status.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "UTILITARIOS/implantacao.hpp"
#include "tests/apoio/processo.hpp"

namespace {

namespace fs = std::filesystem;

const std::string kErroCritico = std::string("Erro crítico -- Contactar Zelvo soluções em: ") +
                                 implantacao::kSuporteEmail + " ou " +
                                 implantacao::kSuporteTelefone + "\n";

apoio::Resultado rodar(const std::vector<std::string>& argumentos) {
  std::vector<std::string> argv{apoio::programa()};
  argv.insert(argv.end(), argumentos.begin(), argumentos.end());
  return apoio::executar(argv);
}

TEST(Entrada, ContagemErradaDeArgumentosDaErroCritico) {
  for (const auto& argumentos : std::vector<std::vector<std::string>>{
           {},
           {"version"},
           {"atualizarEmMassa", "1", "Hospital"},
           {"version", "1", "Hospital", "a.py", "extra"},
       }) {
    const auto r = rodar(argumentos);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.saida, kErroCritico);
    EXPECT_EQ(r.erro, "uso: atualizacao_em_massa {atualizarEmMassa|listar|version} <1|2> "
                      "<tipo de cliente> <caminho/do/script.py>\n");
  }
}

TEST(Entrada, ModoDesconhecidoNaoEhErro) {
  for (const char* modo : {"Version", "atualizaremmassa", "", "version "}) {
    const auto r = rodar({modo, "1", "Hospital", "coleta/disco.py"});
    EXPECT_EQ(r.status, 0) << modo;
    EXPECT_EQ(r.saida, "Modo de execução não identificado.\n") << modo;
    EXPECT_EQ(r.erro, "") << modo;
  }
}

std::string linhaDireitos() { return std::string(implantacao::kAvisoDireitos) + "\n"; }

TEST(Entrada, VersaoComCaminhoAbsolutoMostraOCaminhoInalterado) {
  ASSERT_EQ(std::string(implantacao::kAvisoDireitos).rfind(" ", 0), 0u)
      << "the rights notice begins with a blank";
  const auto r = rodar({"version", "", "", ""});  // empty arguments are accepted
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.saida, linhaDireitos() + apoio::programa() + "  " + implantacao::VERSION + "\n");
  EXPECT_EQ(r.erro, "");
}

// The program name is printed as invoked, with every "./" turned into a blank.
TEST(Entrada, VersaoTrocaCadaPontoBarraPorEspaco) {
  const fs::path dir = fs::temp_directory_path() / ("entrada-" + std::to_string(getpid()));
  fs::create_directories(dir / "tools");
  fs::copy_file(apoio::programa(), dir / "tools" / "atualizacao_em_massa",
                fs::copy_options::overwrite_existing);
  // A name holding a right-to-left override, as a link could be called.
  fs::remove(dir / "tools" / "atua\u202elizacao");
  fs::create_symlink("atualizacao_em_massa", dir / "tools" / "atua\u202elizacao");
  const auto invocar = [&](const std::string& como) {
    return apoio::executar({"/bin/sh", "-c",
                            "cd '" + dir.string() + "' && exec " + como + " version 1 X y.py"});
  };
  struct Caso {
    const char* como;
    const char* nome;
  };
  for (const Caso& k : {
           Caso{"./tools/./atualizacao_em_massa", " tools/ atualizacao_em_massa"},
           Caso{"tools/atualizacao_em_massa", "tools/atualizacao_em_massa"},
           // Back to back: each "./" of the name as invoked, none formed by a blank.
           Caso{"././tools/atualizacao_em_massa", "  tools/atualizacao_em_massa"},
           Caso{"tools/.././tools/atualizacao_em_massa", "tools/.  tools/atualizacao_em_massa"},
           // Invisible and direction-changing characters are shown escaped.
           Caso{"./tools/atua\u202elizacao", " tools/atua\\u202elizacao"},
       }) {
    const auto r = invocar(k.como);
    EXPECT_EQ(r.saida, linhaDireitos() + k.nome + "  " + implantacao::VERSION + "\n") << k.como;
    EXPECT_EQ(r.status, 0) << k.como;
  }
  fs::remove_all(dir);
}

}  // namespace
