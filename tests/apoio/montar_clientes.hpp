#pragma once

#include <nlohmann/json.hpp>
#include <string_view>

#include "UTILITARIOS/api/cliente_api.hpp"
#include "UTILITARIOS/workflow/inventario.hpp"

namespace apoio {

/// The grouping of a whole access-list text, built as a run builds it from
/// GET /acessos. Throws nlohmann's parse_error when it is not JSON,
/// workflow::FalhaInventario for a shape the inventory cannot read.
inline workflow::Clientes montarClientes(std::string_view lista) {
  workflow::MontadorClientes montador;
  const nlohmann::ordered_json documento = api::lerPorElemento(
      lista, [&](nlohmann::ordered_json& entrada) { montador.cliente(entrada); });
  return montador.concluir(documento);
}

}  // namespace apoio
