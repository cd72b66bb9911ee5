#pragma once

#include <cstddef>

// The mass update: inventory, selection and the per-machine procedure.
namespace workflow {

/// Runs the mass update with the run's arguments (configuracao::argumentos()),
/// connecting up to `antecipacao` machines ahead of the one being updated.
/// Returns when the run has ended regularly (exit status 0); every failure
/// that no stage handles is thrown to the entry.
void atualizarEmMassa(std::size_t antecipacao = 0);

}  // namespace workflow
