#pragma once

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

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

}  // namespace apoio
