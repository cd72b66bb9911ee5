#include "UTILITARIOS/workflow/inventario.hpp"

#include <algorithm>
#include <utility>

#include "UTILITARIOS/texto.hpp"

namespace workflow {
namespace {

using api::MaquinaAcesso;
using api::TipoJson;

/// Unwinds the reading of one customer entry to its first failure.
struct Interrupcao {
  std::string mensagem;
};

[[noreturn]] void falhar(const std::string& onde, const std::string& problema) {
  throw Interrupcao{onde + ": " + problema};
}

std::string encontrado(TipoJson t) { return "é " + std::string(api::nomeDoTipo(t)); }

}  // namespace

std::string nomeCodigoDe(std::string_view pastaCodigo) {
  const std::size_t barra = pastaCodigo.rfind('/');
  return std::string(barra == std::string_view::npos ? pastaCodigo : pastaCodigo.substr(barra + 1));
}

Acesso lerAcesso(std::string_view acesso, const std::string& onde) {
  const std::size_t arroba = acesso.rfind('@');
  const std::string_view aposArroba =
      arroba == std::string_view::npos ? acesso : acesso.substr(arroba + 1);
  const auto palavrasEndereco = texto::palavras(aposArroba);
  if (palavrasEndereco.empty())
    throw FalhaInventario(onde + ": \"acesso\" não tem endereço depois do último \"@\"");
  const auto palavrasAcesso = texto::palavras(acesso);
  if (palavrasAcesso.size() < 2)
    throw FalhaInventario(onde + ": \"acesso\" tem menos de duas palavras");

  Acesso resultado;
  resultado.endereco = palavrasEndereco.front();
  const std::size_t opcaoPorta = aposArroba.rfind("-p");
  resultado.porta =
      opcaoPorta == std::string_view::npos ? aposArroba : aposArroba.substr(opcaoPorta + 2);
  const std::string_view usuarioArroba = palavrasAcesso[1];
  resultado.usuario = usuarioArroba.substr(0, usuarioArroba.find('@'));
  return resultado;
}

void MontadorClientes::documento(TipoJson tipo) {
  if (tipo != TipoJson::array && !falha_)
    falha_ = "a lista de acessos não é um array JSON (" + encontrado(tipo) + ")";
}

void MontadorClientes::cliente(api::ClienteAcesso&& entrada) {
  ++posicao_;
  if (falha_) return;
  api::ClienteAcesso c = std::move(entrada);
  try {
    lerCliente(c);
  } catch (const Interrupcao& i) {
    falha_ = i.mensagem;
  } catch (const FalhaInventario& erro) {
    falha_ = erro.what();
  }
}

void MontadorClientes::lerCliente(api::ClienteAcesso& c) {
  std::string onde = "cliente na posição " + std::to_string(posicao_);
  if (c.forma != TipoJson::objeto)
    falhar(onde, "a entrada não é um objeto JSON (" + encontrado(c.forma) + ")");
  if (!c.temNumero) falhar(onde, "falta o membro \"numero\"");
  onde += " (numero " + c.numero.texto() + ")";
  if (c.produto == TipoJson::ausente) falhar(onde, "falta o membro \"produto\"");
  if (c.produto != TipoJson::array)
    falhar(onde, "\"produto\" não é um array (" + encontrado(c.produto) + ")");
  if (c.produtoVazio) falhar(onde, "\"produto\" está vazio");
  if (c.primeiroProduto != TipoJson::objeto)
    falhar(onde, "produto[0] não é um objeto (" + encontrado(c.primeiroProduto) + ")");
  std::string rotulo = c.numero.texto() + " - " + (c.temNome ? c.nome.texto() : "N/A");
  if (c.maquinasForma == TipoJson::ausente)
    falhar(onde, "falta o membro \"maquinas\" em produto[0]");
  if (c.maquinasForma != TipoJson::array)
    falhar(onde, "produto[0].maquinas não é um array (" + encontrado(c.maquinasForma) + ")");

  // Records go straight into their group; a group is born with its first
  // record, so that labels keep the order in which their records were met.
  std::size_t grupo = clientes_.size();
  auto existente = indicePorRotulo_.find(rotulo);
  if (existente != indicePorRotulo_.end()) grupo = existente->second;
  bool preparado = false;
  auto registros = [&]() -> std::vector<RegistroMaquina>& {
    if (grupo == clientes_.size()) {
      indicePorRotulo_.emplace(rotulo, grupo);
      rotulos_.push_back(std::make_shared<const std::string>(rotulo));
      clientes_.push_back({rotulo, {}});
    }
    auto& destino = clientes_[grupo].maquinas;
    if (!preparado) {
      // Room for this entry's machines at once; growth stays geometric when
      // one label collects many entries.
      preparado = true;
      const std::size_t necessario = destino.size() + c.maquinas.size();
      if (destino.capacity() < necessario)
        destino.reserve(std::max(necessario, destino.capacity() + destino.capacity() / 2));
    }
    return destino;
  };

  std::size_t posicao = 0;
  for (MaquinaAcesso& m : c.maquinas) {
    ++posicao;
    const auto ondeMaquina = [&] {
      return onde + ", máquina na posição " + std::to_string(posicao);
    };
    if (m.forma != TipoJson::objeto)
      falhar(ondeMaquina(), "a entrada não é um objeto JSON (" + encontrado(m.forma) + ")");
    if (!m.tem(MaquinaAcesso::tipo)) falhar(ondeMaquina(), "falta o membro \"tipo\"");
    auto& v = m.valores;
    if (v[MaquinaAcesso::tipo] == "database" || v[MaquinaAcesso::tipo] == "outro") continue;

    const bool formaCompleta = m.tem(MaquinaAcesso::ip) && m.tem(MaquinaAcesso::sshPort) &&
                               m.tem(MaquinaAcesso::user) && m.tem(MaquinaAcesso::senhaVm) &&
                               m.tem(MaquinaAcesso::senhaRoot);
    if (formaCompleta) {
      auto& destino = registros();
      destino.push_back({rotulos_[grupo], std::move(v[MaquinaAcesso::tipo]),
                         std::move(v[MaquinaAcesso::ip]), std::move(v[MaquinaAcesso::sshPort]),
                         std::move(v[MaquinaAcesso::user]), std::move(v[MaquinaAcesso::senhaVm]),
                         std::move(v[MaquinaAcesso::senhaRoot])});
      continue;
    }
    // The short form, only for entries with enough members to be a machine.
    if (m.chaves <= 4) continue;
    bool utilizavel = true;
    for (const auto campo :
         {MaquinaAcesso::acesso, MaquinaAcesso::senhaVm, MaquinaAcesso::senhaRoot})
      utilizavel = utilizavel && m.tem(campo) && !v[campo].vazio();
    if (!utilizavel) continue;
    if (!v[MaquinaAcesso::acesso].ehTexto())
      falhar(ondeMaquina(),
             "\"acesso\" não é um texto (" + encontrado(v[MaquinaAcesso::acesso].tipo()) + ")");
    Acesso acesso = lerAcesso(v[MaquinaAcesso::acesso].texto(), ondeMaquina());
    auto& destino = registros();
    destino.push_back({rotulos_[grupo], std::move(v[MaquinaAcesso::tipo]),
                       api::Valor::deTexto(std::move(acesso.endereco)),
                       api::Valor::deTexto(std::move(acesso.porta)),
                       api::Valor::deTexto(std::move(acesso.usuario)),
                       std::move(v[MaquinaAcesso::senhaVm]),
                       std::move(v[MaquinaAcesso::senhaRoot])});
  }
}

Clientes MontadorClientes::concluir() {
  if (falha_) throw FalhaInventario(*falha_);
  indicePorRotulo_.clear();
  rotulos_.clear();
  // Room was reserved for skipped and dropped entries too.
  for (GrupoCliente& g : clientes_) g.maquinas.shrink_to_fit();
  return std::move(clientes_);
}

Clientes montarClientes(api::ListaAcessos&& lista) {
  MontadorClientes montador;
  montador.documento(lista.documento);
  for (api::ClienteAcesso& c : lista.clientes) montador.cliente(std::move(c));
  return montador.concluir();
}

}  // namespace workflow
