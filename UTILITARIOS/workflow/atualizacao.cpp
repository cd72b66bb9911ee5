#include "UTILITARIOS/workflow/atualizacao.hpp"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <istream>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string_view>

#include "UTILITARIOS/api/cliente_api.hpp"
#include "UTILITARIOS/auditoria.hpp"
#include "UTILITARIOS/console.hpp"
#include "UTILITARIOS/encerramento.hpp"
#include "UTILITARIOS/falhas.hpp"
#include "UTILITARIOS/ssh/conexao_ssh.hpp"
#include "UTILITARIOS/textos.hpp"
#include "UTILITARIOS/workflow/inventario.hpp"
#include "UTILITARIOS/workflow/procedimento.hpp"
#include "UTILITARIOS/workflow/selecao.hpp"

namespace workflow {

namespace {

// Checked before anything else happens: a path that names no file, or that
// the remote commands would read as something else (the folder itself, its
// parent, an option), must touch nothing.
void conferirCaminho(const std::string& pastaCodigo) {
  std::string motivo;
  if (pastaCodigo.find_first_of(std::string("\0\n\r", 3)) != std::string::npos)
    motivo = "tem um caractere nulo ou uma quebra de linha";
  else if (pastaCodigo.starts_with('/'))
    motivo = "é absoluto";
  else if (nomeCodigoDe(pastaCodigo).empty())
    motivo = "não termina num nome de arquivo";
  for (std::size_t inicio = 0; motivo.empty() && inicio <= pastaCodigo.size();) {
    const std::size_t fim = std::min(pastaCodigo.find('/', inicio), pastaCodigo.size());
    const std::string_view parte = std::string_view(pastaCodigo).substr(inicio, fim - inicio);
    if (parte == "." || parte == "..") motivo = "tem um componente \".\" ou \"..\"";
    if (parte.starts_with('-')) motivo = "tem um componente que começa com \"-\"";
    inicio = fim + 1;
  }
  if (!motivo.empty()) {
    throw falhas::Falha("caminho do script recusado",
                        "\"" + textos::visivelNumaLinha(pastaCodigo) + "\" " + motivo);
  }
}

// Who runs the tool, for the audit record: under sudo, the operator who
// called it (the uid says whose rights the run has).
std::string usuario() {
  const std::string uid = std::to_string(::getuid());
  const char* sudo = std::getenv("SUDO_USER");
  if (sudo != nullptr && *sudo != '\0') return auditoria::campo(sudo) + " (sudo, uid " + uid + ")";
  const passwd* conta = ::getpwuid(::getuid());
  return std::string(conta ? conta->pw_name : "?") + " (uid " + uid + ")";
}

}  // namespace

void atualizarEmMassa(const Argumentos& argumentos, std::istream& entrada, std::ostream& saida,
                      const Ajustes& ajustes) {
  encerramento::abrir("início: usuário " + usuario() + ", modo " + argumentos.mode + ", escopo " +
                      auditoria::campo(argumentos.inserir) + ", tipo " +
                      auditoria::campo(argumentos.tipoCliente) + ", script " +
                      auditoria::campo(argumentos.pastaCodigo));
  falhas::naEtapa("ao conferir o caminho do script",
                  [&] { conferirCaminho(argumentos.pastaCodigo); });
  const std::string nomeCodigo = nomeCodigoDe(argumentos.pastaCodigo);

  const api::Valor token = falhas::naEtapa("ao entrar na API (POST /login)", [&] {
    return api::obterTokenSistemaZelvo(ajustes.paciencia);
  });

  // The list is turned into records while it is parsed; its first shape
  // failure ends the transfer, and says what the server answered.
  MontadorClientes montador;
  std::string resposta;
  nlohmann::ordered_json documento;
  Clientes clientes;
  try {
    falhas::naEtapa("ao ler a lista de acessos (GET /acessos)", [&] {
      api::obterListaClientes(
          token,
          [&](std::istream& corpo) {
            documento = lerAcessos(
                corpo, [&](nlohmann::ordered_json& entrada) { montador.cliente(entrada); });
          },
          resposta, ajustes.paciencia);
    });
    clientes =
        falhas::naEtapa("ao montar o inventário", [&] { return montador.concluir(documento); });
  } catch (const FalhaInventario& falha) {
    throw FalhaInventario(std::string(falha.what()) + "; resposta a GET /acessos: " + resposta,
                          "ao montar o inventário");
  }

  const Selecao selecao = falhas::naEtapa("na seleção de máquinas", [&] {
    return selecionarMaquinas(clientes, argumentos.inserir, argumentos.tipoCliente, entrada, saida);
  });
  if (argumentos.mode == "listar") {
    listarMaquinas(selecao.vms_selecionadas, argumentos.pastaCodigo, saida);
    return;
  }
  // Nothing chosen, "sair" included, still ends with the summary line.
  // The shell prompt's "$" ends the collection of a command's output.
  const FabricaSessao fabrica =
      [pausaFixa = ajustes.pausaFixa](const Destino& d) -> std::unique_ptr<ssh::SessaoRemota> {
    return std::make_unique<ssh::conexaoSSH>(d.host, d.port, d.user, d.senha, std::string("$"),
                                             ssh::conexaoSSH::kTimeoutPadrao, pausaFixa,
                                             d.senhaRoot);
  };
  atualizarMaquinas(selecao.vms_selecionadas, nomeCodigo, argumentos.pastaCodigo, fabrica, saida,
                    auditoria::registrar, ajustes.antecipacao);
}

}  // namespace workflow
