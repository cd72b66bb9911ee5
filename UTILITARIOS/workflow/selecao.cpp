#include "UTILITARIOS/workflow/selecao.hpp"

#include <istream>
#include <ostream>
#include <string>

#include "UTILITARIOS/console.hpp"
#include "UTILITARIOS/textos.hpp"

namespace workflow {
namespace {

constexpr std::string_view kPergunta = "\nDigite qual VM deseja subir (ou 'sair'): ";

enum class Escopo { automatico, interativo, nenhum };

Escopo escopoDe(std::string_view inserir) {
  const auto numero = textos::lerInteiro(inserir);
  if (!numero)
    throw FalhaSelecao("o escopo de seleção \"" + std::string(inserir) +
                       "\" não é um número inteiro");
  if (!numero->negativo && numero->digitos == "1") return Escopo::automatico;
  if (!numero->negativo && numero->digitos == "2") return Escopo::interativo;
  return Escopo::nenhum;
}

bool ehManager(const RegistroMaquina& r) { return r.tipo == "manager"; }

void selecionarAutomatico(const Clientes& clientes, std::string_view tipoCliente,
                          Selecao& selecao) {
  for (const GrupoCliente& grupo : clientes) {
    if (tipoClienteDe(grupo.rotulo) != tipoCliente) continue;
    // Once per "manager" record, not once per group: that is the rule.
    for (const RegistroMaquina& registro : grupo.maquinas) {
      if (!ehManager(registro)) continue;
      for (const RegistroMaquina& r : grupo.maquinas) selecao.vms_selecionadas.push_back(&r);
    }
  }
}

// Position chosen by the answer, counted from 0, or -1 when out of range.
long long posicaoEscolhida(const textos::Inteiro& numero, std::size_t tamanho) {
  // Anything longer than 18 digits is far beyond any group.
  if (numero.negativo || numero.digitos.size() > 18) return -1;
  const long long opcao = std::stoll(numero.digitos) - 1;
  return opcao >= 0 && static_cast<unsigned long long>(opcao) < tamanho ? opcao : -1;
}

void selecionarInterativo(const Clientes& clientes, std::string_view tipoCliente,
                          std::istream& entrada, std::ostream& saida, Selecao& selecao) {
  for (const GrupoCliente& grupo : clientes) {
    if (tipoClienteDe(grupo.rotulo) != tipoCliente) continue;
    std::size_t numero = 0;
    for (const RegistroMaquina& r : grupo.maquinas) {
      // Appended piece by piece: GCC 12 at -O3 sees a false overlap (-Wrestrict)
      // in a string literal + std::string chain.
      std::string item = "[";
      item += std::to_string(++numero);
      item += "] ";
      item += textos::visivelNumaLinha(r.tipo.texto());
      item += " - ";
      item += textos::visivelNumaLinha(r.ip.texto());
      console::escreverLinha(saida, {item});
    }
    saida << kPergunta << std::flush;
    std::string linha;
    if (!std::getline(entrada, linha)) {
      // The cause goes to standard error: end the prompt's line first.
      saida << '\n' << std::flush;
      throw FalhaSelecao("a entrada padrão terminou sem resposta à pergunta de seleção");
    }
    const std::string resposta = textos::minusculas(textos::aparar(linha));

    if (resposta == "sair") {
      if (selecao.vms_selecionadas.empty()) {
        console::escreverLinha(saida, {"Nenhuma VM selecionada. Encerrando."});
      } else {
        console::escreverLinha(saida,
                               {"Encerrando seleção e iniciando acesso às VMs selecionadas..."});
      }
      return;
    }
    const auto escolha = textos::lerInteiro(resposta);
    if (!escolha) {
      console::escreverLinha(saida, {"Entrada inválida. Pulando cliente."});
      continue;
    }
    const long long opcao = posicaoEscolhida(*escolha, grupo.maquinas.size());
    if (opcao < 0) {
      console::escreverLinha(saida, {"Opção inválida. Pulando cliente."});
      continue;
    }
    selecao.vms_selecionadas.push_back(&grupo.maquinas[static_cast<std::size_t>(opcao)]);
  }
}

}  // namespace

std::string tipoClienteDe(std::string_view rotulo) {
  constexpr std::string_view kSeparador = " - ";
  const std::size_t separador = rotulo.rfind(kSeparador);
  const std::string_view aposSeparador =
      separador == std::string_view::npos ? rotulo : rotulo.substr(separador + kSeparador.size());
  const auto palavras = textos::palavras(aposSeparador);
  if (palavras.empty())
    throw FalhaSelecao("o cliente \"" + std::string(rotulo) +
                       "\" não tem tipo depois do último \" - \"");
  return std::string(textos::aparar(palavras.front()));
}

Selecao selecionarMaquinas(const Clientes& clientes, std::string_view inserir,
                           std::string_view tipoCliente, std::istream& entrada,
                           std::ostream& saida) {
  Selecao selecao;
  switch (escopoDe(inserir)) {
    case Escopo::automatico:
      selecionarAutomatico(clientes, tipoCliente, selecao);
      break;
    case Escopo::interativo:
      selecionarInterativo(clientes, tipoCliente, entrada, saida, selecao);
      break;
    case Escopo::nenhum:
      break;
  }
  return selecao;
}

}  // namespace workflow
