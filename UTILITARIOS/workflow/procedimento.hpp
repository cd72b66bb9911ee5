#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

#include "UTILITARIOS/workflow/antecipacao.hpp"
#include "UTILITARIOS/workflow/inventario.hpp"

// The per-machine update: announce, refuse non-public addresses, connect,
// check the external-scripts directory through su, download the script,
// make it executable and show the result.
namespace workflow {

/// How one machine's treatment ended: updated (the download did not fail),
/// or the reason it was not.
enum class Desfecho {
  atualizada,
  falhaDownload,
  ipNaoPublico,
  erroConectar,
  chaveDiferente,
  falhaAutenticacao,
  diretorioInexistente,
  problemaExecucao,
};

/// Treats every machine in order, numbering them from 0, and writes the
/// report to `saida`, line by line as it goes, closed by a summary line of the outcomes (one
/// for an empty selection too). Only a failed connect is handled (the machine
/// is reported and skipped); any other failure is thrown, leaving the later
/// machines untreated. Blocks for the whole update.
///
/// Up to `antecipacao` machines after the current one are connected ahead
/// (see ConexoesAntecipadas); the report, and the order in which commands
/// reach the machines, are the same for every depth.
void atualizarMaquinas(const std::vector<const RegistroMaquina*>& vms_selecionadas,
                       const std::string& nomeCodigo, const std::string& pastaCodigo,
                       const FabricaSessao& fabrica, std::ostream& saida,
                       std::size_t antecipacao = 0);

}  // namespace workflow
