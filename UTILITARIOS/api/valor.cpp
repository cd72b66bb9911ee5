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

std::string_view nomeDoTipo(const ordered_json& valor) {
  switch (valor.type()) {
    case ordered_json::value_t::null:
      return "null";
    case ordered_json::value_t::boolean:
      return "um booleano";
    case ordered_json::value_t::string:
      return "um texto";
    case ordered_json::value_t::array:
      return "um array";
    case ordered_json::value_t::object:
      return "um objeto";
    default:
      return "um número";
  }
}

Valor::Valor(const ordered_json& valor)
    : dados_(valor.is_string() ? valor.get_ref<const std::string&>() : textoJson(valor)),
      ehTexto_(valor.is_string()) {}

Valor Valor::deTexto(std::string texto) {
  Valor v;
  v.dados_ = std::move(texto);
  v.ehTexto_ = true;
  return v;
}

nlohmann::json Valor::json() const {
  if (ehTexto()) return nlohmann::json(dados_);
  return nlohmann::json::parse(dados_);
}

}  // namespace api
