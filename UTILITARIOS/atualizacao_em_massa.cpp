#include "UTILITARIOS/entrada.hpp"

int main(int argc, char** argv) { return entrada::executar(argc, argv); }
