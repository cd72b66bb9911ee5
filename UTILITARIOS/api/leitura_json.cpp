#include "UTILITARIOS/api/leitura_json.hpp"

#include <algorithm>
#include <cstdlib>
#include <istream>
#include <utility>

#include "UTILITARIOS/api/http.hpp"

namespace api {

using nlohmann::json;

std::string_view nomeDoTipo(TipoJson tipo) {
  switch (tipo) {
    case TipoJson::ausente:
      return "ausente";
    case TipoJson::nulo:
      return "null";
    case TipoJson::booleano:
      return "um booleano";
    case TipoJson::numero:
      return "um número";
    case TipoJson::texto:
      return "um texto";
    case TipoJson::array:
      return "um array";
    case TipoJson::objeto:
      return "um objeto";
  }
  return "?";
}

Valor Valor::deTexto(std::string texto) { return deJson(TipoJson::texto, std::move(texto)); }

Valor Valor::deJson(TipoJson tipo, std::string textoJson) {
  Valor v;
  v.tipo_ = tipo;
  v.dados_ = std::move(textoJson);
  return v;
}

json Valor::json() const {
  if (ehTexto()) return nlohmann::json(dados_);
  return nlohmann::json::parse(dados_);
}

bool Valor::vazio() const {
  switch (tipo_) {
    case TipoJson::ausente:
    case TipoJson::nulo:
      return true;
    case TipoJson::booleano:
      return dados_ == "false";
    case TipoJson::numero:
      return std::strtod(dados_.c_str(), nullptr) == 0.0;
    case TipoJson::texto:
      return dados_.empty();
    case TipoJson::array:
      return dados_ == "[]";
    case TipoJson::objeto:
      return dados_ == "{}";
  }
  return false;
}

std::string textoJson(const std::string& texto) {
  return nlohmann::json(texto).dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string textoJson(double numero) { return nlohmann::json(numero).dump(); }

void EscritorJson::iniciar(Valor* alvo, bool array) {
  alvo_ = alvo;
  tipo_ = array ? TipoJson::array : TipoJson::objeto;
  texto_.assign(1, array ? '[' : '{');
  abertos_.clear();
  abertos_.push_back(Aberto{array, true});
  aposChave_ = false;
  chaveRepetida_ = false;
  profundidade_ = 1;
}

void EscritorJson::separar() {
  if (aposChave_) {
    aposChave_ = false;
    return;
  }
  if (!abertos_.back().vazio) texto_ += ',';
  abertos_.back().vazio = false;
}

void EscritorJson::chave(const std::string& nome) {
  separar();
  if (!abertos_.back().chaves.insert(nome).second) chaveRepetida_ = true;
  texto_ += textoJson(nome);
  texto_ += ':';
  aposChave_ = true;
}

void EscritorJson::escalar(std::string_view valor) {
  separar();
  texto_ += valor;
}

void EscritorJson::abrir(bool array) {
  separar();
  texto_ += array ? '[' : '{';
  abertos_.push_back(Aberto{array, true});
  profundidade_ = std::max(profundidade_, abertos_.size());
}

bool EscritorJson::fechar() {
  texto_ += abertos_.back().array ? ']' : '}';
  abertos_.pop_back();
  if (!abertos_.empty()) return false;
  // A parsed document keeps the last of repeated member names, at the place
  // of the first; the value must read the same however it is looked at.
  // Writing it back recurses, so absurdly deep values keep their text.
  constexpr std::size_t kProfundidadeReescrita = 2000;
  if (chaveRepetida_ && profundidade_ <= kProfundidadeReescrita)
    texto_ = nlohmann::ordered_json::parse(texto_).dump();
  *alvo_ = Valor::deJson(tipo_, std::move(texto_));
  texto_.clear();
  return true;
}

bool LeitorSax::parse_error(std::size_t posicao, const std::string&,
                            const nlohmann::detail::exception& erro) {
  // The library's message ends with the text last read, which may be part of
  // a password: keep only its explanation.
  std::string causa = erro.what();
  const std::size_t inicio = causa.find(": ", causa.find("parse error"));
  if (inicio != std::string::npos) causa.erase(0, inicio + 2);
  const std::size_t lido = causa.find("; last read");
  if (lido != std::string::npos) causa.erase(lido);
  throw JsonInvalido(posicao, causa);
}

namespace {

/// Keeps the top-level `token` of a login response and skips the rest.
class LeitorLogin : public LeitorSax {
 public:
  explicit LeitorLogin(RespostaLogin& r) : r_(r) {}

  bool null() { return escalar(TipoJson::nulo, "null"); }
  bool boolean(bool v) { return escalar(TipoJson::booleano, v ? "true" : "false"); }
  bool number_integer(json::number_integer_t v) {
    return escalar(TipoJson::numero, std::to_string(v));
  }
  bool number_unsigned(json::number_unsigned_t v) {
    return escalar(TipoJson::numero, std::to_string(v));
  }
  bool number_float(json::number_float_t v, const std::string&) {
    return escalar(TipoJson::numero, textoJson(v));
  }
  bool string(std::string& v) {
    if (escritor_.ativo()) {
      escritor_.escalar(textoJson(v));
    } else {
      valor(TipoJson::texto, [&v] { return Valor::deTexto(v); });
    }
    return true;
  }
  bool start_object(std::size_t) { return abrir(false); }
  bool start_array(std::size_t) { return abrir(true); }
  bool end_object() { return fechar(); }
  bool end_array() { return fechar(); }
  bool key(std::string& k) {
    if (escritor_.ativo()) {
      escritor_.chave(k);
    } else if (noObjetoRaiz()) {
      proximoEhToken_ = k == "token";
    }
    return true;
  }

 private:
  bool noObjetoRaiz() const { return nivel_ == 1 && r_.documento == TipoJson::objeto; }

  bool escalar(TipoJson tipo, const std::string& texto) {
    if (escritor_.ativo()) {
      escritor_.escalar(texto);
    } else {
      valor(tipo, [&] { return Valor::deJson(tipo, texto); });
    }
    return true;
  }

  template <class Criar>
  void valor(TipoJson tipo, Criar&& criar) {
    if (nivel_ == 0) {
      r_.documento = tipo;
    } else if (noObjetoRaiz() && proximoEhToken_) {
      r_.temToken = true;
      r_.token = criar();
    }
  }

  bool abrir(bool array) {
    const TipoJson tipo = array ? TipoJson::array : TipoJson::objeto;
    if (escritor_.ativo()) {
      escritor_.abrir(array);
    } else if (nivel_ == 0) {
      r_.documento = tipo;
      ++nivel_;
    } else if (noObjetoRaiz() && proximoEhToken_) {
      r_.temToken = true;
      escritor_.iniciar(&r_.token, array);
    } else {
      ++nivel_;
    }
    return true;
  }

  bool fechar() {
    if (escritor_.ativo()) {
      escritor_.fechar();
    } else {
      --nivel_;
    }
    return true;
  }

  RespostaLogin& r_;
  EscritorJson escritor_;
  std::size_t nivel_ = 0;  // containers open outside the kept value
  bool proximoEhToken_ = false;
};

}  // namespace

RespostaLogin lerRespostaLogin(std::istream& corpo) {
  RespostaLogin resposta;
  LeitorLogin leitor(resposta);
  json::sax_parse(corpo, &leitor);
  return resposta;
}

}  // namespace api
