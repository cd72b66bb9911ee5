#include "UTILITARIOS/ssh/conexao_ssh.hpp"
#include "UTILITARIOS/workflow/procedimento.hpp"

namespace workflow {

FabricaSessao fabricaConexaoSSH() {
  return [](const std::string& host, int port, const std::string& user, const std::string& pwd) {
    // The shell prompt's "$" ends the collection of a command's output.
    return std::make_unique<ssh::conexaoSSH>(host, port, user, pwd, std::string("$"));
  };
}

}  // namespace workflow
