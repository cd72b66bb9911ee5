#include "UTILITARIOS/api/verificar_ip.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/apoio/processo.hpp"

namespace {

using api::verificarIp;

struct Caso {
  const char* texto;
  std::string_view esperado;
};

void verificarTabela(const std::vector<Caso>& casos) {
  for (const auto& caso : casos) EXPECT_EQ(verificarIp(caso.texto), caso.esperado) << caso.texto;
}

TEST(VerificarIp, ExemplosConhecidos) {
  verificarTabela({
      {"10.20.30.40", api::kPrivado},      {"172.31.255.255", api::kPrivado},
      {"192.168.0.1", api::kPrivado},      {"127.0.0.1", api::kPrivado},
      {"169.254.1.1", api::kPrivado},      {"172.32.0.1", api::kPublico},
      {"1.2.3.4", api::kPublico},          {"100.64.0.1", api::kEspecial},
      {"100.127.255.255", api::kEspecial}, {"100.128.0.1", api::kPublico},
      {"100.63.255.255", api::kPublico},   {"224.0.0.1", api::kPublico},
      {"192.0.0.8", api::kPublico},        {"::1", api::kPrivado},
      {"fe80::1", api::kPrivado},          {"fd12::1", api::kPrivado},
      {"2001:db8::1", api::kPrivado},      {"::ffff:10.0.0.1", api::kPrivado},
      {"::ffff:1.2.3.4", api::kPrivado},   {"2a01::1", api::kPublico},
      {"3fff::10", api::kPublico},         {"192.0.0.16", api::kPublico},
      {"2A01:0DB8:0:0:0:0:0:1", api::kPublico},
  });
}

// First and last address of every private block, and the neighbours just
// outside it (which may fall into another private block; the expected
// answer says so).
TEST(VerificarIp, LimitesDosBlocosPrivadosIPv4) {
  verificarTabela({
      {"0.0.0.0", api::kPrivado},          {"0.255.255.255", api::kPrivado},
      {"1.0.0.0", api::kPublico},          {"9.255.255.255", api::kPublico},
      {"10.0.0.0", api::kPrivado},         {"10.255.255.255", api::kPrivado},
      {"11.0.0.0", api::kPublico},         {"126.255.255.255", api::kPublico},
      {"127.0.0.0", api::kPrivado},        {"127.255.255.255", api::kPrivado},
      {"128.0.0.0", api::kPublico},        {"169.253.255.255", api::kPublico},
      {"169.254.0.0", api::kPrivado},      {"169.254.255.255", api::kPrivado},
      {"169.255.0.0", api::kPublico},      {"172.15.255.255", api::kPublico},
      {"172.16.0.0", api::kPrivado},       {"172.31.255.255", api::kPrivado},
      {"172.32.0.0", api::kPublico},       {"191.255.255.255", api::kPublico},
      {"192.0.0.0", api::kPrivado},        {"192.0.0.7", api::kPrivado},
      {"192.0.0.169", api::kPublico},      {"192.0.0.170", api::kPrivado},
      {"192.0.0.171", api::kPrivado},      {"192.0.0.172", api::kPublico},
      {"192.0.1.255", api::kPublico},      {"192.0.2.0", api::kPrivado},
      {"192.0.2.255", api::kPrivado},      {"192.0.3.0", api::kPublico},
      {"192.167.255.255", api::kPublico},  {"192.168.0.0", api::kPrivado},
      {"192.168.255.255", api::kPrivado},  {"192.169.0.0", api::kPublico},
      {"198.17.255.255", api::kPublico},   {"198.18.0.0", api::kPrivado},
      {"198.19.255.255", api::kPrivado},   {"198.20.0.0", api::kPublico},
      {"198.51.99.255", api::kPublico},    {"198.51.100.0", api::kPrivado},
      {"198.51.100.255", api::kPrivado},   {"198.51.101.0", api::kPublico},
      {"203.0.112.255", api::kPublico},    {"203.0.113.0", api::kPrivado},
      {"203.0.113.255", api::kPrivado},    {"203.0.114.0", api::kPublico},
      {"239.255.255.255", api::kPublico},  {"240.0.0.0", api::kPrivado},
      {"255.255.255.254", api::kPrivado},  {"255.255.255.255", api::kPrivado},
      {"100.64.0.0", api::kEspecial},      {"100.127.255.255", api::kEspecial},
  });
}

TEST(VerificarIp, LimitesDosBlocosPrivadosIPv6) {
  verificarTabela({
      {"::", api::kPrivado},
      {"::1", api::kPrivado},
      {"::2", api::kPublico},
      {"::ffff:0:0", api::kPrivado},
      {"::ffff:ffff:ffff", api::kPrivado},
      {"::fffe:ffff:ffff", api::kPublico},
      {"::1:0:0:0", api::kPublico},
      {"100::", api::kPrivado},
      {"100::ffff:ffff:ffff:ffff", api::kPrivado},
      {"100:0:0:1::", api::kPublico},
      {"ff::ffff", api::kPublico},
      {"2001::", api::kPrivado},
      {"2001:1ff:ffff:ffff:ffff:ffff:ffff:ffff", api::kPrivado},
      {"2001:200::", api::kPublico},
      {"2000:ffff:ffff:ffff:ffff:ffff:ffff:ffff", api::kPublico},
      {"2001:2::", api::kPrivado},
      {"2001:2:0:ffff:ffff:ffff:ffff:ffff", api::kPrivado},
      {"2001:db8::", api::kPrivado},
      {"2001:db8:ffff:ffff:ffff:ffff:ffff:ffff", api::kPrivado},
      {"2001:db7:ffff:ffff:ffff:ffff:ffff:ffff", api::kPublico},
      {"2001:db9::", api::kPublico},
      {"2001:10::", api::kPrivado},
      {"2001:1f:ffff:ffff:ffff:ffff:ffff:ffff", api::kPrivado},
      {"fc00::", api::kPrivado},
      {"fdff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", api::kPrivado},
      {"fbff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", api::kPublico},
      {"fe00::", api::kPublico},
      {"fe80::", api::kPrivado},
      {"febf:ffff:ffff:ffff:ffff:ffff:ffff:ffff", api::kPrivado},
      {"fe7f:ffff:ffff:ffff:ffff:ffff:ffff:ffff", api::kPublico},
      {"fec0::", api::kPublico},
      {"ff02::1", api::kPublico},
  });
}

TEST(VerificarIp, TextosInvalidos) {
  for (const char* texto :
       {"", "256.1.1.1", "1.2.3", "1.2.3.4.5", "1.2.3.4 ", " 1.2.3.4", "[::1]", "fe80::1%eth0",
        "010.1.1.1", "1.2.3.04", "1.2.3.4/32", "::1/128", "1..2.3", "a.b.c.d", "1.2.3.-4",
        "12345::1", "1:2:3:4:5:6:7:8:9", "1::2::3", ":::", "::ffff:1.2.3", "::ffff:1.2.3.256",
        "gggg::1", "1.2.3.4\n", "１.2.3.4", "0x1.2.3.4", "1e2.1.1.1", "localhost"})
    EXPECT_EQ(verificarIp(texto), api::kInvalido) << '"' << texto << '"';
  EXPECT_EQ(verificarIp(std::string_view("1.2.3.4\0junk", 12)), api::kInvalido);
}

// Random addresses near every block edge and across the whole space, in
// several text forms, compared with an independent classifier.
std::vector<std::string> gerarEnderecos() {
  std::mt19937_64 gerador(20261208);
  std::vector<std::string> textos;
  auto v4 = [](std::uint32_t a) {
    return std::to_string(a >> 24) + "." + std::to_string(a >> 16 & 255) + "." +
           std::to_string(a >> 8 & 255) + "." + std::to_string(a & 255);
  };
  const std::uint32_t bordas[] = {0x00000000, 0x0a000000, 0x7f000000, 0xa9fe0000, 0xac100000,
                                  0xc0000000, 0xc00000aa, 0xc0000200, 0xc0a80000, 0xc6120000,
                                  0xc6336400, 0xcb007100, 0xf0000000, 0xffffffff, 0x64400000,
                                  0x64800000, 0x0b000000, 0xac200000, 0xc0000008, 0xe0000000};
  for (std::uint32_t borda : bordas)
    for (int delta = -3; delta <= 3; ++delta) textos.push_back(v4(borda + delta));
  for (int i = 0; i < 4000; ++i) textos.push_back(v4(static_cast<std::uint32_t>(gerador())));

  const char* hexa = "0123456789abcdefABCDEF";
  auto grupo = [&] {
    std::string g;
    const int n = 1 + static_cast<int>(gerador() % 4);
    for (int k = 0; k < n; ++k) g += hexa[gerador() % 22];
    return g;
  };
  const char* prefixos[] = {"", "0:0:0:0:0:ffff:", "100:0:0:0:", "2001:0:", "2001:2:0:",
                            "2001:db8:", "2001:1f:", "2001:20:", "fc00:", "fdff:", "fe80:",
                            "febf:", "fec0:", "3fff:", "2a01:"};
  for (int i = 0; i < 4000; ++i) {
    std::string texto = prefixos[gerador() % 15];
    int grupos = static_cast<int>(std::count(texto.begin(), texto.end(), ':'));
    const int forma = static_cast<int>(gerador() % 4);
    if (forma == 0) {  // complete eight groups
      while (grupos < 8) texto += grupo() + (++grupos < 8 ? ":" : "");
    } else if (forma == 1) {  // compressed with '::'
      const int antes = static_cast<int>(gerador() % 3);
      for (int k = 0; k < antes; ++k) texto += grupo() + ":";
      texto += ':';  // not ":" + grupo(): GCC 12 at -O3 warns falsely (-Wrestrict)
      texto += grupo();
      if (texto.rfind("::", 0) != 0 && texto.front() == ':') texto = ":" + texto;
    } else if (forma == 2) {  // embedded IPv4 in the last 32 bits
      while (grupos < 6) texto += grupo() + ":", ++grupos;
      texto += v4(static_cast<std::uint32_t>(gerador()));
    } else {  // likely malformed: random characters spliced in
      while (grupos < 8) texto += grupo() + (++grupos < 8 ? ":" : "");
      texto.insert(gerador() % (texto.size() + 1), 1, ":.g% "[gerador() % 5]);
    }
    textos.push_back(texto);
  }
  return textos;
}

TEST(VerificarIp, ConcordaComClassificadorIndependente) {
  const auto textos = gerarEnderecos();
  char nome[] = "/tmp/enderecos-XXXXXX";
  const int fd = mkstemp(nome);
  ASSERT_GE(fd, 0);
  close(fd);
  {
    std::ofstream arquivo(nome);
    for (const auto& t : textos) arquivo << t << '\n';
  }
  const auto r = apoio::executar(
      {"/bin/sh", "-c",
       std::string(ATUALIZACAO_PYTHON) + " " ATUALIZACAO_FONTES "/tests/oracle/classificar_ip.py < " +
           nome});
  std::remove(nome);
  ASSERT_EQ(r.status, 0) << r.erro;
  std::istringstream respostas(r.saida);
  std::string esperado;
  std::size_t comparados = 0, validos = 0;
  for (const auto& t : textos) {
    ASSERT_TRUE(std::getline(respostas, esperado)) << "oracle gave too few answers";
    EXPECT_EQ(verificarIp(t), esperado) << '"' << t << '"';
    ++comparados;
    if (esperado != api::kInvalido) ++validos;
  }
  EXPECT_EQ(comparados, textos.size());
  // The generator must exercise both outcomes, or the comparison proves little.
  EXPECT_GT(validos, textos.size() / 2);
  EXPECT_GT(textos.size() - validos, 200u);
}

}  // namespace
