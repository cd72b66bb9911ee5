#include "UTILITARIOS/api/leitura_seletiva.hpp"

#include <istream>
#include <nlohmann/json.hpp>
#include <streambuf>
#include <string>
#include <type_traits>

namespace api {
namespace {

using nlohmann::ordered_json;

bool inteiro(const Molde* molde) {
  return molde == nullptr || molde->forma == Molde::Forma::inteiro;
}

// The bytes of `texto`, as a stream buffer.
class Memoria : public std::streambuf {
 public:
  explicit Memoria(std::string_view texto) {
    char* inicio = const_cast<char*>(texto.data());  // only read
    setg(inicio, inicio, inicio + texto.size());
  }
};

// Hands the parser its input and, inside containers whose content is
// skipped, puts an element 0 before a container that opens or after one that
// closes. nlohmann's lexer keeps every byte read since the last number or
// text for its error messages, so a run of brackets would otherwise cost its
// length in memory; the added elements are grammatical exactly where the
// brackets are (never next to a digit), and the parser's positions are mapped
// back. A bracket is handed on alone, once the parser has taken everything
// before it, so that whether its container is skipped is known; other bytes
// go in runs.
class Intercalado : public std::streambuf {
 public:
  Intercalado(std::streambuf& fonte, std::function<bool()> descartando)
      : fonte_(fonte), descartando_(std::move(descartando)) {}

  /// The position in the original input of the parser's position
  /// `posicao` (1-based, as parse_error::byte).
  std::size_t original(std::size_t posicao) const {
    const auto lidos = entregues_ + static_cast<std::size_t>(gptr() - eback());
    if (posicao > lidos) return originais_ + 1;  // the end of the input
    if (posicao > entregues_) return origem(posicao - 1 - entregues_);
    if (posicao == entregues_) return origemAnterior_;
    return posicao;
  }

 protected:
  int_type underflow() override {
    if (const auto n = static_cast<std::size_t>(egptr() - eback()); n > 0) {
      origemAnterior_ = origem(n - 1);
      entregues_ += n;
      originais_ += acrescentado_ ? 1 : n;
    }
    area_.clear();
    acrescentado_ = false;
    for (int_type c; area_.size() < 4096 &&
                     !traits_type::eq_int_type(c = fonte_.sgetc(), traits_type::eof());) {
      const char byte = traits_type::to_char_type(c);
      const bool colchete = byte == '[' || byte == ']' || byte == '{' || byte == '}';
      if (colchete && !area_.empty()) break;
      fonte_.sbumpc();
      if (colchete) {
        area_.assign(acrescimo(byte));
        acrescentado_ = !area_.empty();
        area_ += byte;
        break;
      }
      acrescimo(byte);  // a text's start or end, or the last byte seen
      area_ += byte;
    }
    setg(area_.data(), area_.data(), area_.data() + area_.size());
    return area_.empty() ? traits_type::eof() : traits_type::to_int_type(area_.front());
  }

 private:
  // Original position of the byte at `i` of the area: an added byte stands
  // where the bracket after it is.
  std::size_t origem(std::size_t i) const { return originais_ + (acrescentado_ ? 1 : i + 1); }

  // What goes before the original byte `c`.
  std::string_view acrescimo(char c) {
    if (emTexto_) {
      if (escape_) {
        escape_ = false;
      } else if (c == '\\') {
        escape_ = true;
      } else if (c == '"') {
        emTexto_ = false;
        anterior_ = c;
      }
      return "";
    }
    std::string_view antes;
    const bool emArray = !arrays_.empty() && arrays_.back();
    switch (c) {
      case ' ':
      case '\t':
      case '\n':
      case '\r':
        return "";
      case '"':
        emTexto_ = true;
        break;
      case '[':
      case '{':
        if (emArray && (anterior_ == '[' || anterior_ == ',') && descartando_()) antes = "0,";
        arrays_.push_back(c == '[');
        break;
      case ']':
      case '}':
        if (!arrays_.empty() && arrays_.back() == (c == ']') &&
            (anterior_ == ']' || anterior_ == '}') && descartando_())
          antes = c == ']' ? ",0" : ",\"\":0";
        if (!arrays_.empty()) arrays_.pop_back();
        break;
      default:
        break;
    }
    anterior_ = c;
    return antes;
  }

  std::streambuf& fonte_;
  std::function<bool()> descartando_;
  std::vector<bool> arrays_;  // the open containers: true for an array
  char anterior_ = '\0';      // the last byte outside a text but blanks
  bool emTexto_ = false;
  bool escape_ = false;
  std::string area_;                // handed to the parser now
  bool acrescentado_ = false;       // area_ is added bytes and one bracket
  std::size_t entregues_ = 0;       // bytes handed before area_
  std::size_t originais_ = 0;       // of them, from the input
  std::size_t origemAnterior_ = 0;  // original position of the last of them
};

// nlohmann's SAX events turned into the parts of the document a Molde keeps.
// Skipped values cost a counter, whatever their depth.
class Seletor {
 public:
  Seletor(const Molde& molde, const PorElemento& porElemento)
      : moldeRaiz_(&molde), porElemento_(porElemento) {}

  void usar(const Intercalado& entrada) { entrada_ = &entrada; }

  /// Whether the innermost open container's content is skipped.
  bool descartando() const {
    return pulando_ > 0 || (!quadros_.empty() && quadros_.back().descartar);
  }

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
    if (pulando_ > 0) return true;
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

  // Thrown with its own type, as nlohmann's parse() throws it, at the
  // position in the original input.
  template <class Excecao>
  bool parse_error(std::size_t, const std::string&, const Excecao& erro) {
    if constexpr (std::is_same_v<Excecao, ordered_json::parse_error>)
      throw ordered_json::parse_error::create(erro.id, entrada_->original(erro.byte), erro.what(),
                                              nullptr);
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

  const Intercalado* entrada_ = nullptr;
  const Molde* moldeRaiz_;
  const PorElemento& porElemento_;
  ordered_json raiz_;
  std::vector<Quadro> quadros_;
  Destino proximo_;
  std::size_t pulando_ = 0;  // skipped containers still open
};

ordered_json ler(std::streambuf& fonte, const Molde& molde, const PorElemento& porElemento) {
  Seletor seletor(molde, porElemento);
  Intercalado intercalado(fonte, [&] { return seletor.descartando(); });
  seletor.usar(intercalado);
  std::istream entrada(&intercalado);
  ordered_json::sax_parse(entrada, &seletor);
  return seletor.resultado();
}

}  // namespace

ordered_json lerSeletivo(std::istream& entrada, const Molde& molde,
                         const PorElemento& porElemento) {
  return ler(*entrada.rdbuf(), molde, porElemento);
}

ordered_json lerSeletivo(std::string_view entrada, const Molde& molde,
                         const PorElemento& porElemento) {
  Memoria memoria(entrada);
  return ler(memoria, molde, porElemento);
}

}  // namespace api
