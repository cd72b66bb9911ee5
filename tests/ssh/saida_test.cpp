#include "UTILITARIOS/ssh/saida.hpp"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "UTILITARIOS/textos.hpp"
#include "tests/apoio/processo.hpp"

namespace {

using namespace std::string_literals;
using ssh::saida::Coletor;
using ssh::saida::DecodificadorUtf8;

// ------------------------------------------------------------ UTF-8

TEST(DecodificadorUtf8, CaracterDivididoEntreBlocosSobrevive) {
  const std::string texto = "Falha de autentica\xc3\xa7\xc3\xa3o \xe2\x82\xac \xf0\x9f\x98\x80!";
  for (std::size_t corte = 0; corte <= texto.size(); ++corte) {
    DecodificadorUtf8 d;
    std::string junto = d.decodificar(std::string_view(texto).substr(0, corte));
    junto += d.decodificar(std::string_view(texto).substr(corte));
    EXPECT_EQ(junto, texto) << "cut at " << corte;
  }
}

TEST(DecodificadorUtf8, SequenciaTruncadaNoFimFicaPendenteEDepoisSePerde) {
  DecodificadorUtf8 d;
  EXPECT_EQ(d.decodificar("abc\xc3"), "abc");
  // What follows is no continuation: the kept byte is dropped, the rest stays.
  EXPECT_EQ(d.decodificar("x\xe2\x82"), "x");
  EXPECT_EQ(d.decodificar("\xac"), "\xe2\x82\xac");
  EXPECT_EQ(d.decodificar("\xe0\x80"), "");
}

// ------------------------------------------------------------ pager rule

TEST(Paginador, RespondeERemoveMaisEDoisPontos) {
  struct Caso {
    std::string bloco;
    bool responde;
    std::string depois;
  };
  const std::vector<Caso> casos = {
      {"linha comum\r\n", false, "linha comum\r\n"},
      {"--More--(42%)", true, "(42%)"},
      {"drwxr-xr-x 2 root root 4096 mar 3 12:30 .\r\n", true,
       "drwxr-xr-x 2 root root 4096 mar 3 1230 .\r\n"},
      {"::", true, ""},
      {"--More--", true, ""},
      {"----More----", true, "----"},
      {"--Mo:re--", true, "--More--"},  // "--More--" goes first, the colon after
      {"--more--", false, "--more--"},
      {"", false, ""},
  };
  for (auto c : casos) {
    std::string bloco = c.bloco;
    EXPECT_EQ(ssh::saida::tratarPaginador(bloco), c.responde) << c.bloco;
    EXPECT_EQ(bloco, c.depois) << c.bloco;
  }
}

// ------------------------------------------------------------ end marker

TEST(Coletor, MarcadorLongoDivididoEntreBlocos) {
  Coletor c("FIM!"s);
  c.acrescentar("xxF");
  c.acrescentar("I");
  EXPECT_FALSE(c.marcadorVisto());
  c.acrescentar("M");
  EXPECT_FALSE(c.marcadorVisto());
  c.acrescentar("!yy");
  EXPECT_TRUE(c.marcadorVisto());

  Coletor quase("FIM!"s);
  for (const char* b : {"F", "IM", "?", "FI", "M", "x!"}) quase.acrescentar(b);
  EXPECT_FALSE(quase.marcadorVisto());
}

TEST(Coletor, SemMarcadorOuVazioNuncaTermina) {
  Coletor ausente(std::nullopt);
  Coletor vazio(""s);
  for (Coletor* c : {&ausente, &vazio}) {
    c->acrescentar("user@m:~$ ");
    EXPECT_FALSE(c->marcadorVisto());
    EXPECT_EQ(c->texto(), "user@m:~$ ");
  }
}

// ------------------------------------------------------------ cleaning

// One received block through the decoder and the pager rule, then cleaned.
std::string coletarELimpar(const std::vector<std::string>& blocos, const std::string& comando,
                           const std::optional<std::string>& marcador) {
  DecodificadorUtf8 d;
  Coletor c(marcador);
  for (const auto& b : blocos) {
    std::string texto = d.decodificar(b);
    ssh::saida::tratarPaginador(texto);
    if (!texto.empty()) c.acrescentar(texto);
  }
  return ssh::saida::limparSaida(c.texto(), comando, marcador);
}

const std::string kSuErrado = R"(printf "errada\n" | su -c "ls /opt")";

TEST(LimparSaida, SenhaRecusada) {
  const std::string recebido =
      kSuErrado + "\r\nSenha: su: Falha de autentica\xc3\xa7\xc3\xa3o\r\n" + "suporte@maq1:~$ ";
  EXPECT_EQ(coletarELimpar({recebido}, kSuErrado, "$"s), "su Falha de autentica\xc3\xa7\xc3\xa3o");
  // The same, with "ç" split between two receives.
  const auto corte = recebido.find("\xa7");
  EXPECT_EQ(coletarELimpar({recebido.substr(0, corte), recebido.substr(corte)}, kSuErrado, "$"s),
            "su Falha de autentica\xc3\xa7\xc3\xa3o");  // An su without the Portuguese messages.
  EXPECT_EQ(coletarELimpar({"x\r\nPassword: su: Authentication failure\r\nsuporte@maq1:~$ "}, "x",
                           "$"s),
            "su Authentication failure");
}

TEST(LimparSaida, ComandoSemSaida) {
  const std::string comando = R"(printf "root\n" | su -c "true")";
  EXPECT_EQ(coletarELimpar({comando + "\r\n", "Senha: suporte@maq1:~$ "}, comando, "$"s), "");
  // Without a marker the prompt line stays.
  EXPECT_EQ(coletarELimpar({comando + "\r\n", "Senha: suporte@maq1:~$ "}, comando, std::nullopt),
            "suporte@maq1~$");
}

TEST(LimparSaida, SoALinhaDaSenhaFica) {
  const std::string comando = R"(printf "root\n" | su -c "ls -l")";
  const std::string recebido =
      comando + "\r\nSenha: total 8\r\n-rw-r--r-- 1 root root 0 jan 1 10:00 a.py\r\n" +
      "-rw-r--r-- 1 root root 0 jan 1 10:00 b.py\r\nsuporte@maq1:~$ ";
  EXPECT_EQ(coletarELimpar({recebido}, comando, "$"s), "total 8");
}

TEST(LimparSaida, RegrasDaPrimeiraEDaUltimaLinha) {
  const std::optional<std::string> cifrao = "$"s;
  // A kept line is dropped when it is the command itself.
  EXPECT_EQ(ssh::saida::limparSaida("Senhals\nSenha saida", "ls", cifrao), "saida");
  EXPECT_EQ(ssh::saida::limparSaida("Senha saida\nSenhals", "ls", cifrao), "saida");
  // Only the last line goes for ending with the marker, and only that one.
  EXPECT_EQ(ssh::saida::limparSaida("Senha a$\nSenha b$", "x", cifrao), "a$");
  EXPECT_EQ(ssh::saida::limparSaida("Senha a$\nSenha b$", "x", ""s), "a$\nb$");
  EXPECT_EQ(ssh::saida::limparSaida("Senha $ \nSenha b", "x", cifrao), "$\nb");
  // Lines left empty stay inside, and the joined text is stripped.
  EXPECT_EQ(ssh::saida::limparSaida("Senha\nSenha a\nSenha\nSenha b\nSenha", "x", std::nullopt),
            "a\n\nb");
  EXPECT_EQ(ssh::saida::limparSaida("nada aqui\r\n", "x", cifrao), "");
  EXPECT_EQ(ssh::saida::limparSaida("", "x", cifrao), "");
}

TEST(LimparSaida, QuebrasUnicodeSeparamLinhas) {
  EXPECT_EQ(
      ssh::saida::limparSaida("Senha g\xe2\x80\xa8h Senha\xc2\x85i\x1dSenha j", "x", std::nullopt),
      "g\nh\nj");
}

// Lines typed together, fed whole or byte by byte: each output as if typed alone.
TEST(Coletor, TabelaDasLinhasDigitadasJuntas) {
  const std::vector<std::string> c = {"baixar", "chmod Senha.py", "listar"};
  const std::vector<std::tuple<std::string, bool, std::vector<std::string>>> casos = {
      {"baixar\r\nSenha: OK 1:2\r\nu@m:~$ chmod Senha.py\r\nSenha: \r\nu@m:~$ listar\r\n"
       "Senha: -rwx a\r\nu@m:~$ ", true, {"OK 12", "", "-rwx a"}},
      {"baixar\r\nchmod Senha.py\r\nlistar\r\nSenha: OK\r\n$ Senha: $ Senha: -rwx a\r\n$ ", true,
       {"OK", "", "-rwx a"}},
      {"Senha: a$b\r\nc$d\r\n$ Password: x\r\n$ Senha: y\r\n$ ", true, {"a$b", "x", "y"}},
      {"Senha: a\r\n$ Senha: b$x", false, {"a", "b$x", ""}},
      {"Senha: a\r\n$ Senha: \r\n$ Senha: -rw $(x).py\r\n", false, {"a", "", "-rw $(x).py"}},
      {"Senha: a\r\n$ Senha: \r\n$ Senha: -rw $(x).py\r\nu@m:~$ \x1b[K\r\x1b[9C", true, {"a", "", "-rw $(x).py"}},
  };
  for (auto [recebido, completo, saidas] : casos) {
    ssh::saida::tratarPaginador(recebido);  // as the session does to every block
    Coletor inteiro("$"s, c.size()), aosBytes("$"s, c.size());
    inteiro.acrescentar(recebido);
    for (char b : recebido) aosBytes.acrescentar(std::string(1, b));
    for (const Coletor* coletor : {&inteiro, &aosBytes}) {
      EXPECT_EQ(coletor->marcadorVisto(), completo) << recebido;
      EXPECT_EQ(coletor->saidas(c), saidas) << recebido;
    }
  }
}

// ------------------------------------------------------------ against Python

// Random texts built from every line break, white-space character and kind
// of invalid UTF-8, checked against Python's own decode(errors="ignore"),
// splitlines() and strip().
TEST(OraculoPython, DecodificarDividirERemoverEspacos) {
  // clang-format off
  const std::vector<std::string> pecas = {
      "a", "Senha", ":", "$", " ", "\t", "\r", "\n", "\r\n", "\v", "\f", "\x1c", "\x1d", "\x1e",
      "\x1f", std::string(1, '\0'), "\xc2\x85", "\xc2\xa0", "\xe2\x80\xa8", "\xe2\x80\xa9",
      "\xe3\x80\x80", "\xe1\x9a\x80", "\xe2\x80\x8a", "\xe2\x80\xaf", "\xe2\x80\x8b", "\xc3\xa7",
      "\xf0\x9f\x98\x80", "\xed\x9f\xbf", "\xf4\x8f\xbf\xbf",
      // invalid: lone bytes, a cut sequence, surrogate, overlong forms, past U+10FFFF
      "\xff", "\x80", "\xc3", "\xf5", "\xe2\x82", "\xed\xa0\x80", "\xc0\xaf", "\xe0\x9f\x80",
      "\xf4\x90\x80\x80"};
  // clang-format on
  std::mt19937 gerador(20240611);
  std::uniform_int_distribution<std::size_t> peca(0, pecas.size() - 1), tamanho(0, 12);
  auto hex = [](std::string_view s) {
    static const char* d = "0123456789abcdef";
    std::string h;
    for (unsigned char c : s) h += {d[c >> 4], d[c & 15]};
    return h;
  };

  std::vector<std::string> brutos, textos;
  std::ostringstream pedido;
  for (int i = 0; i < 1000; ++i) {
    std::string bruto;
    for (std::size_t n = tamanho(gerador); n > 0; --n) bruto += pecas[peca(gerador)];
    // Decoded in random pieces: the result must not depend on the cuts.
    DecodificadorUtf8 d;
    std::string texto;
    for (std::size_t pos = 0; pos < bruto.size();) {
      const std::size_t n = 1 + tamanho(gerador) % 5;
      texto += d.decodificar(std::string_view(bruto).substr(pos, n));
      pos += n;
    }
    brutos.push_back(bruto);
    textos.push_back(texto);
    pedido << "d " << hex(bruto) << "\nl " << hex(texto) << "\ns " << hex(texto) << "\n";
  }

  const auto r = apoio::executar(
      {ATUALIZACAO_PYTHON, ATUALIZACAO_FONTES "/tests/ssh/oraculo_texto.py"}, pedido.str());
  ASSERT_EQ(r.status, 0) << r.erro;
  std::istringstream respostas(r.saida);
  for (std::size_t i = 0; i < brutos.size(); ++i) {
    std::string decodificado, linhas, despido;
    ASSERT_TRUE(std::getline(respostas, decodificado) && std::getline(respostas, linhas) &&
                std::getline(respostas, despido))
        << "oracle gave too few answers";
    EXPECT_EQ(hex(textos[i]), decodificado) << hex(brutos[i]);
    std::string nossas;
    for (auto l : ssh::saida::dividirLinhas(textos[i]))
      nossas += (nossas.empty() ? "." : " .") + hex(l);
    EXPECT_EQ(nossas, linhas) << hex(textos[i]);
    EXPECT_EQ(hex(textos::aparar(textos[i])), despido) << hex(textos[i]);
  }
}

}  // namespace
