// Texts from outside the tool on their way to the terminal.
#include "UTILITARIOS/console.hpp"

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
       "31m\xc2\x85",
       "\\u009b31m\\u0085"},                             // C1 controls
      {"\xc2\xa0\xe2\x80\xa8", "\xc2\xa0\xe2\x80\xa8"},  // not controls
      {"\x9b"
       "31m\xff\xc3",
       "\\x9b31m\\xff\\xc3"},  // bytes that are not UTF-8
  };
  for (const auto& c : casos) EXPECT_EQ(console::visivel(c.entrada), c.esperada) << c.entrada;
}

}  // namespace
