// Splitting, trimming, replacing and whole numbers, as every caller reads them.
#include "UTILITARIOS/textos.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using textos::aparar;
using textos::lerInteiro;
using textos::palavras;

TEST(Texto, PalavrasSeparamEmQualquerEspacoUnicode) {
  using V = std::vector<std::string_view>;
  EXPECT_EQ(palavras("  a\tb\n\x0b\x0c\r c  "), (V{"a", "b", "c"}));
  EXPECT_EQ(palavras("a\x1c"
                     "b\x1f"
                     "c"),
            (V{"a", "b", "c"}));
  // U+00A0, U+2007, U+3000, U+0085, U+2028, U+205F, U+1680.
  EXPECT_EQ(palavras("a\xc2\xa0"
                     "b\xe2\x80\x87"
                     "c\xe3\x80\x80"
                     "d\xc2\x85"
                     "e\xe2\x80\xa8"
                     "f\xe2\x81\x9f"
                     "g\xe1\x9a\x80"
                     "h"),
            (V{"a", "b", "c", "d", "e", "f", "g", "h"}));
  // Letters whose UTF-8 bytes resemble a space's are not split: à (C3 A0),
  // U+200B (zero-width space, not white space), U+2060.
  EXPECT_EQ(palavras("à\xe2\x80\x8b"
                     "b\xe2\x81\xa0"
                     "c"),
            (V{"à\xe2\x80\x8b"
               "b\xe2\x81\xa0"
               "c"}));
  // A byte that starts no character stands alone: the blank after it splits.
  EXPECT_EQ(palavras("\xe2 a\xf0\tb"), (V{"\xe2", "a\xf0", "b"}));
  EXPECT_TRUE(palavras(" \t ").empty());
  EXPECT_TRUE(palavras("").empty());
}

TEST(Texto, AparaSoAsPontas) {
  EXPECT_EQ(aparar("  SAIR \r"), "SAIR");
  EXPECT_EQ(aparar("\xe3\x80\x80"
                   "a b\xc2\xa0"),
            "a b");
  EXPECT_EQ(aparar("à"), "à");
  EXPECT_EQ(aparar(" \n "), "");
  // Invalid bytes are text: a stray lead byte does not swallow the blank after it.
  EXPECT_EQ(aparar("a\xe2 "), "a\xe2");
  EXPECT_EQ(aparar("\x80\x85 x"), "\x80\x85 x");
}

TEST(Texto, SubstituiEmUmaPassagemSemSobreposicao) {
  struct Caso {
    const char* texto;
    const char* de;
    const char* para;
    const char* esperado;
  };
  for (const Caso& k : {
           Caso{"SenSenhaha", "Senha", "", "Senha"},
           Caso{"SenhaSenha x Senha", "Senha", "", " x "},
           Caso{"aaa", "aa", "", "a"},
           Caso{"abc", "", "", "abc"},
           Caso{"././x", "./", " ", "  x"},
           Caso{".././x", "./", " ", ".  x"},
           Caso{"Python 3.8 Python ", "Python ", "", "3.8 "},
       }) {
    EXPECT_EQ(textos::substituirTodas(k.texto, k.de, k.para), k.esperado) << k.texto;
  }
}

TEST(Texto, InteiroComoDigitado) {
  struct Caso {
    const char* texto;
    bool valido;
    bool negativo;
    const char* digitos;
  };
  for (const Caso& k : {
           Caso{"1", true, false, "1"}, Caso{" 2\n", true, false, "2"},
           Caso{"+07", true, false, "7"}, Caso{"-0", true, false, "0"},
           Caso{"000", true, false, "0"}, Caso{"-12", true, true, "12"},
           Caso{"123456789012345678901234567890", true, false, "123456789012345678901234567890"},
           Caso{"", false, false, ""}, Caso{"+", false, false, ""}, Caso{"- 1", false, false, ""},
           Caso{"1 1", false, false, ""}, Caso{"1.0", false, false, ""},
           Caso{"1e3", false, false, ""}, Caso{"0x10", false, false, ""},
           Caso{"++1", false, false, ""},
           Caso{"\xef\xbc\x91", false, false, ""},  // fullwidth digit one
       }) {
    const auto n = lerInteiro(k.texto);
    ASSERT_EQ(n.has_value(), k.valido) << k.texto;
    if (!n) continue;
    EXPECT_EQ(n->negativo, k.negativo) << k.texto;
    EXPECT_EQ(n->digitos, k.digitos) << k.texto;
  }
}

}  // namespace
