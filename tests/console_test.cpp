// Texts from outside the tool on their way to the terminal.
#include "UTILITARIOS/console.hpp"
#include "UTILITARIOS/textos.hpp"

#include <gtest/gtest.h>

namespace {

TEST(Visivel, SoOsControlesFicamVisiveis) {
  struct Caso {
    std::string entrada, esperada;
  };
  const std::vector<Caso> casos = {
      {"Hospital Central\tção\n", "Hospital Central\tção\n"},  // line feed, tab, UTF-8 stay
      {"\x1b]0;titulo\x07", "\\x1b]0;titulo\\x07"},
      {std::string("a\0b\x7f", 4), "a\\x00b\\x7f"},
      {"\r\x08\x1b[2J", "\\x0d\\x08\\x1b[2J"},
      {"\xc2\x9b"
       "31m\xc2\x85\xc2\x9f",
       "\\u009b31m\\u0085\\u009f"},  // C1 controls, the last one included
      {"\xc2\xa0\xc2\xae\xe2\x80\xb0\xe3\x85\xa3", "\xc2\xa0\xc2\xae\xe2\x80\xb0\xe3\x85\xa3"},  // U+00A0 ® ‰ ㅣ
      // Default-ignorable fillers and selectors: U+115F, U+3164, U+034F,
      // U+FE0F, U+E0100.
      {"a\xe1\x85\x9f\xe3\x85\xa4\xcd\x8f\xef\xb8\x8f\xf3\xa0\x84\x80",
       "a\\u115f\\u3164\\u034f\\ufe0f\\U000e0100"},
      // Format characters (Cf) and the line and paragraph separators.
      {"abc\xe2\x80\xaegpj.exe", "abc\\u202egpj.exe"},  // right-to-left override
      {"a\xe2\x80\x8b\xe2\x80\x8f\xe2\x81\xa0\xe2\x81\xa6"
       "b",
       "a\\u200b\\u200f\\u2060\\u2066b"},
      {"\xef\xbb\xbfx\xc2\xad\xe2\x80\xa8\xe2\x80\xa9", "\\ufeffx\\u00ad\\u2028\\u2029"},
      {"\xd8\x80\xd8\x9c\xdb\x9d\xdc\x8f\xe1\xa0\x8e", "\\u0600\\u061c\\u06dd\\u070f\\u180e"},
      {"\xf3\xa0\x80\x81\xf3\xa0\x81\x81\xf3\xa0\x81\xbf",
       "\\U000e0001\\U000e0041\\U000e007f"},  // tags
      {"\xf0\x91\x82\xbd\xf0\x9d\x85\xb3", "\\U000110bd\\U0001d173"},
      {"\x9b"
       "31m\xff\xc3",
       "\\x9b31m\\xff\\xc3"},  // bytes that are not UTF-8
  };
  for (const auto& c : casos) EXPECT_EQ(textos::visivel(c.entrada), c.esperada) << c.entrada;
}

}  // namespace
