// The typed lines are run by a real bash with history expansion on, as the
// remote interactive shell would, with `su` replaced by a function that
// keeps what it was given.
#include "UTILITARIOS/workflow/comandos_remotos.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/apoio/processo.hpp"

namespace {

namespace fs = std::filesystem;
using namespace workflow::comandos;

class ComandosRemotos : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("comandos-" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs `linha` as an interactive shell would, after the read that
  // connect() starts has defined zelvo_su; su stores the password line it
  // reads and runs its command with bash in dir_.
  void digitar(const std::string& linha) {
    const std::string script =
        "set -o history -o histexpand\n"
        "cd '" + dir_.string() + "'\n"
        "zelvo_su() { printf '%s\\n' raiz | \"$@\"; }\n"
        "su() { IFS= read -r l; printf '%s' \"$l\" > senha.out; PATH=\"$PWD/bin:$PATH\" bash -c \"$2\" > comando.out; }\n"
        "echo anterior >/dev/null\n" + linha + "\n";
    const auto r = apoio::executar({"/bin/bash", "--norc", "--noprofile", "-s"}, script);
    ASSERT_EQ(r.status, 0) << r.erro;
  }
  std::string ler(const char* nome) { return apoio::lerArquivo((dir_ / nome).string()); }

  fs::path dir_;
};

const std::vector<std::string> kValoresHostis = {
    "senha com espaço", "aspas\"duplas", "cifrao$HOME", "crase`id`", "barra\\invertida",
    "exclamacao!!", "a!b", "porcento%s%d%%", "aspa'simples", "\\n\\t\\101", "$(touch pwned)",
    ";touch pwned;", "x && touch pwned", "ção-ü", "~*?[a]{b,c}<>|&#",
};

TEST_F(ComandosRemotos, ValoresChegamLiteraisAoComandoInterno) {
  for (const auto& valor : kValoresHostis) {
    const std::string linha = comoRoot("printf '%s' " + valorLiteral(valor));
    EXPECT_EQ(linha.find('$'), std::string::npos) << linha;
    EXPECT_EQ(linha.find('!'), std::string::npos) << linha;
    digitar(linha);
    EXPECT_EQ(ler("comando.out"), valor) << linha;
  }
  EXPECT_FALSE(fs::exists(dir_ / "pwned")) << "a value ran a command";
}

TEST_F(ComandosRemotos, ValoresSimplesFicamComoSaoNaLinha) {
  for (const std::string valor : {"coleta/disco.py", "Senha_2024.x-y@z+w=v,u:t", ""})
    EXPECT_EQ(valorLiteral(valor), valor);
  EXPECT_EQ(comoRoot("true"), "zelvo_su su -c \"true\"");
}

// The download replaces the script only when wget succeeds, and says so
// first; run with a stand-in wget against a real directory.
TEST_F(ComandosRemotos, DownloadSoSubstituiQuandoWgetConclui) {
  struct Caso {
    std::string nome;
    bool sucesso;
  };
  const std::vector<Caso> casos = {{"disco.py", false}, {"disco.py", true}, {"dis'co.py", true}};
  for (const auto& c : casos) {
    const std::string comando = download("https://scripts.zelvo.example/python3/x/" + c.nome);
    // `echo <base64>|base64 -d|sh`, pointed at dir_.
    ASSERT_TRUE(comando.starts_with("echo ") && comando.ends_with("|base64 -d|sh")) << comando;
    EXPECT_LT(comando.size(), 3000u);
    EXPECT_EQ(comando.find('$'), std::string::npos);
    std::string script =
        apoio::executar({"/usr/bin/base64", "-d"}, comando.substr(5, comando.find('|') - 5)).saida;
    const std::string dir = std::string(kDiretorio);
    script.replace(script.find(dir), dir.size(), dir_.string() + "/");
    // A stand-in wget that, like the real one, opens its output file first.
    fs::create_directories(dir_ / "bin");
    const std::string wget = (dir_ / "bin" / "wget").string();
    apoio::executar({"/bin/sh", "-c",
                     "printf '#!/bin/sh\\nwhile [ \"$1\" != -O ]; do shift; done\\n: > \"$2\"\\n" +
                         std::string(c.sucesso ? "printf novo > \"$2\"\\n" : "exit 8\\n") +
                         "' > '" + wget + "' && chmod +x '" + wget + "' && printf velho > '" +
                         (dir_ / c.nome).string() + "'"});
    digitar(comoRoot("PATH=" + (dir_ / "bin").string() + ":/usr/bin:/bin sh -c " +
                                 valorLiteral(script)));
    EXPECT_EQ(apoio::lerArquivo((dir_ / c.nome).string()), c.sucesso ? "novo" : "velho") << c.nome;
    EXPECT_EQ(ler("comando.out").starts_with(std::string(kDownloadConcluido) + " "), c.sucesso)
        << c.nome << ": " << ler("comando.out");
    EXPECT_TRUE(fs::is_directory(dir_ / "bin"));
    for (const auto& f : fs::directory_iterator(dir_))
      EXPECT_EQ(f.path().filename().string().find(".atualizacao-"), std::string::npos) << f.path();
  }
}

}  // namespace
