// Connect-ahead against scripted machines: whatever the depth, the report,
// the commands each machine receives and their order are those of the strict
// sequence; sessions opened ahead are only connected, and closed untouched
// when the run ends before their turn.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>

#include "UTILITARIOS/workflow/procedimento.hpp"
#include "tests/apoio/sessao_roteirizada.hpp"

namespace {

using apoio::Diario;
using apoio::Roteiro;
using workflow::RegistroMaquina;

api::Valor texto(const std::string& t) { return api::Valor::deTexto(t); }

RegistroMaquina maquina(const std::string& ip, const std::string& porta = "22") {
  return {std::make_shared<const std::string>("1021 - Hospital Central"), texto("coletor"),
          texto(ip), texto(porta), texto("suporte"), texto("senha-ssh"), texto("raiz")};
}

struct Rodada {
  std::string saida, falha;
  std::vector<Diario::Evento> eventos;
  std::vector<std::string> auditoria;
};

Rodada rodar(const std::vector<RegistroMaquina>& registros,
             const std::map<std::string, Roteiro>& roteiros, std::size_t profundidade) {
  std::vector<const RegistroMaquina*> maquinas;
  for (const auto& r : registros) maquinas.push_back(&r);
  Diario diario;
  diario.roteiros = roteiros;
  Rodada rodada;
  std::ostringstream relatorio;
  try {
    workflow::atualizarMaquinas(
        maquinas, "disco.py", "coleta/disco.py", diario.fabrica(), relatorio,
        [&](std::string_view r) { rodada.auditoria.emplace_back(r); }, profundidade);
  } catch (const std::exception& e) {
    rodada.falha = e.what();
  }
  rodada.saida = relatorio.str();
  rodada.eventos = diario.eventos;
  return rodada;
}

// The typed lines in the order the machines received them.
std::vector<std::string> digitadas(const Rodada& r) {
  std::vector<std::string> linhas;
  for (const auto& e : r.eventos)
    if (e.oque != "connect" && e.oque != "close" && e.oque != "interromper")
      linhas.push_back(e.host + ": " + e.oque);
  return linhas;
}

// One machine however its address is written.
std::string umaMaquina(const std::string& host) {
  unsigned char bytes[16];
  if (::inet_pton(AF_INET6, host.c_str(), bytes) != 1) return host;
  return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

TEST(Antecipacao, RelatorioEComandosIguaisAosDaSequenciaEstrita) {
  struct Caso {
    std::string nome;
    std::vector<RegistroMaquina> maquinas;
    std::map<std::string, Roteiro> roteiros;
  };
  std::map<std::string, Roteiro> mistos;
  mistos["192.0.0.23"].falhaConexao = true;
  mistos["192.0.0.25"].listagem = "su Falha de autenticação";
  std::map<std::string, Roteiro> quebra;
  quebra["192.0.0.22"].erroNaVersao = true;
  quebra["192.0.0.28"].demoraConexao = std::chrono::milliseconds(300);  // in flight at the end
  const std::vector<Caso> casos = {
      {"every outcome",
       {maquina("192.0.0.21"), maquina("10.0.0.1"), maquina("192.0.0.23"), maquina("192.0.0.24", "70000"),
        maquina("192.0.0.25"), maquina("192.0.0.26"), maquina("192.0.0.26"), maquina("fe80::1"),
        maquina("3fff::26"), maquina("3fff:0::26")},
       mistos},
      {"session error ends the run", {maquina("192.0.0.21"), maquina("192.0.0.22"), maquina("192.0.0.27"),
                                      maquina("192.0.0.28"), maquina("192.0.0.29")}, quebra},
      {"port that is not a number ends the run",
       {maquina("192.0.0.21"), maquina("192.0.0.22", "22a"), maquina("192.0.0.27")}, {}},
      {"nothing selected", {}, {}},
  };
  for (const auto& caso : casos) {
    const Rodada sequencial = rodar(caso.maquinas, caso.roteiros, 0);
    for (std::size_t profundidade : {1u, 3u, 20u}) {
      SCOPED_TRACE(caso.nome + ", depth " + std::to_string(profundidade));
      const Rodada antecipada = rodar(caso.maquinas, caso.roteiros, profundidade);
      EXPECT_EQ(antecipada.saida, sequencial.saida);
      EXPECT_EQ(antecipada.falha, sequencial.falha);
      EXPECT_EQ(antecipada.auditoria, sequencial.auditoria);
      EXPECT_EQ(digitadas(antecipada), digitadas(sequencial));

      std::set<int> fechadas, tocadas;
      std::map<std::string, int> abertas;  // a machine may allow one login at a time
      std::map<std::string, int> vezes;    // a session kept alive is not connected again
      for (const auto& m : caso.maquinas) ++vezes[umaMaquina(m.ip.texto())];
      int atual = -1;  // the session receiving commands
      for (const auto& e : antecipada.eventos) {
        EXPECT_NE(e.host.rfind("10.", 0), 0u) << "a private address was contacted";
        EXPECT_NE(e.host, "fe80::1") << "a link-local address was contacted";
        if (e.oque == "connect" && !caso.roteiros.count(e.host)) {
          EXPECT_EQ(abertas[umaMaquina(e.host)]++, 0) << "two sessions at once to " << e.host;
        }
        if (e.oque == "connect") {
          EXPECT_GE(--vezes[umaMaquina(e.host)], 0) << e.host;
        }
        if (e.oque == "close" && fechadas.insert(e.sessao).second) --abertas[umaMaquina(e.host)];
        if (e.oque == "connect" || e.oque == "close" || e.oque == "interromper") continue;
        if (e.sessao != atual) {
          EXPECT_TRUE(atual < 0 || fechadas.count(atual))
              << "commands reached " << e.host << " before the previous machine was closed";
          atual = e.sessao;
        }
        tocadas.insert(e.sessao);
      }
      // A connect still in flight when the run ends is cut short, not waited for.
      if (caso.roteiros.count("192.0.0.28") && profundidade >= 3) {
        EXPECT_TRUE(std::any_of(antecipada.eventos.begin(), antecipada.eventos.end(), [](auto& e) {
          return e.host == "192.0.0.28" && e.oque == "interromper";
        }));
      }
      // Sessions opened ahead and never reached are closed with nothing typed.
      std::set<int> conectadas;
      for (const auto& e : antecipada.eventos)
        if (e.oque == "connect" && !caso.roteiros.count(e.host)) conectadas.insert(e.sessao);
      for (int s : conectadas)
        EXPECT_TRUE(fechadas.count(s) || tocadas.count(s)) << "session " << s << " left open";
    }
  }
}

// The point of it all: the next machine's connect runs while the current
// machine is still receiving its commands, from depth 1 on.
TEST(Antecipacao, ProximaMaquinaConectaDuranteAAtual) {
  std::map<std::string, Roteiro> roteiros;
  roteiros["192.0.0.21"].esperarConexaoDe = "192.0.0.22";
  for (std::size_t profundidade : {1u, 3u}) {
    const Rodada r = rodar({maquina("192.0.0.21"), maquina("192.0.0.22")}, roteiros, profundidade);
    auto posicao = [&](const std::string& host, bool conexao) {
      for (std::size_t i = 0; i < r.eventos.size(); ++i)
        if (r.eventos[i].host == host && (r.eventos[i].oque == "connect") == conexao &&
            r.eventos[i].oque != "close")
          return i;
      return r.eventos.size();
    };
    ASSERT_LT(posicao("192.0.0.21", false), r.eventos.size()) << r.saida << r.falha;
    EXPECT_LT(posicao("192.0.0.22", true), posicao("192.0.0.21", false))
        << "depth " << profundidade;
  }
}

// Connects far slower than the machines: past the first, all start at once.
TEST(Antecipacao, ConexaoLentaAprofundaAAntecipacao) {
  std::vector<RegistroMaquina> maquinas;
  std::map<std::string, Roteiro> roteiros;
  for (int i = 30; i < 42; ++i) {
    maquinas.push_back(maquina("192.0.0." + std::to_string(i)));
    roteiros["192.0.0." + std::to_string(i)].demoraConexao = std::chrono::milliseconds(300);
  }
  const Rodada r = rodar(maquinas, roteiros, 1);
  std::size_t antes = 0;  // connects begun before machine 2's first command
  for (const auto& e : r.eventos) {
    if (e.host == "192.0.0.32" && e.oque != "connect") break;
    antes += e.oque == "connect";
  }
  EXPECT_GE(antes, 7u) << r.saida << r.falha;  // a depth past the usual 4
}

}  // namespace
