#include "UTILITARIOS/entrada.hpp"

// Build settings: how many machines are connected ahead of the one being
// updated (ATUALIZACAO_ANTECIPACAO, 0 being the strict sequence), whether
// each command's output is read at fixed 0.2 s ticks (ATUALIZACAO_PAUSA_FIXA,
// the strict loop) rather than as it arrives, and, for a test build, a
// shorter patience with the API (ATUALIZACAO_SILENCIO_API_S and
// ATUALIZACAO_LENTIDAO_API_S).
int main(int argc, char** argv) {
  workflow::Ajustes ajustes;
  ajustes.antecipacao = ATUALIZACAO_ANTECIPACAO;
  ajustes.pausaFixa = ATUALIZACAO_PAUSA_FIXA != 0;
#ifdef ATUALIZACAO_SILENCIO_API_S
  ajustes.paciencia = {ATUALIZACAO_SILENCIO_API_S, ATUALIZACAO_LENTIDAO_API_S};
#endif
  return entrada::executar(argc, argv, ajustes);
}
