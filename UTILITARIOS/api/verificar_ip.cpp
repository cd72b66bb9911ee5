#include "UTILITARIOS/api/verificar_ip.hpp"

#include <arpa/inet.h>

#include <array>
#include <cstdint>
#include <string>

namespace api {
namespace {

struct BlocoV4 {
  std::uint32_t rede;
  int prefixo;
};

struct BlocoV6 {
  std::array<std::uint8_t, 16> rede;
  int prefixo;
};

constexpr std::uint32_t v4(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
  return a << 24 | b << 16 | c << 8 | d;
}

// The private blocks of the IANA special-purpose registries as this tool
// uses them.
constexpr BlocoV4 kPrivadosV4[] = {
    {v4(0, 0, 0, 0), 8},      {v4(10, 0, 0, 0), 8},         {v4(127, 0, 0, 0), 8},
    {v4(169, 254, 0, 0), 16}, {v4(172, 16, 0, 0), 12},      {v4(192, 0, 0, 0), 29},
    {v4(192, 0, 0, 170), 31}, {v4(192, 0, 2, 0), 24},       {v4(192, 168, 0, 0), 16},
    {v4(198, 18, 0, 0), 15},  {v4(198, 51, 100, 0), 24},    {v4(203, 0, 113, 0), 24},
    {v4(240, 0, 0, 0), 4},    {v4(255, 255, 255, 255), 32},
};
constexpr BlocoV4 kCompartilhadoV4 = {v4(100, 64, 0, 0), 10};

constexpr BlocoV6 kPrivadosV6[] = {
    {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 128},       // ::1
    {{}, 128},                                                     // ::
    {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 0, 0, 0, 0}, 96},  // ::ffff:0:0/96
    {{0x01, 0x00}, 64},                                            // 100::/64
    {{0x20, 0x01}, 23},                                            // 2001::/23
    {{0x20, 0x01, 0x00, 0x02}, 48},                                // 2001:2::/48
    {{0x20, 0x01, 0x0d, 0xb8}, 32},                                // 2001:db8::/32
    {{0x20, 0x01, 0x00, 0x10}, 28},                                // 2001:10::/28
    {{0xfc}, 7},                                                   // fc00::/7
    {{0xfe, 0x80}, 10},                                            // fe80::/10
};

bool contem(const BlocoV4& bloco, std::uint32_t endereco) {
  const std::uint32_t mascara = bloco.prefixo == 0 ? 0 : ~std::uint32_t{0} << (32 - bloco.prefixo);
  return (endereco & mascara) == bloco.rede;
}

bool contem(const BlocoV6& bloco, const std::array<std::uint8_t, 16>& endereco) {
  int restantes = bloco.prefixo;
  for (std::size_t i = 0; i < 16 && restantes > 0; ++i, restantes -= 8) {
    const auto mascara = static_cast<std::uint8_t>(restantes >= 8 ? 0xff : 0xff << (8 - restantes));
    if ((endereco[i] & mascara) != bloco.rede[i]) return false;
  }
  return true;
}

std::string classificarV4(std::uint32_t endereco) {
  for (const auto& bloco : kPrivadosV4)
    if (contem(bloco, endereco)) return std::string(kPrivado);
  if (contem(kCompartilhadoV4, endereco)) return std::string(kEspecial);
  return std::string(kPublico);
}

std::string classificarV6(const std::array<std::uint8_t, 16>& endereco) {
  for (const auto& bloco : kPrivadosV6)
    if (contem(bloco, endereco)) return std::string(kPrivado);
  return std::string(kPublico);
}

}  // namespace

std::string verificarIp(std::string_view ipString) {
  // inet_pton reads a C string: an embedded NUL would hide a trailing rest.
  if (ipString.find('\0') != std::string_view::npos) return std::string(kInvalido);
  const std::string texto(ipString);
  in_addr enderecoV4{};
  // glibc's inet_pton takes exactly four decimal parts and refuses leading
  // zeros; for IPv6 it takes the RFC 4291 text forms without zone or prefix.
  if (inet_pton(AF_INET, texto.c_str(), &enderecoV4) == 1)
    return classificarV4(ntohl(enderecoV4.s_addr));
  std::array<std::uint8_t, 16> enderecoV6{};
  if (inet_pton(AF_INET6, texto.c_str(), enderecoV6.data()) == 1) return classificarV6(enderecoV6);
  return std::string(kInvalido);
}

}  // namespace api
