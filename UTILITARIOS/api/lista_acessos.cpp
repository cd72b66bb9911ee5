#include "UTILITARIOS/api/lista_acessos.hpp"

#include <algorithm>
#include <istream>
#include <sstream>
#include <string>
#include <utility>

namespace api {
namespace {

using nlohmann::json;

TipoJson formaDe(json::value_t t) {
  switch (t) {
    case json::value_t::null:
      return TipoJson::nulo;
    case json::value_t::boolean:
      return TipoJson::booleano;
    case json::value_t::string:
      return TipoJson::texto;
    case json::value_t::array:
      return TipoJson::array;
    case json::value_t::object:
      return TipoJson::objeto;
    default:
      return TipoJson::numero;
  }
}

/// Reduces the access list while it is parsed. A stack of contexts says
/// where the parser is; values outside the kept members are skipped without
/// being built, and every level of nesting costs one byte of heap.
class LeitorLista : public LeitorSax {
 public:
  explicit LeitorLista(DestinoAcessos& saida) : saida_(saida) {}

  bool null() {
    return escalar(TipoJson::nulo, [] { return std::string("null"); });
  }
  bool boolean(bool v) {
    return escalar(TipoJson::booleano, [v] { return std::string(v ? "true" : "false"); });
  }
  bool number_integer(json::number_integer_t v) {
    return escalar(TipoJson::numero, [v] { return std::to_string(v); });
  }
  bool number_unsigned(json::number_unsigned_t v) {
    return escalar(TipoJson::numero, [v] { return std::to_string(v); });
  }
  bool number_float(json::number_float_t v, const std::string&) {
    return escalar(TipoJson::numero, [v] { return textoJson(v); });
  }
  bool string(std::string& v) {
    return escalar(TipoJson::texto, [&v] { return v; });
  }
  bool start_object(std::size_t) { return abrir(json::value_t::object); }
  bool start_array(std::size_t) { return abrir(json::value_t::array); }
  bool end_object() { return fechar(); }
  bool end_array() { return fechar(); }
  bool key(std::string& k);

 private:
  enum class Contexto : std::uint8_t {
    raiz,
    lista,
    cliente,
    clienteIgnorado,
    produtos,
    produto0,
    maquinas,
    maquina,
    ignorar,
    capturar
  };
  // What the value about to start will be, given the context and the last key.
  enum class Destino : std::uint8_t {
    ignorar,
    documento,
    cliente,
    numero,
    produto,
    produto0,
    nome,
    maquinas,
    maquina,
    campo
  };

  Contexto contexto() const { return contextos_.back(); }
  ClienteAcesso& cliente() { return cliente_; }
  MaquinaAcesso& maquina() { return cliente_.maquinas.back(); }

  void novoCliente(TipoJson forma) {
    cliente_ = ClienteAcesso();
    cliente_.forma = forma;
  }
  void entregarCliente() { saida_.cliente(std::move(cliente_)); }

  Destino destinoDoValor() {
    switch (contexto()) {
      case Contexto::raiz:
        return Destino::documento;
      case Contexto::lista:
        return Destino::cliente;
      case Contexto::produtos:
        cliente().produtoVazio = false;
        return indiceProduto_++ == 0 ? Destino::produto0 : Destino::ignorar;
      case Contexto::maquinas:
        return Destino::maquina;
      case Contexto::cliente:
      case Contexto::produto0:
      case Contexto::maquina:
        return destino_;
      default:
        return Destino::ignorar;
    }
  }

  /// The kept value the destination names, marked present.
  Valor* alvo(Destino d) {
    switch (d) {
      case Destino::numero:
        cliente().temNumero = true;
        return &cliente().numero;
      case Destino::nome:
        cliente().temNome = true;
        return &cliente().nome;
      case Destino::campo:
        maquina().presentes |= static_cast<std::uint8_t>(1U << campo_);
        return &maquina().valores[campo_];
      default:
        return nullptr;
    }
  }

  // A repeated `produto` or `maquinas` replaces the earlier one, as the last
  // of duplicate members wins in a parsed document.
  void novoProduto(TipoJson forma) {
    ClienteAcesso& c = cliente();
    c.produto = forma;
    c.produtoVazio = true;
    c.primeiroProduto = TipoJson::ausente;
    c.temNome = false;
    c.nome = Valor();
    novasMaquinas(TipoJson::ausente);
    indiceProduto_ = 0;
  }
  void novasMaquinas(TipoJson forma) {
    ClienteAcesso& c = cliente();
    c.maquinasForma = forma;
    std::vector<MaquinaAcesso>().swap(c.maquinas);
  }
  void novoPrimeiroProduto(TipoJson forma) {
    ClienteAcesso& c = cliente();
    c.primeiroProduto = forma;
    c.temNome = false;
    c.nome = Valor();
    novasMaquinas(TipoJson::ausente);
  }

  template <class Criar>
  bool escalar(TipoJson tipo, Criar&& criar) {
    const Contexto c = contexto();
    if (c == Contexto::capturar) {
      escritor_.escalar(tipo == TipoJson::texto ? textoJson(criar()) : criar());
      return true;
    }
    if (c == Contexto::ignorar || c == Contexto::clienteIgnorado) return true;
    switch (const Destino d = destinoDoValor()) {
      case Destino::documento:
        saida_.documento(tipo);
        break;
      case Destino::cliente:
        novoCliente(tipo);
        entregarCliente();
        break;
      case Destino::produto:
        novoProduto(tipo);
        break;
      case Destino::produto0:
        novoPrimeiroProduto(tipo);
        break;
      case Destino::maquinas:
        novasMaquinas(tipo);
        break;
      case Destino::maquina:
        cliente().maquinas.emplace_back().forma = tipo;
        break;
      case Destino::numero:
      case Destino::nome:
      case Destino::campo:
        *alvo(d) = Valor::deJson(tipo, criar());
        break;
      case Destino::ignorar:
        break;
    }
    return true;
  }

  bool abrir(json::value_t t) {
    const Contexto c = contexto();
    if (c == Contexto::capturar) {
      escritor_.abrir(t == json::value_t::array);
      return true;
    }
    if (c == Contexto::ignorar || c == Contexto::clienteIgnorado) {
      contextos_.push_back(Contexto::ignorar);
      return true;
    }
    const TipoJson forma = formaDe(t);
    const bool ehArray = t == json::value_t::array;
    Contexto proximo = Contexto::ignorar;
    switch (const Destino d = destinoDoValor()) {
      case Destino::documento:
        saida_.documento(forma);
        if (ehArray) proximo = Contexto::lista;
        break;
      case Destino::cliente:
        novoCliente(forma);
        // An entry that is not an object is handed on when it closes.
        proximo = ehArray ? Contexto::clienteIgnorado : Contexto::cliente;
        break;
      case Destino::produto:
        novoProduto(forma);
        if (ehArray) proximo = Contexto::produtos;
        break;
      case Destino::produto0:
        novoPrimeiroProduto(forma);
        if (!ehArray) proximo = Contexto::produto0;
        break;
      case Destino::maquinas:
        novasMaquinas(forma);
        if (ehArray) proximo = Contexto::maquinas;
        break;
      case Destino::maquina:
        cliente().maquinas.emplace_back().forma = forma;
        if (!ehArray) {
          proximo = Contexto::maquina;
          chavesUsadas_ = 0;
        }
        break;
      case Destino::numero:
      case Destino::nome:
      case Destino::campo:
        escritor_.iniciar(alvo(d), ehArray);
        proximo = Contexto::capturar;
        break;
      case Destino::ignorar:
        break;
    }
    contextos_.push_back(proximo);
    return true;
  }

  bool fechar() {
    const Contexto c = contexto();
    if (c == Contexto::capturar) {
      if (escritor_.fechar()) contextos_.pop_back();
      return true;
    }
    if (c == Contexto::maquina) maquina().chaves = contarChavesDistintas();
    if (c == Contexto::cliente || c == Contexto::clienteIgnorado) entregarCliente();
    contextos_.pop_back();
    return true;
  }

  std::uint32_t contarChavesDistintas() {
    auto inicio = chavesMaquina_.begin();
    auto fim = inicio + static_cast<std::ptrdiff_t>(chavesUsadas_);
    std::sort(inicio, fim);
    return static_cast<std::uint32_t>(std::unique(inicio, fim) - inicio);
  }

  DestinoAcessos& saida_;
  ClienteAcesso cliente_;  // the entry being read
  std::vector<Contexto> contextos_{Contexto::raiz};
  EscritorJson escritor_;
  Destino destino_ = Destino::ignorar;
  std::uint8_t campo_ = 0;
  std::size_t indiceProduto_ = 0;
  // Member names of the machine entry being read; the slots are reused from
  // entry to entry so that their buffers are allocated once.
  std::vector<std::string> chavesMaquina_;
  std::size_t chavesUsadas_ = 0;
};

bool LeitorLista::key(std::string& k) {
  switch (contexto()) {
    case Contexto::capturar:
      escritor_.chave(k);
      break;
    case Contexto::cliente:
      destino_ = k == "numero"    ? Destino::numero
                 : k == "produto" ? Destino::produto
                                  : Destino::ignorar;
      break;
    case Contexto::produto0:
      destino_ = k == "nome"       ? Destino::nome
                 : k == "maquinas" ? Destino::maquinas
                                   : Destino::ignorar;
      break;
    case Contexto::maquina: {
      if (chavesUsadas_ == chavesMaquina_.size()) chavesMaquina_.emplace_back();
      chavesMaquina_[chavesUsadas_++] = k;
      destino_ = Destino::ignorar;
      for (std::uint8_t i = 0; i < MaquinaAcesso::kCampos; ++i) {
        if (k == MaquinaAcesso::kNomes[i]) {
          destino_ = Destino::campo;
          campo_ = i;
          break;
        }
      }
      break;
    }
    default:
      break;
  }
  return true;
}

/// Collects every entry.
class Coletor : public DestinoAcessos {
 public:
  explicit Coletor(ListaAcessos& lista) : lista_(lista) {}
  void documento(TipoJson tipo) override { lista_.documento = tipo; }
  void cliente(ClienteAcesso&& entrada) override { lista_.clientes.push_back(std::move(entrada)); }

 private:
  ListaAcessos& lista_;
};

}  // namespace

void lerListaAcessos(std::istream& corpo, DestinoAcessos& destino) {
  LeitorLista leitor(destino);
  nlohmann::json::sax_parse(corpo, &leitor);
}

ListaAcessos lerListaAcessos(std::string_view texto) {
  ListaAcessos lista;
  Coletor coletor(lista);
  LeitorLista leitor(coletor);
  nlohmann::json::sax_parse(texto.begin(), texto.end(), &leitor);
  return lista;
}

}  // namespace api
