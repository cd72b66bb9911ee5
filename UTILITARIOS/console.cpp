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

void linha(std::initializer_list<std::string_view> itens) { escreverLinha(std::cout, itens); }

}  // namespace console
