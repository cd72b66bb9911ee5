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

/// `texto` from outside the tool (the API, a remote machine) made safe for a
/// terminal: C0 controls but line feed and tab, DEL, C1 controls
/// (U+0080-U+009F), Unicode's format characters (category Cf: soft hyphen,
/// zero-width and bidirectional controls, byte order mark, tags...), its
/// other default-ignorable code points (U+115F, U+3164, U+034F, variation
/// selectors...) and the line and paragraph separators U+2028 and U+2029
/// become visible escapes
/// ("\x1b", "\u009b", "\u202e", "\U000e0041"), as do bytes that are not
/// UTF-8 ("\x9b"), which some terminals read as C1.
std::string visivel(std::string_view texto);

/// As visivel, with line feed and tab escaped as well: for a text from the
/// API inside a report line, a menu entry, an audit record or a diagnostic,
/// which must stay one line.
std::string visivelNumaLinha(std::string_view texto);

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
