#include "UTILITARIOS/console.hpp"

#include <iostream>
#include <ostream>

namespace console {

void escreverLinha(std::ostream& out, std::initializer_list<std::string_view> itens) {
  bool primeiro = true;
  for (std::string_view item : itens) {
    if (!primeiro) out << ' ';
    out << item;
    primeiro = false;
  }
  out << '\n';
}

void linha(std::initializer_list<std::string_view> itens) {
  escreverLinha(std::cout, itens);
  // Operators follow the report live, often through tee: one machine can
  // take seconds, so every line goes out as soon as it is complete.
  std::cout.flush();
}

}  // namespace console
