// The access list is turned into records customer by customer while it is
// parsed, and only the members the inventory reads are kept; the inventory
// built that way must match, document for document, the one the same code
// builds from the fully parsed document: same records, same groups, and a
// failure exactly when that one fails. Random documents include the awkward
// shapes: repeated members, wrong kinds, nesting, empty values.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "UTILITARIOS/workflow/inventario.hpp"
#include "tests/apoio/montar_clientes.hpp"

namespace {

using json = nlohmann::ordered_json;

/// Writes JSON text by hand, so that members can repeat.
class Gerador {
 public:
  explicit Gerador(unsigned semente) : rng_(semente) {}

  // Separators are appended on their own: GCC 12 at -O3 warns falsely
  // (-Wrestrict) on "," + std::string.
  std::string documento() {
    if (chance(3)) return qualquer(2);
    std::string s = "[";
    const int n = faixa(0, 4);
    for (int i = 0; i < n; ++i) {
      if (i) s += ',';
      s += cliente();
    }
    return s + "]";
  }

 private:
  bool chance(int porCento) { return faixa(0, 99) < porCento; }
  int faixa(int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng_); }
  template <class T>
  const T& um(const std::vector<T>& v) {
    return v[static_cast<std::size_t>(faixa(0, static_cast<int>(v.size()) - 1))];
  }

  std::string qualquer(int profundidade) {
    static const std::vector<std::string> escalares = {
        "null",       "true",          "false", "0",      "0.0",          "7",
        "-3",         "1.5",           R"("")", R"("x")", R"("manager")", R"("database")",
        R"("outro")", R"("10.0.0.9")", "[]",    "{}"};
    if (profundidade <= 0 || chance(70)) return um(escalares);
    std::string s = chance(50) ? "[" : R"({"tipo":)";
    s += qualquer(profundidade - 1);
    s += s.front() == '[' ? "," : R"(,"k":)";
    s += qualquer(profundidade - 1);
    s += s.front() == '[' ? ']' : '}';
    return s;
  }

  std::string objeto(const std::vector<std::pair<std::string, std::string>>& membros) {
    std::string s = "{";
    for (std::size_t i = 0; i < membros.size(); ++i) {
      if (i) s += ',';
      s += json(membros[i].first).dump() + ":" + membros[i].second;
    }
    return s + "}";
  }

  std::string cliente() {
    if (chance(2)) return qualquer(1);
    std::vector<std::pair<std::string, std::string>> m;
    if (!chance(3))
      m.emplace_back("numero", chance(80) ? std::to_string(faixa(1, 3))
                                          : um<std::string>({R"("1")", "1.0", "[1]", "null"}));
    if (chance(10)) m.emplace_back("extra", qualquer(2));
    if (!chance(3)) m.emplace_back("produto", produtos());
    if (chance(3)) m.emplace_back("produto", produtos());
    if (chance(5) && !m.empty()) std::swap(m.front(), m.back());
    return objeto(m);
  }

  std::string produtos() {
    if (chance(3)) return um<std::string>({"{}", R"("p")", "[]", "[1]", "null"});
    std::string s = "[";
    s += produto();
    if (chance(20)) {
      s += ',';
      s += produto();
    }
    return s + "]";
  }

  std::string produto() {
    std::vector<std::pair<std::string, std::string>> m;
    if (chance(85))
      m.emplace_back("nome", chance(80) ? um<std::string>({R"("Hospital A")", R"("Clinica")",
                                                           R"("Hospital B")"})
                                        : qualquer(1));
    if (!chance(3)) {
      std::string maquinas = "[";
      const int n = faixa(0, 5);
      for (int i = 0; i < n; ++i) {
        if (i) maquinas += ',';
        maquinas += maquina();
      }
      m.emplace_back("maquinas", chance(2) ? qualquer(1) : maquinas + "]");
    }
    if (chance(10)) {
      std::string uma = "[";
      uma += maquina();
      m.emplace_back("maquinas", uma + "]");
    }
    return objeto(m);
  }

  std::string valor() {
    if (!chance(60)) return qualquer(2);
    std::string v = "v";
    v += std::to_string(faixa(0, 9));
    return json(v).dump();
  }

  std::string maquina() {
    if (chance(2)) return qualquer(1);
    std::vector<std::pair<std::string, std::string>> m;
    if (!chance(2))
      m.emplace_back("tipo", chance(70) ? um<std::string>({R"("manager")", R"("coletor")",
                                                           R"("database")", R"("outro")"})
                                        : qualquer(1));
    for (const char* k : {"ip", "sshPort", "user", "senhaVm", "senhaRoot"})
      if (chance(70)) m.emplace_back(k, valor());
    if (chance(50))
      m.emplace_back(
          "acesso", chance(75) ? um<std::string>({R"("ssh u@10.0.0.1 -p 22")", R"("ssh a@b@h -p2")",
                                                  R"("ssh u@h")", R"("ssh")", R"("ssh u@ ")",
                                                  R"("x y")", R"("")"})
                               : qualquer(1));
    const int extras = faixa(0, 3);
    for (int i = 0; i < extras; ++i) {
      std::string chave = "e";
      chave += std::to_string(faixa(0, 2));
      m.emplace_back(chave, qualquer(1));
    }
    if (chance(10) && !m.empty())
      m.push_back(m[static_cast<std::size_t>(faixa(0, static_cast<int>(m.size()) - 1))]);
    std::shuffle(m.begin(), m.end(), rng_);
    return objeto(m);
  }

  std::mt19937 rng_;
};

TEST(InventarioDiferencial, LeituraEmFluxoIgualADocumentoCompleto) {
  int falhas = 0, comRegistros = 0;
  for (unsigned semente = 1; semente <= 4000; ++semente) {
    Gerador gerador(semente);
    const std::string texto = gerador.documento();
    const auto esperado = apoio::inventario(apoio::montarDoDocumentoInteiro, texto);
    const auto obtido = apoio::inventario(apoio::montarClientes, texto);
    ASSERT_EQ(obtido, esperado) << "semente " << semente << ": " << texto;
    falhas += esperado.falhou;
    comRegistros += !esperado.grupos.empty();
  }
  // The generator must exercise both outcomes, or the comparison says little.
  EXPECT_GT(falhas, 400);
  EXPECT_GT(comRegistros, 400);
}

}  // namespace
