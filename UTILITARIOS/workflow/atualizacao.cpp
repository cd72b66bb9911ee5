#include "UTILITARIOS/workflow/atualizacao.hpp"

namespace workflow {

void atualizarEmMassa() {}

}  // namespace workflow
