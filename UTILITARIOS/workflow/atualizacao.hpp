#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>

#include "UTILITARIOS/api/http.hpp"

// The mass update: inventory, selection and the per-machine procedure.
namespace workflow {

/// The four command-line arguments, exactly as given.
struct Argumentos {
  std::string mode;
  std::string inserir;      ///< selection scope: "1" automatic, "2" interactive
  std::string tipoCliente;  ///< customer-type filter
  std::string pastaCodigo;  ///< script path in the script repository
};

/// How a build runs: `antecipacao` machines connected ahead of the one being
/// updated; with `pausaFixa`, sessions that read output at fixed 0.2 s ticks
/// (ssh::conexaoSSH); the API requests' patience.
struct Ajustes {
  std::size_t antecipacao = 0;
  bool pausaFixa = false;
  api::Paciencia paciencia;
};

/// Runs the mass update with the run's `argumentos`, the operator's answer
/// read from `entrada` and the report written to `saida`. Returns when the
/// run has ended regularly (exit status 0); every failure that no stage
/// handles is thrown to the entry. With the mode "listar" the run stops
/// after the selection and lists the machines it would treat.
void atualizarEmMassa(const Argumentos& argumentos, std::istream& entrada, std::ostream& saida,
                      const Ajustes& ajustes = {});

}  // namespace workflow
