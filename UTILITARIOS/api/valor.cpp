#include "UTILITARIOS/api/valor.hpp"

#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

namespace api {
namespace {

using nlohmann::ordered_json;

// nlohmann's dump() recurses once per level and overflows the stack on
// values some 100,000 levels deep, which a hostile API can send: containers
// are written here level by level, scalars by the library.
std::string textoJson(const ordered_json& raiz) {
  std::string texto;
  struct Aberto {
    const ordered_json* valor;
    ordered_json::const_iterator proximo;
  };
  std::vector<Aberto> abertos;
  const auto escrever = [&](const ordered_json& v) {
    if (!v.is_structured()) {
      texto += v.dump();
      return;
    }
    texto += v.is_array() ? '[' : '{';
    abertos.push_back({&v, v.cbegin()});
  };
  escrever(raiz);
  while (!abertos.empty()) {
    Aberto& atual = abertos.back();
    if (atual.proximo == atual.valor->cend()) {
      texto += atual.valor->is_array() ? ']' : '}';
      abertos.pop_back();
      continue;
    }
    if (atual.proximo != atual.valor->cbegin()) texto += ',';
    if (atual.valor->is_object()) {
      texto += ordered_json(atual.proximo.key()).dump();
      texto += ':';
    }
    const ordered_json& filho = *atual.proximo++;
    escrever(filho);  // may grow `abertos`: `atual` is not used after this
  }
  return texto;
}

}  // namespace

TipoJson tipoDe(const ordered_json& valor) {
  switch (valor.type()) {
    case ordered_json::value_t::null:
      return TipoJson::nulo;
    case ordered_json::value_t::boolean:
      return TipoJson::booleano;
    case ordered_json::value_t::string:
      return TipoJson::texto;
    case ordered_json::value_t::array:
      return TipoJson::array;
    case ordered_json::value_t::object:
      return TipoJson::objeto;
    default:
      return TipoJson::numero;
  }
}

std::string_view nomeDoTipo(TipoJson tipo) {
  static constexpr std::string_view kNomes[] = {"null",     "um booleano", "um número",
                                                "um texto", "um array",    "um objeto"};
  return kNomes[static_cast<std::size_t>(tipo)];
}

Valor::Valor(const ordered_json& valor)
    : dados_(valor.is_string() ? valor.get_ref<const std::string&>() : textoJson(valor)),
      tipo_(tipoDe(valor)) {}

Valor Valor::deTexto(std::string texto) {
  Valor v;
  v.dados_ = std::move(texto);
  v.tipo_ = TipoJson::texto;
  return v;
}

nlohmann::json Valor::json() const {
  if (ehTexto()) return nlohmann::json(dados_);
  return nlohmann::json::parse(dados_);
}

}  // namespace api
