#pragma once

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "UTILITARIOS/api/cliente_api.hpp"
#include "UTILITARIOS/workflow/inventario.hpp"

namespace apoio {

/// workflow::lerAcessos over a text held in memory.
inline nlohmann::ordered_json lerLista(std::string lista, const api::PorElemento& porElemento) {
  std::istringstream corpo(std::move(lista));
  return workflow::lerAcessos(corpo, porElemento);
}

/// The grouping of a whole access-list text, built as a run builds it from
/// GET /acessos. Throws nlohmann's parse_error when it is not JSON,
/// workflow::FalhaInventario for a shape the inventory cannot read.
inline workflow::Clientes montarClientes(std::string lista) {
  workflow::MontadorClientes montador;
  const nlohmann::ordered_json documento = lerLista(
      std::move(lista), [&](nlohmann::ordered_json& entrada) { montador.cliente(entrada); });
  return montador.concluir(documento);
}

/// The grouping of a text parsed whole, each customer entry handed to the
/// inventory with every member it has: what the stream's reader leaves out
/// must not change what the inventory builds. Only for documents under the
/// reader's limits, past which it marks a value instead of keeping it.
inline workflow::Clientes montarDoDocumentoInteiro(const std::string& lista) {
  workflow::MontadorClientes montador;
  auto documento = nlohmann::ordered_json::parse(lista);
  if (documento.is_array()) {
    for (auto& entrada : documento) montador.cliente(entrada);
    documento = nlohmann::ordered_json::array();
  }
  return montador.concluir(documento);
}

/// A grouping that compares with ==: each group's label and records, a
/// record being the kind and text of its six values; or a failure.
struct Inventario {
  bool falhou = false;
  std::vector<std::pair<std::string, std::vector<std::string>>> grupos;
  bool operator==(const Inventario&) const = default;
};

/// `montar` over `lista`, described; workflow::FalhaInventario is a failure.
template <class Montar>
Inventario inventario(Montar montar, const std::string& lista) {
  Inventario r;
  try {
    for (const workflow::GrupoCliente& g : montar(lista)) {
      r.grupos.push_back({g.rotulo, {}});
      for (const workflow::RegistroMaquina& m : g.maquinas) {
        std::string registro;
        for (const api::Valor* v : {&m.tipo, &m.ip, &m.porta, &m.usuario, &m.senha, &m.senhaRoot})
          registro += (v->ehTexto() ? "s" : "j") + std::to_string(v->texto().size()) + ":" +
                      v->texto();  // the length first, so that no value passes for two
        r.grupos.back().second.push_back(registro);
      }
    }
  } catch (const workflow::FalhaInventario&) {
    r = {true, {}};
  }
  return r;
}

}  // namespace apoio
