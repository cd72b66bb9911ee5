#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Text handling shared by the entry, the session's output cleaning, the
// inventory, the selection and the per-machine procedure. "White space" is
// the full Unicode set (tab, line feed, vertical tab, form feed, carriage
// return, 0x1C-0x1F, blank, U+0085, no-break space, U+1680, U+2000-U+200A,
// U+2028, U+2029, U+202F, U+205F, U+3000), so that a label, an answer or a
// remote output holding a no-break space splits and trims where a reader
// expects. Bytes that are not valid UTF-8 count as text, never as space.
namespace textos {

/// Splits at runs of white space; no empty words.
std::vector<std::string_view> palavras(std::string_view s);

/// Removes white space at both ends.
std::string_view aparar(std::string_view s);

/// Replaces every non-overlapping occurrence of `de`, left to right, in one
/// pass: what a replacement forms is not replaced again.
std::string substituirTodas(std::string_view s, std::string_view de, std::string_view para);

/// substituirTodas with nothing in place of `alvo`.
std::string removerTodas(std::string_view s, std::string_view alvo);

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

/// Length of the well-formed UTF-8 sequence at the start of `p` (of `n` > 0
/// bytes): 1 to 4; 0 when its first byte cannot start one or a later byte
/// breaks it; -1 when the bytes are a proper prefix of one and end there.
/// Overlong forms, surrogates and values past U+10FFFF are not well formed.
int sequenciaUtf8(const unsigned char* p, std::size_t n);

/// `s` from outside the tool (the API, a remote machine) made safe for a
/// terminal: C0 controls but line feed and tab, DEL, C1 controls
/// (U+0080-U+009F), Unicode's format characters (category Cf: soft hyphen,
/// zero-width and bidirectional controls, byte order mark, tags...), its
/// other default-ignorable code points (U+115F, U+3164, U+034F, variation
/// selectors...) and the line and paragraph separators U+2028 and U+2029
/// become visible escapes
/// ("\x1b", "\u009b", "\u202e", "\U000e0041"), as do bytes that are not
/// UTF-8 ("\x9b"), which some terminals read as C1.
std::string visivel(std::string_view s);

/// As visivel, with line feed and tab escaped as well: for a text from the
/// API inside a report line, a menu entry, an audit record or a diagnostic,
/// which must stay one line.
std::string visivelNumaLinha(std::string_view s);

}  // namespace textos
