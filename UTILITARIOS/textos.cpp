#include "UTILITARIOS/textos.hpp"

#include <cstdio>

namespace textos {
namespace {

// Bytes taken by the white-space character that starts at `pos`, or 0. Every
// pattern here is a well-formed sequence, so invalid bytes are never space.
std::size_t espacoEm(std::string_view s, std::size_t pos) {
  const auto b = [&](std::size_t i) -> unsigned {
    return pos + i < s.size() ? static_cast<unsigned char>(s[pos + i]) : 0x100U;
  };
  const unsigned c = b(0);
  if ((c >= 0x09 && c <= 0x0D) || (c >= 0x1C && c <= 0x20)) return 1;
  if (c == 0xC2 && (b(1) == 0x85 || b(1) == 0xA0)) return 2;
  if (c == 0xE1 && b(1) == 0x9A && b(2) == 0x80) return 3;
  if (c == 0xE2 && b(1) == 0x80) {
    const unsigned u = b(2);
    if ((u >= 0x80 && u <= 0x8A) || u == 0xA8 || u == 0xA9 || u == 0xAF) return 3;
  }
  if (c == 0xE2 && b(1) == 0x81 && b(2) == 0x9F) return 3;
  if (c == 0xE3 && b(1) == 0x80 && b(2) == 0x80) return 3;
  return 0;
}

// Bytes taken by the white-space character that ends at `fim`, or 0.
std::size_t espacoAntes(std::string_view s, std::size_t fim) {
  for (std::size_t n = 1; n <= 3 && n <= fim; ++n)
    if (espacoEm(s, fim - n) == n) return n;
  return 0;
}

// Bytes of the character at `pos`: a byte that starts no well-formed UTF-8
// sequence counts alone, so that text in another encoding still advances
// and a blank after it still separates.
std::size_t caractereEm(std::string_view s, std::size_t pos) {
  const int t =
      sequenciaUtf8(reinterpret_cast<const unsigned char*>(s.data()) + pos, s.size() - pos);
  return t > 0 ? static_cast<std::size_t>(t) : 1;
}

void escape(std::string& saida, const char* formato, unsigned valor) {
  char escrito[12];
  std::snprintf(escrito, sizeof escrito, formato, valor);
  saida += escrito;
}

// Unicode's format characters (category Cf, Unicode 15.1), its other
// default-ignorable code points (fillers such as U+3164, variation selectors,
// the combining grapheme joiner) and the line and paragraph separators:
// invisible, or changing how the text around them is drawn (bidirectional
// overrides, U+2028 breaking a log line), while the bytes say something else.
constexpr struct {
  char32_t primeiro, ultimo;
} kInvisiveis[] = {
    {0xAD, 0xAD},       {0x34F, 0x34F},     {0x600, 0x605},     {0x61C, 0x61C},
    {0x6DD, 0x6DD},     {0x70F, 0x70F},     {0x890, 0x891},     {0x8E2, 0x8E2},
    {0x115F, 0x1160},   {0x17B4, 0x17B5},   {0x180B, 0x180F},   {0x200B, 0x200F},
    {0x2028, 0x202E},   {0x2060, 0x206F},   {0x3164, 0x3164},   {0xFE00, 0xFE0F},
    {0xFEFF, 0xFEFF},   {0xFFA0, 0xFFA0},   {0xFFF0, 0xFFFB},   {0x110BD, 0x110BD},
    {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A},
    {0xE0000, 0xE0FFF},
};

// The code point of a well-formed sequence of `t` bytes.
char32_t codigo(const unsigned char* p, std::size_t t) {
  char32_t c = p[0] & (0x7F >> t);
  for (std::size_t i = 1; i < t; ++i) c = (c << 6) | (p[i] & 0x3F);
  return c;
}

bool invisivel(char32_t c) {
  for (const auto& faixa : kInvisiveis)
    if (c >= faixa.primeiro && c <= faixa.ultimo) return true;
  return false;
}

std::string escapado(std::string_view s, bool quebras) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const std::size_t n = s.size();
  std::string saida;
  saida.reserve(n);
  for (std::size_t i = 0; i < n;) {
    const unsigned char b = p[i];
    if (b < 0x80) {
      if ((b < 0x20 && !(quebras && (b == '\n' || b == '\t'))) || b == 0x7F)
        escape(saida, "\\x%02x", b);
      else
        saida += static_cast<char>(b);
      ++i;
      continue;
    }
    const int t = sequenciaUtf8(p + i, n - i);
    if (t <= 0) {
      escape(saida, "\\x%02x", b);
      ++i;
    } else if (const char32_t c = codigo(p + i, t); (c >= 0x80 && c < 0xA0) || invisivel(c)) {
      escape(saida, c > 0xFFFF ? "\\U%08x" : "\\u%04x", static_cast<unsigned>(c));
      i += t;
    } else {
      saida.append(s.substr(i, t));
      i += t;
    }
  }
  return saida;
}

}  // namespace

std::vector<std::string_view> palavras(std::string_view s) {
  std::vector<std::string_view> resultado;
  std::size_t pos = 0;
  std::size_t inicio = std::string_view::npos;
  while (pos < s.size()) {
    const std::size_t espaco = espacoEm(s, pos);
    if (espaco > 0) {
      if (inicio != std::string_view::npos) resultado.push_back(s.substr(inicio, pos - inicio));
      inicio = std::string_view::npos;
      pos += espaco;
    } else {
      if (inicio == std::string_view::npos) inicio = pos;
      pos += caractereEm(s, pos);
    }
  }
  if (inicio != std::string_view::npos) resultado.push_back(s.substr(inicio));
  return resultado;
}

std::string_view aparar(std::string_view s) {
  std::size_t inicio = 0, fim = s.size();
  while (inicio < fim) {
    const std::size_t n = espacoEm(s.substr(0, fim), inicio);
    if (n == 0) break;
    inicio += n;
  }
  while (fim > inicio) {
    const std::size_t n = espacoAntes(s.substr(inicio), fim - inicio);
    if (n == 0) break;
    fim -= n;
  }
  return s.substr(inicio, fim - inicio);
}

std::string substituirTodas(std::string_view s, std::string_view de, std::string_view para) {
  if (de.empty()) return std::string(s);
  std::string saida;
  saida.reserve(s.size());
  std::size_t inicio = 0;
  for (std::size_t achado; (achado = s.find(de, inicio)) != std::string_view::npos;
       inicio = achado + de.size()) {
    saida.append(s.substr(inicio, achado - inicio));
    saida.append(para);
  }
  saida.append(s.substr(inicio));
  return saida;
}

std::string removerTodas(std::string_view s, std::string_view alvo) {
  return substituirTodas(s, alvo, {});
}

std::string minusculas(std::string_view s) {
  std::string resultado(s);
  for (char& c : resultado)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return resultado;
}

std::optional<Inteiro> lerInteiro(std::string_view s) {
  std::string_view numero = aparar(s);
  Inteiro valor;
  if (!numero.empty() && (numero.front() == '+' || numero.front() == '-')) {
    valor.negativo = numero.front() == '-';
    numero.remove_prefix(1);
  }
  if (numero.empty()) return std::nullopt;
  for (char c : numero)
    if (c < '0' || c > '9') return std::nullopt;
  const std::size_t primeiro = numero.find_first_not_of('0');
  valor.digitos = primeiro == std::string_view::npos ? "0" : std::string(numero.substr(primeiro));
  if (valor.digitos == "0") valor.negativo = false;
  return valor;
}

int sequenciaUtf8(const unsigned char* p, std::size_t n) {
  const unsigned char b = p[0];
  if (b < 0x80) return 1;
  int tamanho;
  unsigned char menor = 0x80, maior = 0xBF;
  if (b >= 0xC2 && b <= 0xDF) {
    tamanho = 2;
  } else if (b == 0xE0) {
    tamanho = 3;
    menor = 0xA0;
  } else if ((b >= 0xE1 && b <= 0xEC) || b == 0xEE || b == 0xEF) {
    tamanho = 3;
  } else if (b == 0xED) {
    tamanho = 3;
    maior = 0x9F;
  } else if (b == 0xF0) {
    tamanho = 4;
    menor = 0x90;
  } else if (b >= 0xF1 && b <= 0xF3) {
    tamanho = 4;
  } else if (b == 0xF4) {
    tamanho = 4;
    maior = 0x8F;
  } else {
    return 0;
  }
  for (int i = 1; i < tamanho; ++i) {
    if (static_cast<std::size_t>(i) >= n) return -1;
    const unsigned char c = p[i];
    if (c < (i == 1 ? menor : 0x80) || c > (i == 1 ? maior : 0xBF)) return 0;
  }
  return tamanho;
}

std::string visivel(std::string_view s) { return escapado(s, true); }

std::string visivelNumaLinha(std::string_view s) { return escapado(s, false); }

}  // namespace textos
