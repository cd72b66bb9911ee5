#pragma once

#include <initializer_list>
#include <iosfwd>
#include <string_view>

// Console lines of the report: items joined by one blank, ended by a line
// feed. Colour sequences are items of their own, so a coloured line reads
// "<colour> <text> <reset>".
namespace console {

inline constexpr std::string_view GREEN = "\x1b[0;32m";
inline constexpr std::string_view YELLOW = "\x1b[0;93m";
inline constexpr std::string_view RESET = "\x1b[0;0m";

/// Writes one console line to `out`.
void escreverLinha(std::ostream& out, std::initializer_list<std::string_view> itens);

/// Writes one console line to standard output.
void linha(std::initializer_list<std::string_view> itens);

}  // namespace console
