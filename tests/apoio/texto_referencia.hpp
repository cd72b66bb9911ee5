#pragma once

// Plain, slow text handling over code points, written apart from the tool's
// byte-level code so that the fuzz targets can compare the two. It follows
// what Python does with str: bytes.decode("utf-8", errors="ignore"),
// str.isspace(), str.splitlines(), str.strip(), str.split() and
// str.replace().
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace referencia {

/// Code point of the well-formed sequence of exactly `n` bytes at `p`, or -1.
/// Written from the bit patterns: continuation bytes are 10xxxxxx, the value
/// must need all `n` bytes, and surrogates and values past U+10FFFF are not
/// characters.
inline long codigoSeValido(const unsigned char* p, std::size_t n) {
  static constexpr unsigned char kMarca[] = {0, 0x00, 0xC0, 0xE0, 0xF0};
  static constexpr unsigned char kMascara[] = {0, 0x80, 0xE0, 0xF0, 0xF8};
  static constexpr long kMenor[] = {0, 0, 0x80, 0x800, 0x10000};
  if (n < 1 || n > 4 || (p[0] & kMascara[n]) != kMarca[n]) return -1;
  long c = p[0] & static_cast<unsigned char>(~kMascara[n]);
  for (std::size_t i = 1; i < n; ++i) {
    if ((p[i] & 0xC0) != 0x80) return -1;
    c = (c << 6) | (p[i] & 0x3F);
  }
  if (c < kMenor[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return -1;
  return c;
}

/// True when the `n` bytes at `p` (1 to 3) can be completed into a
/// well-formed sequence. Only the second byte of a sequence has a range
/// that depends on the first, so trying each range's ends as the missing
/// bytes is enough.
inline bool prefixoValido(const unsigned char* p, std::size_t n) {
  static constexpr unsigned char kCandidatos[] = {0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF};
  for (std::size_t total = n + 1; total <= 4; ++total) {
    unsigned char s[4] = {};
    for (std::size_t i = 0; i < n; ++i) s[i] = p[i];
    const std::size_t faltam = total - n;
    std::size_t combinacoes = 1;
    for (std::size_t i = 0; i < faltam; ++i) combinacoes *= 6;
    for (std::size_t k = 0; k < combinacoes; ++k) {
      std::size_t resto = k;
      for (std::size_t i = n; i < total; ++i, resto /= 6) s[i] = kCandidatos[resto % 6];
      if (codigoSeValido(s, total) >= 0) return true;
    }
  }
  return false;
}

struct Decodificado {
  std::u32string texto;
  std::size_t pendentes = 0;  ///< bytes at the end that still make a valid prefix
};

/// Decodes, dropping every byte that starts no well-formed sequence; an
/// unfinished sequence at the end is reported, not decoded.
inline Decodificado decodificar(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  Decodificado r;
  std::size_t i = 0;
  while (i < n) {
    bool achou = false;
    for (std::size_t t = 1; t <= 4 && i + t <= n; ++t) {
      const long c = codigoSeValido(p + i, t);
      if (c >= 0) {
        r.texto.push_back(static_cast<char32_t>(c));
        i += t;
        achou = true;
        break;
      }
    }
    if (achou) continue;
    if (n - i < 4 && prefixoValido(p + i, n - i)) {
      r.pendentes = n - i;
      break;
    }
    ++i;
  }
  return r;
}

/// Python's decode(errors="ignore") of a whole text: the unfinished tail is
/// dropped too.
inline std::u32string decodificarTudo(std::string_view bytes) { return decodificar(bytes).texto; }

inline std::string codificar(std::u32string_view texto);

/// Decoding drops exactly the bytes that do not belong, so a text is valid
/// when encoding it back gives it unchanged.
inline bool utf8Valido(std::string_view bytes) {
  return codificar(decodificarTudo(bytes)) == bytes;
}

inline std::string codificar(std::u32string_view texto) {
  std::string s;
  for (char32_t c : texto) {
    if (c < 0x80) {
      s += static_cast<char>(c);
    } else if (c < 0x800) {
      s += static_cast<char>(0xC0 | (c >> 6));
      s += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      s += static_cast<char>(0xE0 | (c >> 12));
      s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      s += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      s += static_cast<char>(0xF0 | (c >> 18));
      s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      s += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return s;
}

/// str.isspace() for one character.
inline bool espaco(char32_t c) {
  struct Faixa {
    char32_t de, ate;
  };
  static constexpr Faixa kEspacos[] = {
      {0x0009, 0x000D}, {0x001C, 0x0020}, {0x0085, 0x0085}, {0x00A0, 0x00A0}, {0x1680, 0x1680},
      {0x2000, 0x200A}, {0x2028, 0x2029}, {0x202F, 0x202F}, {0x205F, 0x205F}, {0x3000, 0x3000},
  };
  for (const Faixa& f : kEspacos)
    if (c >= f.de && c <= f.ate) return true;
  return false;
}

/// The characters at which str.splitlines() breaks ("\r\n" counts once).
inline bool quebra(char32_t c) {
  for (char32_t q : {U'\n', U'\r', U'\v', U'\f', char32_t{0x1C}, char32_t{0x1D}, char32_t{0x1E},
                     char32_t{0x85}, char32_t{0x2028}, char32_t{0x2029}})
    if (c == q) return true;
  return false;
}

inline std::vector<std::u32string> linhas(std::u32string_view texto) {
  std::vector<std::u32string> r;
  std::u32string atual;
  for (std::size_t i = 0; i < texto.size(); ++i) {
    if (!quebra(texto[i])) {
      atual.push_back(texto[i]);
      continue;
    }
    if (texto[i] == U'\r' && i + 1 < texto.size() && texto[i + 1] == U'\n') ++i;
    r.push_back(std::move(atual));
    atual.clear();
  }
  if (!atual.empty()) r.push_back(std::move(atual));
  return r;
}

inline std::u32string aparar(std::u32string_view s) {
  std::size_t inicio = 0, fim = s.size();
  while (inicio < fim && espaco(s[inicio])) ++inicio;
  while (fim > inicio && espaco(s[fim - 1])) --fim;
  return std::u32string(s.substr(inicio, fim - inicio));
}

/// str.split() without arguments.
inline std::vector<std::u32string> palavras(std::u32string_view s) {
  std::vector<std::u32string> r;
  std::u32string atual;
  for (char32_t c : s) {
    if (espaco(c)) {
      if (!atual.empty()) r.push_back(std::move(atual));
      atual.clear();
    } else {
      atual.push_back(c);
    }
  }
  if (!atual.empty()) r.push_back(std::move(atual));
  return r;
}

/// str.replace(alvo, "") with a non-empty `alvo`.
inline std::u32string semOcorrencias(std::u32string_view s, std::u32string_view alvo) {
  std::u32string r;
  std::size_t i = 0;
  while (i < s.size()) {
    if (s.substr(i, alvo.size()) == alvo) {
      i += alvo.size();
    } else {
      r.push_back(s[i++]);
    }
  }
  return r;
}

}  // namespace referencia
