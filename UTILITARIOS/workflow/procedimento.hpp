#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "UTILITARIOS/ssh/sessao_remota.hpp"
#include "UTILITARIOS/workflow/inventario.hpp"

// The per-machine update: announce, refuse non-public addresses, connect,
// check the external-scripts directory through su, download the script,
// make it executable and show the result.
namespace workflow {

/// Creates the session of one machine; nothing is sent before connect().
using FabricaSessao = std::function<std::unique_ptr<ssh::SessaoRemota>(
    const std::string& host, int port, const std::string& user, const std::string& pwd)>;

/// A conexaoSSH with the shell prompt's "$" as end marker.
FabricaSessao fabricaConexaoSSH();

/// Treats every machine in order, numbering them from 0, and writes the
/// report to standard output. Only a failed connect is handled (the machine
/// is reported and skipped); any other failure is thrown, leaving the later
/// machines untreated. Blocks for the whole update.
void atualizarMaquinas(const std::vector<const RegistroMaquina*>& vms_selecionadas,
                       const std::string& nomeCodigo, const std::string& pastaCodigo,
                       const FabricaSessao& fabrica);

}  // namespace workflow
