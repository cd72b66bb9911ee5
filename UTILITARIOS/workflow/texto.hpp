#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Text splitting and trimming as the workflow's rules define them. "White
// space" is the full Unicode set (tab, line feed, vertical tab, form feed,
// carriage return, 0x1C-0x1F, blank, U+0085, no-break space, U+1680,
// U+2000-U+200A, U+2028, U+2029, U+202F, U+205F, U+3000), so that a label or
// an answer typed with a no-break space splits where an operator expects.
namespace workflow::texto {

/// Bytes taken by the white-space character that starts at `pos` in the
/// UTF-8 text, or 0 when there is none.
std::size_t espacoEm(std::string_view s, std::size_t pos);

/// Splits at runs of white space; no empty words.
std::vector<std::string_view> palavras(std::string_view s);

/// Removes white space at both ends.
std::string_view aparar(std::string_view s);

/// Lower-cases ASCII letters; other bytes are kept.
std::string minusculas(std::string_view s);

/// A whole number as typed: optional white space, an optional "+" or "-",
/// at least one ASCII digit, optional white space. The value is the exact
/// digits without leading zeros, so that no size overflows.
struct Inteiro {
  bool negativo = false;
  std::string digitos;  ///< "0" for zero; zero is never negative
};
std::optional<Inteiro> lerInteiro(std::string_view s);

}  // namespace workflow::texto
