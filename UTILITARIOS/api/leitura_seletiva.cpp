#include "UTILITARIOS/api/leitura_seletiva.hpp"

#include <istream>
#include <nlohmann/json.hpp>
#include <string>

namespace api {
namespace {

using nlohmann::ordered_json;

bool inteiro(const Molde* molde) { return molde == nullptr || molde->forma == Molde::Forma::inteiro; }

// nlohmann's SAX events turned into the parts of the document a Molde keeps.
// Skipped values cost a counter, whatever their depth.
class Seletor {
 public:
  Seletor(const Molde& molde, const PorElemento& porElemento)
      : moldeRaiz_(&molde), porElemento_(porElemento) {}

  ordered_json resultado() { return std::move(raiz_); }

  bool null() { return escalar(nullptr); }
  bool boolean(bool v) { return escalar(v); }
  bool number_integer(ordered_json::number_integer_t v) { return escalar(v); }
  bool number_unsigned(ordered_json::number_unsigned_t v) { return escalar(v); }
  bool number_float(ordered_json::number_float_t v, const std::string&) { return escalar(v); }
  bool string(std::string& v) { return escalar(std::move(v)); }
  bool binary(ordered_json::binary_t&) { return true; }  // JSON text has none
  bool start_object(std::size_t) { return abrir(ordered_json::value_t::object); }
  bool start_array(std::size_t) { return abrir(ordered_json::value_t::array); }
  bool end_object() { return fechar(); }
  bool end_array() { return fechar(); }

  bool key(std::string& nome) {
    proximo_ = {};
    Quadro& q = quadros_.back();
    if (q.descartar) return true;
    ordered_json& objeto = *q.valor;
    if (inteiro(q.molde)) {
      proximo_ = {&objeto[nome], nullptr};
      return true;
    }
    for (const auto& [membro, molde] : q.molde->membros) {
      if (membro == nome) {
        proximo_ = {&objeto[nome], molde};
        return true;
      }
    }
    if (objeto.size() < q.molde->membrosContados) objeto[nome] = nullptr;
    return true;
  }

  // Thrown with its own type, as nlohmann's parse() throws it.
  template <class Excecao>
  bool parse_error(std::size_t, const std::string&, const Excecao& erro) {
    throw erro;
  }

 private:
  struct Quadro {
    ordered_json* valor;
    const Molde* molde;
    bool descartar;  // a container of another kind than expected: its content is skipped
    std::size_t elementos = 0;
  };
  struct Destino {
    ordered_json* lugar = nullptr;  // null: the value is skipped
    const Molde* molde = nullptr;
  };

  // Where the value that starts now goes, and what is kept of it.
  Destino destino() {
    if (quadros_.empty()) return {&raiz_, moldeRaiz_};
    Quadro& q = quadros_.back();
    if (q.valor->is_object()) return std::exchange(proximo_, Destino{});
    const std::size_t indice = q.elementos++;
    if (q.descartar || (!inteiro(q.molde) && indice >= q.molde->elementosMantidos)) return {};
    q.valor->push_back(nullptr);
    return {&q.valor->back(), inteiro(q.molde) ? nullptr : q.molde->elemento};
  }

  bool escalar(ordered_json valor) {
    if (pulando_ > 0) return true;
    const Destino d = destino();
    if (d.lugar == nullptr) return true;
    *d.lugar = std::move(valor);
    completo();
    return true;
  }

  bool abrir(ordered_json::value_t tipo) {
    if (pulando_ > 0) {
      ++pulando_;
      return true;
    }
    const Destino d = destino();
    if (d.lugar == nullptr) {
      pulando_ = 1;
      return true;
    }
    *d.lugar = ordered_json(tipo);
    const bool esperado = inteiro(d.molde) || (d.molde->forma == Molde::Forma::objeto) ==
                                                  (tipo == ordered_json::value_t::object);
    quadros_.push_back({d.lugar, d.molde, !esperado});
    return true;
  }

  bool fechar() {
    if (pulando_ > 0) {
      --pulando_;
      return true;
    }
    quadros_.pop_back();
    completo();
    return true;
  }

  // A value has just been completed inside the innermost open container.
  void completo() {
    if (quadros_.size() != 1 || !porElemento_) return;
    const Quadro& raiz = quadros_.front();
    if (!raiz.valor->is_array() || raiz.descartar) return;
    porElemento_(raiz.valor->back());
    raiz.valor->get_ref<ordered_json::array_t&>().pop_back();
  }

  const Molde* moldeRaiz_;
  const PorElemento& porElemento_;
  ordered_json raiz_;
  std::vector<Quadro> quadros_;
  Destino proximo_;
  std::size_t pulando_ = 0;  // skipped containers still open
};

template <class Entrada>
ordered_json ler(Entrada& entrada, const Molde& molde, const PorElemento& porElemento) {
  Seletor seletor(molde, porElemento);
  ordered_json::sax_parse(entrada, &seletor);
  return seletor.resultado();
}

}  // namespace

ordered_json lerSeletivo(std::istream& entrada, const Molde& molde, const PorElemento& porElemento) {
  return ler(entrada, molde, porElemento);
}

ordered_json lerSeletivo(std::string_view entrada, const Molde& molde,
                         const PorElemento& porElemento) {
  return ler(entrada, molde, porElemento);
}

}  // namespace api
