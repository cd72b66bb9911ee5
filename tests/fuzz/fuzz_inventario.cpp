// An access-list body, any bytes: reading and building the inventory either
// succeed or fail with the documented types (nlohmann's parse_error or
// out_of_range only when the text is not JSON, FalhaInventario from the
// inventory, and success only when it is), and a body
// that is JSON must give what the inventory builds from the fully parsed
// document.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <string_view>

#include "UTILITARIOS/workflow/inventario.hpp"
#include "tests/apoio/montar_clientes.hpp"
#include "tests/fuzz/verificar.hpp"

namespace {

// Under these, no value reaches the reader's limits, past which it marks a
// value instead of keeping it as the full parse does.
constexpr std::size_t kTamanhoComparado = api::kCustoMaximo / 16;
constexpr std::size_t kProfundidadeComparada = api::kProfundidadeMaxima;

std::size_t profundidade(std::string_view texto) {
  std::size_t atual = 0, maior = 0;
  bool emTexto = false, escape = false;
  for (char c : texto) {
    if (emTexto) {
      if (escape) {
        escape = false;
      } else if (c == '\\') {
        escape = true;
      } else if (c == '"') {
        emTexto = false;
      }
    } else if (c == '"') {
      emTexto = true;
    } else if (c == '[' || c == '{') {
      maior = std::max(maior, ++atual);
    } else if ((c == ']' || c == '}') && atual > 0) {
      --atual;
    }
  }
  return maior;
}

struct Leitura {
  bool jsonInvalido = false;
  apoio::Inventario inventario;
  bool operator==(const Leitura&) const = default;
};

void verificarValor(const api::Valor& v) {
  const nlohmann::json j = v.json();  // what the procedure rebuilds, e.g. for the port
  if (v.ehTexto()) {
    verificar(j.is_string() && j.get<std::string>() == v.texto(), "texto não se reconstrói");
  } else {
    verificar(!j.is_string(), "valor reconstruído como texto");
  }
}

// The grouping as built, once what any grouping holds has been checked.
workflow::Clientes verificado(const std::string& texto) {
  workflow::Clientes clientes = apoio::montarClientes(texto);
  std::set<std::string> rotulos;
  for (const workflow::GrupoCliente& g : clientes) {
    verificar(rotulos.insert(g.rotulo).second, "rótulo repetido em dois grupos");
    verificar(!g.maquinas.empty(), "grupo sem máquinas");
    for (const workflow::RegistroMaquina& m : g.maquinas) {
      verificar(m.cliente != nullptr && m.rotulo() == g.rotulo,
                "registro com rótulo de outro grupo");
      verificar(!(m.tipo == "database") && !(m.tipo == "outro"), "tipo ignorado virou registro");
      for (const api::Valor* v : {&m.tipo, &m.ip, &m.porta, &m.usuario, &m.senha, &m.senhaRoot})
        verificarValor(*v);
    }
  }
  return clientes;
}

Leitura ler(std::string_view texto) {
  try {
    return {false, apoio::inventario(verificado, std::string(texto))};
  } catch (const nlohmann::json::parse_error&) {
    return {true, {}};
  } catch (const nlohmann::json::out_of_range&) {  // a number no double holds
    return {true, {}};
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
  const std::string_view texto(reinterpret_cast<const char*>(dados), tamanho);
  const Leitura inteira = ler(texto);
  const bool json = nlohmann::json::accept(texto);
  // The reading stops at its first failure: a body that fails the inventory
  // before its syntax error is not known to be invalid.
  verificar(inteira.jsonInvalido ? !json : json || inteira.inventario.falhou,
            "parse_error não coincide com o texto não ser JSON");
  if (!json || texto.size() > kTamanhoComparado || profundidade(texto) > kProfundidadeComparada)
    return 0;
  verificar(
      inteira.inventario == apoio::inventario(apoio::montarDoDocumentoInteiro, std::string(texto)),
      "inventário difere do montado sobre o documento completo");
  return 0;
}
