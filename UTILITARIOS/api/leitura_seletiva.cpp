#include "UTILITARIOS/api/leitura_seletiva.hpp"

#include <cstdint>
#include <istream>
#include <nlohmann/json.hpp>
#include <optional>
#include <streambuf>
#include <string>
#include <type_traits>

namespace api {
namespace {

using nlohmann::ordered_json;

bool inteiro(const Molde* molde) {
  return molde == nullptr || molde->forma == Molde::Forma::inteiro;
}

// Checks the characters of a JSON text as nlohmann's lexer does, one byte at
// a time, so that a text nobody reads can be dropped unstored and a text
// too long to keep can be cut, and still be refused exactly when the parser
// would refuse it.
class ValidadorTexto {
 public:
  enum class Passo { continua, fim, erro };

  void reiniciar() { *this = {}; }
  /// Between two characters: no escape, UTF-8 sequence or surrogate pair open.
  bool emRepouso() const { return escape_ == 0 && utf8_ == 0 && !alto_; }

  Passo passo(unsigned char b) {
    if (utf8_ > 0) {
      if (b < menor_ || b > maior_) return Passo::erro;
      menor_ = 0x80;
      maior_ = 0xBF;
      --utf8_;
      return Passo::continua;
    }
    if (escape_ == 1) {
      if (b == 'u') {
        escape_ = 2;
        hex_ = 0;
        return Passo::continua;
      }
      if (alto_ ||
          std::string_view("\"\\/bfnrt").find(static_cast<char>(b)) == std::string_view::npos)
        return Passo::erro;
      escape_ = 0;
      return Passo::continua;
    }
    if (escape_ >= 2) return hexadecimal(b);
    if (alto_) {
      // A high surrogate must be followed by "\u" and a low one.
      if (b != '\\') return Passo::erro;
      escape_ = 1;
      return Passo::continua;
    }
    if (b == '"') return Passo::fim;
    if (b == '\\') {
      escape_ = 1;
      return Passo::continua;
    }
    if (b < 0x20) return Passo::erro;
    if (b < 0x80) return Passo::continua;
    return inicioUtf8(b);
  }

 private:
  Passo hexadecimal(unsigned char b) {
    int digito = -1;
    if (b >= '0' && b <= '9') digito = b - '0';
    if (b >= 'a' && b <= 'f') digito = b - 'a' + 10;
    if (b >= 'A' && b <= 'F') digito = b - 'A' + 10;
    if (digito < 0) return Passo::erro;
    hex_ = hex_ * 16 + static_cast<unsigned>(digito);
    if (++escape_ < 6) return Passo::continua;
    escape_ = 0;
    const bool baixo = hex_ >= 0xDC00 && hex_ <= 0xDFFF;
    if (alto_) {
      alto_ = false;
      return baixo ? Passo::continua : Passo::erro;
    }
    if (baixo) return Passo::erro;
    alto_ = hex_ >= 0xD800 && hex_ <= 0xDBFF;
    return Passo::continua;
  }

  Passo inicioUtf8(unsigned char b) {
    if (b >= 0xC2 && b <= 0xDF) {
      utf8_ = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
      utf8_ = 2;
      if (b == 0xE0) menor_ = 0xA0;
      if (b == 0xED) maior_ = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      utf8_ = 3;
      if (b == 0xF0) menor_ = 0x90;
      if (b == 0xF4) maior_ = 0x8F;
    } else {
      return Passo::erro;
    }
    return Passo::continua;
  }

  int escape_ = 0;  // 1: after "\"; 2 to 5: reading the hex digits of "\u"
  unsigned hex_ = 0;
  bool alto_ = false;  // a high surrogate was read
  int utf8_ = 0;       // continuation bytes still expected
  unsigned char menor_ = 0x80, maior_ = 0xBF;
};

// Hands the parser its input, so that what is skipped costs nothing:
// nlohmann's lexer keeps every byte read since the last number or text for
// its error messages, and each text whole. So
// - inside containers whose content is skipped, an element 0 goes before a
//   container or literal that opens and after a container that closes (the
//   added elements are grammatical exactly there);
// - a text nobody reads reaches the parser empty, once its characters have
//   been checked; a text that is kept is cut past kCorteTexto bytes, and
//   cortado() says so;
// - of a run of blanks, only the first is handed on.
// A byte whose treatment depends on the parser's state (a bracket, a
// literal in an array, a text's opening quote) starts a batch of its own,
// once the parser has taken everything before it. The parser's positions
// are mapped back to the original input.
class Intercalado : public std::streambuf {
 public:
  /// Whether what starts now is skipped: the content of the innermost open
  /// container (false), or the value that the parser reads next (true).
  using Descartado = std::function<bool(bool valor)>;

  Intercalado(std::streambuf& fonte, Descartado descartado)
      : fonte_(fonte), descartado_(std::move(descartado)) {}

  /// Whether the last text handed on was cut.
  bool cortado() const { return cortado_; }

  /// The position in the original input of the parser's position
  /// `posicao` (1-based, as parse_error::byte).
  std::size_t original(std::size_t posicao) const {
    const auto lidos = entregues_ + static_cast<std::size_t>(gptr() - eback());
    if (posicao > lidos) return consumidos_ + 1;  // the end of the input
    if (posicao > entregues_) return origem(posicao - 1 - entregues_);
    if (posicao == entregues_) return origemAnterior_;
    return posicao;
  }

 protected:
  int_type underflow() override {
    if (!area_.empty()) {
      origemAnterior_ = origem(area_.size() - 1);
      entregues_ += area_.size();
    }
    area_.clear();
    acrescimo_ = 0;
    base_ = consumidos_;
    while (area_.size() < 4096) {
      const int_type c = fonte_.sgetc();
      if (traits_type::eq_int_type(c, traits_type::eof())) break;
      if (!(emTexto_ ? texto(static_cast<unsigned char>(c)) : fora(traits_type::to_char_type(c))))
        break;
    }
    setg(area_.data(), area_.data(), area_.data() + area_.size());
    return area_.empty() ? traits_type::eof() : traits_type::to_int_type(area_.front());
  }

 private:
  // Past this many bytes a kept text is cut: an escape of 6 bytes stands
  // for one byte at least, so a cut text is always longer than kCustoMaximo.
  static constexpr std::size_t kCorteTexto = 6 * kCustoMaximo;

  enum class Modo { manter, descartar, repassar };

  // Original position (1-based) of the byte at `i` of the batch: added bytes
  // stand where the byte after them is.
  std::size_t origem(std::size_t i) const {
    return base_ + (i < acrescimo_ ? 0 : i - acrescimo_) + 1;
  }

  char consumir() {
    ++consumidos_;
    return traits_type::to_char_type(fonte_.sbumpc());
  }

  // Drops the next byte: only at a batch's start, which then begins later.
  void pular() {
    consumir();
    base_ = consumidos_;
  }

  // One byte outside texts, taken or left; false ends the batch.
  bool fora(char c) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      if (!branco_) {
        branco_ = true;
        area_ += consumir();
      } else if (!area_.empty()) {
        return false;
      } else {
        pular();
      }
      return true;
    }
    branco_ = false;
    const bool emArray = !arrays_.empty() && arrays_.back();
    const bool abre = c == '[' || c == '{';
    const bool fecha = c == ']' || c == '}';
    const bool elemento = emArray && (anterior_ == '[' || anterior_ == ',');
    const bool literal = (c == 't' || c == 'f' || c == 'n') && elemento;
    if (!abre && !fecha && !literal && c != '"') {
      anterior_ = c;
      area_ += consumir();
      return true;
    }
    if (!area_.empty()) return false;
    if ((abre || literal) && elemento && descartado_(false)) area_ = "0,";
    if (fecha && !arrays_.empty() && arrays_.back() == (c == ']') &&
        (anterior_ == ']' || anterior_ == '}') && descartado_(false))
      area_ = c == ']' ? ",0" : ",\"\":0";
    acrescimo_ = area_.size();
    if (abre) arrays_.push_back(c == '[');
    if (fecha && !arrays_.empty()) arrays_.pop_back();
    const bool chave =
        !arrays_.empty() && !arrays_.back() && (anterior_ == '{' || anterior_ == ',');
    anterior_ = c;
    area_ += consumir();
    if (c != '"') return true;
    abrirTexto(chave);
    // A dropped text's characters are taken without being handed on.
    return modo_ != Modo::descartar;
  }

  void abrirTexto(bool chave) {
    emTexto_ = true;
    cortado_ = false;
    escapeRepassado_ = false;
    guardados_.clear();
    validador_.reiniciar();
    tamanho_ = 0;
    modo_ = descartado_(!chave) ? Modo::descartar : Modo::manter;
  }

  // One byte inside a text, taken or left; false ends the batch.
  bool texto(unsigned char b) {
    if (modo_ == Modo::repassar) {
      const bool fim = b == '"' && !escapeRepassado_;
      escapeRepassado_ = !escapeRepassado_ && b == '\\';
      if (fim) fecharTexto();
      area_ += consumir();
      return true;
    }
    if (validador_.emRepouso()) guardados_.clear();
    const auto passo = validador_.passo(b);
    if (passo == ValidadorTexto::Passo::fim) {
      if (modo_ == Modo::descartar && !area_.empty()) return false;
      fecharTexto();
      area_ += consumir();
      return true;
    }
    if (passo == ValidadorTexto::Passo::erro) {
      // Handed on from the start of the bad character, so that the parser
      // refuses it where a full parse would.
      modo_ = Modo::repassar;
      if (guardados_.empty()) return texto(b);
      if (!area_.empty()) return false;
      area_ = guardados_;
      base_ = consumidos_ - guardados_.size();
      return texto(b);
    }
    if (modo_ == Modo::descartar) {
      guardados_ += static_cast<char>(b);
      pular();
      return true;
    }
    area_ += consumir();
    if (++tamanho_ >= kCorteTexto && validador_.emRepouso()) {
      modo_ = Modo::descartar;
      cortado_ = true;
      return false;
    }
    return true;
  }

  void fecharTexto() {
    emTexto_ = false;
    anterior_ = '"';
  }

  std::streambuf& fonte_;
  Descartado descartado_;
  std::vector<bool> arrays_;  // the open containers: true for an array
  char anterior_ = '\0';      // the last byte outside a text but blanks
  bool branco_ = false;       // the last byte outside a text was a blank
  bool emTexto_ = false;
  Modo modo_ = Modo::manter;
  ValidadorTexto validador_;
  std::string guardados_;  // a dropped text's bytes since the last whole character
  bool escapeRepassado_ = false;
  std::size_t tamanho_ = 0;  // bytes of a kept text handed on
  bool cortado_ = false;
  std::string area_;                // handed to the parser now
  std::size_t acrescimo_ = 0;       // added bytes at the start of area_
  std::size_t base_ = 0;            // original bytes before the rest of area_
  std::size_t consumidos_ = 0;      // original bytes taken from fonte_
  std::size_t entregues_ = 0;       // bytes handed before area_
  std::size_t origemAnterior_ = 0;  // original position of the last of them
};

// The mark left in place of a value kept whole that passed a limit: JSON
// text has no binary values, so it cannot be confused with one received.
ordered_json marca(Excesso excesso) {
  return ordered_json::binary({}, static_cast<std::uint8_t>(excesso));
}

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

  /// Whether the value that starts now is skipped.
  bool valorDescartado() const {
    if (descartando()) return true;
    if (quadros_.empty()) return false;
    const Quadro& q = quadros_.back();
    if (q.valor->is_object()) return proximo_.lugar == nullptr;
    return !inteiro(q.molde) && q.elementos >= q.molde->elementosMantidos;
  }

  ordered_json resultado() { return std::move(raiz_); }

  bool null() { return escalar(nullptr, 0); }
  bool boolean(bool v) { return escalar(v, 0); }
  bool number_integer(ordered_json::number_integer_t v) { return escalar(v, 0); }
  bool number_unsigned(ordered_json::number_unsigned_t v) { return escalar(v, 0); }
  bool number_float(ordered_json::number_float_t v, const std::string&) { return escalar(v, 0); }
  bool string(std::string& v) {
    const std::size_t custo = entrada_->cortado() ? kCustoMaximo : v.size();
    return escalar(std::move(v), custo);
  }
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
    if (regiao_ && !gastar(entrada_->cortado() ? kCustoMaximo : nome.size())) return true;
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
  // Each value kept whole costs this much besides its texts.
  static constexpr std::size_t kCustoValor = 16;

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
  // A container kept whole, being read.
  struct Regiao {
    ordered_json* raiz;
    std::size_t quadro;  // index of its frame in quadros_
    std::size_t custo;
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

  // Counts `texto` more bytes and a value against the open region; false
  // when it passes the limit, which then ends the region.
  bool gastar(std::size_t texto) {
    regiao_->custo += kCustoValor + texto;
    if (regiao_->custo <= kCustoMaximo) return true;
    exceder(Excesso::tamanho, 0);
    return false;
  }

  // The open region is replaced by its mark, and the rest of it, with
  // `abrindo` containers opening now, is skipped.
  void exceder(Excesso excesso, std::size_t abrindo) {
    *regiao_->raiz = marca(excesso);
    pulando_ = quadros_.size() - regiao_->quadro + abrindo;
    quadros_.resize(regiao_->quadro);
    regiao_.reset();
    marcado_ = true;
  }

  bool escalar(ordered_json valor, std::size_t texto) {
    if (pulando_ > 0) return true;
    const Destino d = destino();
    if (d.lugar == nullptr) return true;
    if (regiao_ && !gastar(texto)) return true;
    if (kCustoValor + texto <= kCustoMaximo)
      *d.lugar = std::move(valor);
    else if (inteiro(d.molde))
      *d.lugar = marca(Excesso::tamanho);
    else
      *d.lugar = ordered_json(valor.type());  // only its kind is told
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
    if (regiao_) {
      if (quadros_.size() - regiao_->quadro + 1 > kProfundidadeMaxima) {
        exceder(Excesso::profundidade, 1);
        return true;
      }
      if (!gastar(0)) {
        ++pulando_;
        return true;
      }
    } else if (d.molde != nullptr && d.molde->forma == Molde::Forma::inteiro) {
      regiao_ = Regiao{d.lugar, quadros_.size(), kCustoValor};
    }
    *d.lugar = ordered_json(tipo);
    const bool esperado = inteiro(d.molde) || (d.molde->forma == Molde::Forma::objeto) ==
                                                  (tipo == ordered_json::value_t::object);
    quadros_.push_back({d.lugar, d.molde, !esperado});
    return true;
  }

  bool fechar() {
    if (pulando_ > 0) {
      // The end of a region replaced by its mark completes that value.
      if (--pulando_ == 0 && std::exchange(marcado_, false)) completo();
      return true;
    }
    if (regiao_ && regiao_->quadro == quadros_.size() - 1) regiao_.reset();
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
  std::optional<Regiao> regiao_;
  bool marcado_ = false;     // the containers being skipped are a marked region's
  std::size_t pulando_ = 0;  // skipped containers still open
};

ordered_json ler(std::streambuf& fonte, const Molde& molde, const PorElemento& porElemento) {
  Seletor seletor(molde, porElemento);
  Intercalado intercalado(
      fonte, [&](bool valor) { return valor ? seletor.valorDescartado() : seletor.descartando(); });
  seletor.usar(intercalado);
  std::istream entrada(&intercalado);
  ordered_json::sax_parse(entrada, &seletor);
  return seletor.resultado();
}

}  // namespace

Excesso excesso(const ordered_json& valor) {
  return valor.is_binary() ? static_cast<Excesso>(valor.get_binary().subtype()) : Excesso::nenhum;
}

std::string textoDoExcesso(Excesso excesso) {
  switch (excesso) {
    case Excesso::tamanho:
      return "passa de " + std::to_string(kCustoMaximo >> 10) + " KB";
    case Excesso::profundidade:
      return "tem mais de " + std::to_string(kProfundidadeMaxima) + " níveis de aninhamento";
    case Excesso::nenhum:
      break;
  }
  return "";
}

ordered_json lerSeletivo(std::istream& entrada, const Molde& molde,
                         const PorElemento& porElemento) {
  return ler(*entrada.rdbuf(), molde, porElemento);
}

}  // namespace api
