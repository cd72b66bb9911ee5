#pragma once

#include <initializer_list>
#include <iosfwd>
#include <mutex>
#include <string>
#include <string_view>

#include "UTILITARIOS/falhas.hpp"

// Console lines of the report: items joined by one blank, ended by a line
// feed. Colour sequences are items of their own, so a coloured line reads
// "<colour> <text> <reset>".
namespace console {

inline constexpr std::string_view GREEN = "\x1b[0;32m";
inline constexpr std::string_view YELLOW = "\x1b[0;93m";
inline constexpr std::string_view RESET = "\x1b[0;0m";

/// Reads the environment once, at the program's start: a set, non-empty
/// NO_COLOR (the no-color.org convention) drops the colour items of every
/// line from then on. Without this call lines keep their colours.
void lerAmbiente();

/// Writes one console line to `out`, with or without its colour items.
void escreverLinha(std::ostream& out, std::initializer_list<std::string_view> itens);

/// Writes one line of the report to `out` and flushes it, holding trava().
/// Throws falhas::Falha when it cannot be written (a closed or full output):
/// a report that is lost must stop the run before the next machine.
void linha(std::ostream& out, std::initializer_list<std::string_view> itens);

/// Held while a report line is written, so that the line another thread
/// writes (the summary of a run cut by a signal) never lands inside one.
std::timed_mutex& trava();

/// The failure of a report written into a pipe whose reader has gone
/// (EPIPE): the run ends as the reader meant it to.
class SaidaFechada : public falhas::Falha {
 public:
  using Falha::Falha;
};

/// Throws that falhas::Falha (SaidaFechada for a closed pipe) when `out` has
/// failed.
void verificarSaida(const std::ostream& out);

}  // namespace console
