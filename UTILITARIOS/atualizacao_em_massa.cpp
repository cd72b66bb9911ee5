#include "UTILITARIOS/entrada.hpp"

// Build settings: how many machines are connected ahead of the one being
// updated (ATUALIZACAO_ANTECIPACAO, 0 being the strict sequence), and
// whether each command's output is read at fixed 0.2 s ticks
// (ATUALIZACAO_PAUSA_FIXA, the strict loop) rather than as it arrives.
int main(int argc, char** argv) {
  return entrada::executar(argc, argv, ATUALIZACAO_ANTECIPACAO, ATUALIZACAO_PAUSA_FIXA != 0);
}
