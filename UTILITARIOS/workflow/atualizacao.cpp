#include "UTILITARIOS/workflow/atualizacao.hpp"

#include <iostream>
#include <utility>

#include "UTILITARIOS/api/cliente_api.hpp"
#include "UTILITARIOS/falhas.hpp"
#include "UTILITARIOS/workflow/procedimento.hpp"

namespace workflow {

Preparacao prepararAtualizacao(const configuracao::Argumentos& argumentos, std::istream& entrada,
                               std::ostream& saida) {
  Preparacao preparacao;
  preparacao.nomeCodigo = nomeCodigoDe(argumentos.pastaCodigo);

  falhas::definirEtapa("ao entrar na API (POST /login)");
  const api::Valor token = api::obterTokenSistemaZelvo();

  // The list is turned into records while it arrives; its shape failures
  // surface once the whole body has been read.
  falhas::definirEtapa("ao ler a lista de acessos (GET /acessos)");
  MontadorClientes montador;
  api::obterListaClientes(token, montador);

  falhas::definirEtapa("ao montar o inventário");
  preparacao.clientes = montador.concluir();

  falhas::definirEtapa("na seleção de máquinas");
  Selecao selecao = selecionarMaquinas(preparacao.clientes, argumentos.inserir,
                                       argumentos.tipoCliente, entrada, saida);
  preparacao.vms_selecionadas = std::move(selecao.vms_selecionadas);
  preparacao.encerrada = selecao.encerrarExecucao;
  return preparacao;
}

void atualizarEmMassa(std::size_t antecipacao) {
  Preparacao preparacao = prepararAtualizacao(configuracao::argumentos(), std::cin, std::cout);
  if (preparacao.encerrada) return;

  atualizarMaquinas(preparacao.vms_selecionadas, preparacao.nomeCodigo,
                    configuracao::argumentos().pastaCodigo, fabricaConexaoSSH(), antecipacao);
}

}  // namespace workflow
