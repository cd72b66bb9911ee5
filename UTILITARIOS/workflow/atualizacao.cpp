#include "UTILITARIOS/workflow/atualizacao.hpp"

#include <iostream>
#include <nlohmann/json.hpp>

#include "UTILITARIOS/api/cliente_api.hpp"
#include "UTILITARIOS/configuracao.hpp"
#include "UTILITARIOS/falhas.hpp"
#include "UTILITARIOS/workflow/inventario.hpp"
#include "UTILITARIOS/workflow/procedimento.hpp"
#include "UTILITARIOS/workflow/selecao.hpp"

namespace workflow {

void atualizarEmMassa(std::size_t antecipacao) {
  const configuracao::Argumentos& argumentos = configuracao::argumentos();
  const std::string nomeCodigo = nomeCodigoDe(argumentos.pastaCodigo);

  falhas::definirEtapa("ao entrar na API (POST /login)");
  const api::Valor token = api::obterTokenSistemaZelvo();

  // The list is turned into records while it is parsed; its shape failures
  // surface once the whole body has been read.
  falhas::definirEtapa("ao ler a lista de acessos (GET /acessos)");
  MontadorClientes montador;
  std::string resposta;
  const nlohmann::ordered_json documento = api::obterListaClientes(
      token, [&](nlohmann::ordered_json& entrada) { montador.cliente(entrada); }, resposta);

  falhas::definirEtapa("ao montar o inventário");
  Clientes clientes;
  try {
    clientes = montador.concluir(documento);
  } catch (const FalhaInventario& falha) {
    // The list ended the run: say what the server answered with it.
    throw FalhaInventario(std::string(falha.what()) + "; resposta a GET /acessos: " + resposta);
  }

  falhas::definirEtapa("na seleção de máquinas");
  const Selecao selecao = selecionarMaquinas(clientes, argumentos.inserir,
                                             argumentos.tipoCliente, std::cin, std::cout);
  if (selecao.encerrarExecucao) return;

  atualizarMaquinas(selecao.vms_selecionadas, nomeCodigo, argumentos.pastaCodigo,
                    fabricaConexaoSSH(), antecipacao);
}

}  // namespace workflow
