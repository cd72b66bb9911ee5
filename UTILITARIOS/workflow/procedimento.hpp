#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
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
/// report to `saida`, line by line as it goes, closed by a summary line of
/// the outcomes (one for an empty selection too). Only a failed connect is
/// handled (the machine is reported and skipped); any other failure is
/// thrown after the summary, which counts the machine in progress and the
/// later ones as untreated, as a signal's does (encerramento). Blocks for
/// the whole update.
///
/// Each machine's outcome goes to `auditar` (the run's audit record:
/// auditoria::registrar). Up to `antecipacao` machines after the current one
/// are connected ahead (see ConexoesAntecipadas); the report, and the order
/// in which commands reach the machines, are the same for every depth.
void atualizarMaquinas(const std::vector<const RegistroMaquina*>& vms_selecionadas,
                       const std::string& nomeCodigo, const std::string& pastaCodigo,
                       const FabricaSessao& fabrica, std::ostream& saida,
                       const std::function<void(std::string_view)>& auditar,
                       std::size_t antecipacao = 0);

/// The dry run: one line per machine in the order atualizarMaquinas would
/// treat it ("{n} Cliente: {label} | {host}:{port}"), the non-public line
/// where it would give it, and a summary; nothing is contacted.
void listarMaquinas(const std::vector<const RegistroMaquina*>& vms_selecionadas,
                    const std::string& pastaCodigo, std::ostream& saida);

}  // namespace workflow
