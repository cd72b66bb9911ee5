#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

#include "UTILITARIOS/configuracao.hpp"
#include "UTILITARIOS/workflow/inventario.hpp"
#include "UTILITARIOS/workflow/selecao.hpp"

// The mass update: inventory, selection and the per-machine procedure.
namespace workflow {

/// What the inventory and the selection leave for the per-machine stage.
/// `vms_selecionadas` points into `clientes`; moving keeps the pointers
/// valid (the groups' storage moves with it), copying would not, so the
/// type cannot be copied.
struct Preparacao {
  std::string nomeCodigo;  ///< the script's file name on the remote machines
  Clientes clientes;
  std::vector<const RegistroMaquina*> vms_selecionadas;
  bool encerrada = false;  ///< the operator ended with an empty selection: stop, status 0

  Preparacao() = default;
  Preparacao(Preparacao&&) = default;
  Preparacao& operator=(Preparacao&&) = default;
  Preparacao(const Preparacao&) = delete;
  Preparacao& operator=(const Preparacao&) = delete;
};

/// The inventory and the selection: derives nomeCodigo, logs in, fetches the
/// access list, builds and groups the records, and selects. Reads the
/// operator's answers from `entrada` and writes the dialogue to `saida`.
/// Throws the API's, the inventory's and the selection's failures.
Preparacao prepararAtualizacao(const configuracao::Argumentos& argumentos, std::istream& entrada,
                               std::ostream& saida);

/// Runs the mass update with the run's arguments (configuracao::argumentos()),
/// connecting up to `antecipacao` machines ahead of the one being updated.
/// Returns when the run has ended regularly (exit status 0); every failure
/// that no stage handles is thrown to the entry.
void atualizarEmMassa(std::size_t antecipacao = 0);

}  // namespace workflow
