// verificarIp against the C library's parser for validity and an
// independent range table for the class.
#include <arpa/inet.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "UTILITARIOS/api/verificar_ip.hpp"

namespace {

struct Faixa4 {
  std::uint32_t primeiro, ultimo;
};

// Inclusive ranges, written out rather than derived from prefixes.
constexpr Faixa4 kPrivadas4[] = {
    {0x00000000, 0x00ffffff}, {0x0a000000, 0x0affffff}, {0x7f000000, 0x7fffffff},
    {0xa9fe0000, 0xa9feffff}, {0xac100000, 0xac1fffff}, {0xc0000000, 0xc0000007},
    {0xc00000aa, 0xc00000ab}, {0xc0000200, 0xc00002ff}, {0xc0a80000, 0xc0a8ffff},
    {0xc6120000, 0xc613ffff}, {0xc6336400, 0xc63364ff}, {0xcb007100, 0xcb0071ff},
    {0xf0000000, 0xffffffff},
};

std::string_view esperado4(std::uint32_t a) {
  for (const auto& f : kPrivadas4)
    if (a >= f.primeiro && a <= f.ultimo) return api::kPrivado;
  if (a >= 0x64400000 && a <= 0x647fffff) return api::kEspecial;
  return api::kPublico;
}

bool comeca(const unsigned char* a, std::initializer_list<unsigned> bytes, unsigned bitsUltimo = 8) {
  std::size_t i = 0;
  for (unsigned b : bytes) {
    const bool ultimo = i + 1 == bytes.size();
    const unsigned mascara = ultimo ? (0xffu << (8 - bitsUltimo)) & 0xffu : 0xffu;
    if ((a[i] & mascara) != (b & mascara)) return false;
    ++i;
  }
  return true;
}

std::string_view esperado6(const unsigned char* a) {
  static const unsigned char zeros[16] = {};
  if (std::memcmp(a, zeros, 15) == 0 && a[15] <= 1) return api::kPrivado;  // :: and ::1
  if (std::memcmp(a, zeros, 10) == 0 && a[10] == 0xff && a[11] == 0xff) return api::kPrivado;
  if (std::memcmp(a, "\x01\x00\0\0\0\0\0\0", 8) == 0) return api::kPrivado;  // 100::/64
  if (comeca(a, {0x20, 0x01, 0x00}, 7)) return api::kPrivado;                 // 2001::/23
  if (comeca(a, {0x20, 0x01, 0x00, 0x02, 0x00, 0x00})) return api::kPrivado;  // 2001:2::/48
  if (comeca(a, {0x20, 0x01, 0x0d, 0xb8})) return api::kPrivado;              // 2001:db8::/32
  if (comeca(a, {0x20, 0x01, 0x00, 0x10}, 4)) return api::kPrivado;           // 2001:10::/28
  if ((a[0] & 0xfe) == 0xfc) return api::kPrivado;                           // fc00::/7
  if (a[0] == 0xfe && (a[1] & 0xc0) == 0x80) return api::kPrivado;           // fe80::/10
  return api::kPublico;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
  const std::string texto(reinterpret_cast<const char*>(dados), tamanho);
  const std::string obtido = api::verificarIp(texto);
  std::string_view esperado = api::kInvalido;
  unsigned char bytes[16];
  if (texto.find('\0') == std::string::npos) {
    if (inet_pton(AF_INET, texto.c_str(), bytes) == 1) {
      esperado = esperado4(std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
                           std::uint32_t{bytes[2]} << 8 | bytes[3]);
    } else if (inet_pton(AF_INET6, texto.c_str(), bytes) == 1) {
      esperado = esperado6(bytes);
    }
  }
  if (obtido != esperado) std::abort();
  return 0;
}
