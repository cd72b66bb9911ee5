#include "UTILITARIOS/console.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>

#include "UTILITARIOS/falhas.hpp"
#include "UTILITARIOS/texto.hpp"

namespace console {

namespace {

void escape(std::string& saida, const char* formato, unsigned valor) {
  char texto[12];
  std::snprintf(texto, sizeof texto, formato, valor);
  saida += texto;
}

// Length of the well-formed UTF-8 sequence at `p` (of `n` bytes), or 0.
std::size_t sequencia(const unsigned char* p, std::size_t n) {
  const int t = texto::sequenciaUtf8(p, n);
  return t > 0 ? static_cast<std::size_t>(t) : 0;
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

std::string escapado(std::string_view texto, bool quebras) {
  const auto* p = reinterpret_cast<const unsigned char*>(texto.data());
  const std::size_t n = texto.size();
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
    const std::size_t t = sequencia(p + i, n - i);
    if (t == 0) {
      escape(saida, "\\x%02x", b);
      ++i;
    } else if (const char32_t c = codigo(p + i, t); (c >= 0x80 && c < 0xA0) || invisivel(c)) {
      escape(saida, c > 0xFFFF ? "\\U%08x" : "\\u%04x", static_cast<unsigned>(c));
      i += t;
    } else {
      saida.append(texto.substr(i, t));
      i += t;
    }
  }
  return saida;
}

}  // namespace

std::string visivel(std::string_view texto) { return escapado(texto, true); }

std::string visivelNumaLinha(std::string_view texto) { return escapado(texto, false); }

namespace {
bool cores = true;
}  // namespace

void lerAmbiente() {
  const char* semCor = std::getenv("NO_COLOR");
  cores = semCor == nullptr || *semCor == '\0';
}

void escreverLinha(std::ostream& out, std::initializer_list<std::string_view> itens) {
  bool primeiro = true;
  for (std::string_view item : itens) {
    if (!cores && (item == GREEN || item == YELLOW || item == RESET)) continue;
    if (!primeiro) out << ' ';
    out << item;
    primeiro = false;
  }
  out << '\n';
}

std::timed_mutex& trava() {
  // Never destroyed: a signal's watcher may still take it while the process exits.
  static auto* const mutex = new std::timed_mutex;
  return *mutex;
}

void linha(std::ostream& out, std::initializer_list<std::string_view> itens) {
  const std::lock_guard travada(trava());
  escreverLinha(out, itens);
  // Operators follow the report live, often through tee: one machine can
  // take seconds, so every line goes out as soon as it is complete.
  out.flush();
  verificarSaida(out);
}

void verificarSaida(const std::ostream& out) {
  if (out) return;
  const int erro = errno;
  if (erro == EPIPE) throw SaidaFechada("relatório perdido", "a saída padrão foi fechada");
  throw falhas::Falha("relatório perdido",
                      std::string("a saída padrão não aceita o relatório") +
                          (erro != 0 ? std::string(" (") + std::strerror(erro) + ")" : ""));
}

}  // namespace console
