#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the shell prints, from received bytes to the text the caller sees.
// Pure: no I/O, no clock. Every text here is UTF-8.
namespace ssh::saida {

/// Turns received blocks into UTF-8 text, dropping every byte that cannot be
/// part of a valid sequence (surrogates, overlong forms, stray continuation
/// bytes, code points above U+10FFFF) as a lenient decoder does. A sequence
/// cut by the end of a block is kept back and completed by the next block, so
/// a character split between two receives survives; whatever is still kept
/// back when the decoder is dropped is lost.
class DecodificadorUtf8 {
 public:
  /// Decodes `bloco` after the bytes kept back from the previous call.
  std::string decodificar(std::string_view bloco);

 private:
  std::string pendente_;
};

/// The pager rule, applied to one decoded block: returns true when the block
/// holds "--More--" or any ":" (the remote side waits for a blank), and then
/// removes every "--More--" and, after that, every ":" from it.
bool tratarPaginador(std::string& bloco);

/// Everything collected while one or more typed lines run, with the test of
/// their end. One command ends at the marker (the prompt after it); of
/// several typed at once, each but the last ends at the last marker before
/// su's prompt word of the next, and the last at a marker after its own su
/// prompt word. The text is scanned once, as it grows.
class Coletor {
 public:
  /// An absent or empty marker is never seen.
  explicit Coletor(std::optional<std::string> marcador, std::size_t comandos = 1);
  /// Appends one non-empty block.
  void acrescentar(std::string_view bloco);
  /// True while the last command's end, a marker with no line feed after
  /// it, is the last thing received.
  bool marcadorVisto() const { return visto_; }
  const std::string& texto() const { return texto_; }
  /// Each command's cleaned output (see limparSaida; a line holding the echo
  /// of any of `comandos` is no output). A command whose end was not seen
  /// takes the rest of the text, and the ones after it are empty.
  std::vector<std::string> saidas(const std::vector<std::string>& comandos) const;

 private:
  std::optional<std::string> marcador_;
  std::size_t comandos_;
  std::string texto_;
  bool visto_ = false;
  // Where each command's text ends, for the commands but the last.
  std::vector<std::size_t> fronteiras_;
  std::size_t desde_ = 0;       // where the search goes on
  bool procuraPrompt_ = false;  // a marker was found: su's prompt word comes next
};

/// Splits at every line break of the Unicode line-splitting rules: "\n",
/// "\r", "\r\n" (one break), "\v", "\f", "\x1c", "\x1d", "\x1e", U+0085,
/// U+2028 and U+2029. The breaks are not kept; a break at the very end does
/// not start an empty last line, and an empty text has no lines.
std::vector<std::string_view> dividirLinhas(std::string_view texto);

/// A text as the output cleaning leaves it: without bytes that are not
/// UTF-8, "--More--", colons and su's prompt words ("Senha", "Password"),
/// stripped.
std::string comoALimpezaDeixa(std::string_view texto);

/// The cleaning of a command's collected output: keeps only the lines holding
/// su's prompt, "Senha" or, from an English su, "Password", each without any
/// of these words and stripped (textos::aparar); drops the
/// first kept line when it equals `comando`, every kept line that holds the
/// non-empty echo of `comando` as the cleaning leaves it (without "--More--",
/// colons and "Senha", stripped; no typed line is ever returned), and the
/// last one when it ends with a non-empty `marcador`; joins the rest with
/// "\n" and strips the result.
std::string limparSaida(std::string_view recebido, std::string_view comando,
                        const std::optional<std::string>& marcador);

}  // namespace ssh::saida
