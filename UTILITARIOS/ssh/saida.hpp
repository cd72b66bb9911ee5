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
  /// Bytes kept back for the next block (0 to 3).
  std::size_t pendentes() const { return pendente_.size(); }

 private:
  std::string pendente_;
};

/// The pager rule, applied to one decoded block: returns true when the block
/// holds "--More--" or any ":" (the remote side waits for a blank), and then
/// removes every "--More--" and, after that, every ":" from it.
bool tratarPaginador(std::string& bloco);

/// Everything collected during one command, with the end-marker test. The
/// marker is searched only in the newly appended part plus the marker's
/// length less one bytes before it, so a long output is scanned once.
class Coletor {
 public:
  /// An absent or empty marker is never seen.
  explicit Coletor(std::optional<std::string> marcador);
  /// Appends one non-empty block.
  void acrescentar(std::string_view bloco);
  /// True once the marker occurs anywhere in the collected text.
  bool marcadorVisto() const { return visto_; }
  const std::string& texto() const { return texto_; }

 private:
  std::optional<std::string> marcador_;
  std::string texto_;
  bool visto_ = false;
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
/// of these words and stripped (texto::aparar); drops the
/// first kept line when it equals `comando`, every kept line that holds the
/// non-empty echo of `comando` as the cleaning leaves it (without "--More--",
/// colons and "Senha", stripped; no typed line is ever returned), and the
/// last one when it ends with a non-empty `marcador`; joins the rest with
/// "\n" and strips the result.
std::string limparSaida(std::string_view recebido, std::string_view comando,
                        const std::optional<std::string>& marcador);

}  // namespace ssh::saida
