#include "UTILITARIOS/entrada.hpp"

// How many machines are connected ahead of the one being updated; a build
// setting (ATUALIZACAO_ANTECIPACAO), 0 being the strict sequence.
int main(int argc, char** argv) { return entrada::executar(argc, argv, ATUALIZACAO_ANTECIPACAO); }
