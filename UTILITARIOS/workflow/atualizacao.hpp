#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>

// The mass update: inventory, selection and the per-machine procedure.
namespace workflow {

/// The four command-line arguments, exactly as given.
struct Argumentos {
  std::string mode;
  std::string inserir;      ///< selection scope: "1" automatic, "2" interactive
  std::string tipoCliente;  ///< customer-type filter
  std::string pastaCodigo;  ///< script path in the script repository
};

/// Runs the mass update with the run's `argumentos`, the operator's answer
/// read from `entrada` and the report written to `saida`, connecting up to
/// `antecipacao` machines ahead of the one being updated; with `pausaFixa`
/// the sessions read output at fixed 0.2 s ticks (ssh::conexaoSSH). Returns
/// when the run has ended regularly (exit status 0); every failure that no
/// stage handles is thrown to the entry. With the mode "listar" the run
/// stops after the selection and lists the machines it would treat.
void atualizarEmMassa(const Argumentos& argumentos, std::istream& entrada, std::ostream& saida,
                      std::size_t antecipacao = 0, bool pausaFixa = false);

}  // namespace workflow
