#include "UTILITARIOS/workflow/inventario.hpp"

#include <nlohmann/json.hpp>
#include <utility>

#include "UTILITARIOS/api/cliente_api.hpp"
#include "UTILITARIOS/textos.hpp"

namespace workflow {
namespace {

using nlohmann::ordered_json;

using api::Molde;

// What the inventory reads of the list; everything else is skipped unread.
const Molde kInteiro{};
// A machine without the full set of members is read in its short form only
// when it has more than four (MontadorClientes::lerMaquina): up to five
// unread members count.
const Molde kMaquina{Molde::Forma::objeto,
                     {{"tipo", &kInteiro},
                      {"ip", &kInteiro},
                      {"sshPort", &kInteiro},
                      {"user", &kInteiro},
                      {"senhaVm", &kInteiro},
                      {"senhaRoot", &kInteiro},
                      {"acesso", &kInteiro}},
                     5};
const Molde kMaquinas{Molde::Forma::array, {}, 0, &kMaquina};
const Molde kProduto{Molde::Forma::objeto, {{"nome", &kInteiro}, {"maquinas", &kMaquinas}}};
const Molde kProdutos{Molde::Forma::array, {}, 0, &kProduto, 1};
const Molde kCliente{Molde::Forma::objeto, {{"numero", &kInteiro}, {"produto", &kProdutos}}};
const Molde kLista{Molde::Forma::array, {}, 0, &kCliente};

std::string encontrado(const ordered_json& v) { return "é " + std::string(api::nomeDoTipo(v)); }

// Null, false, zero and the empty text, array and object.
bool vazio(const ordered_json& v) {
  if (v.is_number()) return v.get<double>() == 0.0;
  if (v.is_boolean()) return !v.get<bool>();
  return v.is_null() || v.empty() || (v.is_string() && v.get_ref<const std::string&>().empty());
}

// The member `nome` of `objeto`, or null when it is absent. A value the
// reader would not keep (too long, too deep) is a shape error of its own.
const ordered_json* membro(const ordered_json& objeto, const char* nome, const std::string& onde) {
  const auto it = objeto.find(nome);
  if (it == objeto.end()) return nullptr;
  if (const api::Excesso e = api::excesso(*it); e != api::Excesso::nenhum)
    throw FalhaInventario(onde + ": \"" + nome + "\" " + api::textoDoExcesso(e));
  return &*it;
}

}  // namespace

ordered_json lerAcessos(std::istream& corpo, const api::PorElemento& porElemento) {
  return api::lerSeletivo(corpo, kLista, porElemento);
}

std::string nomeCodigoDe(std::string_view pastaCodigo) {
  const std::size_t barra = pastaCodigo.rfind('/');
  return std::string(barra == std::string_view::npos ? pastaCodigo : pastaCodigo.substr(barra + 1));
}

Acesso lerAcesso(std::string_view acesso, const std::string& onde) {
  const std::size_t arroba = acesso.rfind('@');
  const std::string_view aposArroba =
      arroba == std::string_view::npos ? acesso : acesso.substr(arroba + 1);
  const auto palavrasEndereco = textos::palavras(aposArroba);
  if (palavrasEndereco.empty())
    throw FalhaInventario(onde + ": \"acesso\" não tem endereço depois do último \"@\"");
  const auto palavrasAcesso = textos::palavras(acesso);
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

void MontadorClientes::cliente(const ordered_json& entrada) {
  ++posicao_;
  lerCliente(entrada);
}

void MontadorClientes::acrescentar(const std::string& rotulo, RegistroMaquina&& registro) {
  // A group is born with its first record, so that labels keep the order in
  // which their records were met.
  const auto [grupo, novo] = indicePorRotulo_.try_emplace(rotulo, clientes_.size());
  if (novo) {
    rotulos_.push_back(std::make_shared<const std::string>(rotulo));
    clientes_.push_back({rotulo, {}});
  }
  registro.cliente = rotulos_[grupo->second];
  clientes_[grupo->second].maquinas.push_back(std::move(registro));
}

void MontadorClientes::lerCliente(const ordered_json& c) {
  std::string onde = "cliente na posição " + std::to_string(posicao_);
  if (!c.is_object())
    throw FalhaInventario(onde + ": a entrada não é um objeto JSON (" + encontrado(c) + ")");
  const ordered_json* numero = membro(c, "numero", onde);
  if (numero == nullptr) throw FalhaInventario(onde + ": falta o membro \"numero\"");
  const std::string numeroTexto = api::Valor(*numero).texto();
  onde += " (numero " + numeroTexto + ")";
  const ordered_json* produto = membro(c, "produto", onde);
  if (produto == nullptr) throw FalhaInventario(onde + ": falta o membro \"produto\"");
  if (!produto->is_array())
    throw FalhaInventario(onde + ": \"produto\" não é um array (" + encontrado(*produto) + ")");
  if (produto->empty()) throw FalhaInventario(onde + ": \"produto\" está vazio");
  const ordered_json& primeiro = produto->front();
  if (!primeiro.is_object())
    throw FalhaInventario(onde + ": produto[0] não é um objeto (" + encontrado(primeiro) + ")");
  const ordered_json* nome = membro(primeiro, "nome", onde);
  const std::string rotulo = numeroTexto + " - " + (nome ? api::Valor(*nome).texto() : "N/A");
  const ordered_json* maquinas = membro(primeiro, "maquinas", onde);
  if (maquinas == nullptr)
    throw FalhaInventario(onde + ": falta o membro \"maquinas\" em produto[0]");
  if (!maquinas->is_array())
    throw FalhaInventario(onde + ": produto[0].maquinas não é um array (" + encontrado(*maquinas) +
                          ")");

  std::size_t posicao = 0;
  for (const ordered_json& m : *maquinas)
    lerMaquina(m, rotulo, onde + ", máquina na posição " + std::to_string(++posicao));
}

void MontadorClientes::lerMaquina(const ordered_json& m, const std::string& rotulo,
                                  const std::string& onde) {
  if (!m.is_object())
    throw FalhaInventario(onde + ": a entrada não é um objeto JSON (" + encontrado(m) + ")");
  const ordered_json* tipo = membro(m, "tipo", onde);
  if (tipo == nullptr) throw FalhaInventario(onde + ": falta o membro \"tipo\"");
  if (*tipo == "database" || *tipo == "outro") return;

  const ordered_json* senhaVm = membro(m, "senhaVm", onde);
  const ordered_json* senhaRoot = membro(m, "senhaRoot", onde);
  const ordered_json* ip = membro(m, "ip", onde);
  const ordered_json* porta = membro(m, "sshPort", onde);
  const ordered_json* user = membro(m, "user", onde);
  const ordered_json* acesso = membro(m, "acesso", onde);
  if (ip && porta && user && senhaVm && senhaRoot) {
    acrescentar(rotulo, {nullptr, api::Valor(*tipo), api::Valor(*ip), api::Valor(*porta),
                         api::Valor(*user), api::Valor(*senhaVm), api::Valor(*senhaRoot)});
    return;
  }
  // The short form, only for entries with enough members to be a machine.
  if (m.size() <= 4) return;
  if (!acesso || vazio(*acesso) || !senhaVm || vazio(*senhaVm) || !senhaRoot || vazio(*senhaRoot))
    return;
  if (!acesso->is_string())
    throw FalhaInventario(onde + ": \"acesso\" não é um texto (" + encontrado(*acesso) + ")");
  Acesso lido = lerAcesso(acesso->get_ref<const std::string&>(), onde);
  acrescentar(rotulo, {nullptr, api::Valor(*tipo), api::Valor::deTexto(std::move(lido.endereco)),
                       api::Valor::deTexto(std::move(lido.porta)),
                       api::Valor::deTexto(std::move(lido.usuario)), api::Valor(*senhaVm),
                       api::Valor(*senhaRoot)});
}

Clientes MontadorClientes::concluir(const ordered_json& documento) {
  if (!documento.is_array())
    throw FalhaInventario("a lista de acessos não é um array JSON (" + encontrado(documento) + ")");
  indicePorRotulo_.clear();
  rotulos_.clear();
  return std::move(clientes_);
}

}  // namespace workflow
