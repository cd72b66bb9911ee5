#include "UTILITARIOS/api/diagnostico.hpp"

#include <cctype>

#include "UTILITARIOS/textos.hpp"

namespace api {
namespace {

// Bytes of a body's start looked at to tell JSON from something else.
constexpr std::size_t kInicioMostrado = 60;
// Letters of a body's leading word that a diagnostic may quote.
constexpr std::size_t kPalavraMostrada = 16;

bool pareceJson(std::string_view corpo) {
  for (char c : corpo) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
    // A UTF-8 byte order mark is skipped by the parser as well.
    if (static_cast<unsigned char>(c) == 0xEF || static_cast<unsigned char>(c) == 0xBB ||
        static_cast<unsigned char>(c) == 0xBF)
      continue;
    return std::string_view("{[\"-0123456789tfn").find(c) != std::string_view::npos;
  }
  return true;  // only blanks: nothing safe to show
}

// A secret this short is masked only as a whole word: inside a longer word
// it could be anything.
constexpr std::size_t kSegredoCurto = 8;

bool deLetra(char c) {
  const auto b = static_cast<unsigned char>(c);
  return std::isalnum(b) != 0 || b == '_' || b >= 0x80;
}

// What the parser found, in the operator's language, from its error id.
std::string achado(int id, std::size_t byte, std::size_t tamanho) {
  if (id == 406) return "um número que não cabe num double";
  std::string texto;
  if (id == 101 && byte > tamanho) {
    texto = "o corpo termina no meio do documento (unexpected end of input)";
  } else if (id == 101) {
    texto = "erro de sintaxe";
  } else {
    texto = "erro " + std::to_string(id) + " do leitor de JSON";
  }
  return texto + ", byte " + std::to_string(byte);
}

}  // namespace

std::string mascarar(std::string texto, const std::vector<std::string>& segredos) {
  for (const std::string& segredo : segredos) {
    const bool curto = segredo.size() < kSegredoCurto;
    for (std::size_t pos = texto.find(segredo); !segredo.empty() && pos != std::string::npos;
         pos = texto.find(segredo, pos)) {
      const std::size_t fim = pos + segredo.size();
      if (curto &&
          ((pos > 0 && deLetra(texto[pos - 1])) || (fim < texto.size() && deLetra(texto[fim])))) {
        ++pos;
        continue;
      }
      texto.replace(pos, segredo.size(), "***");
      pos += 3;
    }
  }
  return texto;
}

std::string trechoSeguro(std::string_view corpo, const std::vector<std::string>& segredos) {
  if (pareceJson(corpo.substr(0, kInicioMostrado))) return "";
  // Any value of a CSV, a form or a plain text could be a password: only a
  // leading word of letters is quoted, enough to tell "<!DOCTYPE html",
  // "<?xml" or a CSV's "ip" header, and nothing after the first other byte.
  const auto letras = [&](std::size_t i) {
    const std::size_t inicio = i;
    while (i < corpo.size() && i - inicio < kPalavraMostrada &&
           std::isalpha(static_cast<unsigned char>(corpo[i])) != 0 &&
           static_cast<unsigned char>(corpo[i]) < 0x80)
      ++i;
    return i;
  };
  const std::size_t marcacao = corpo.starts_with("<!") || corpo.starts_with("<?") ? 2
                               : corpo.starts_with("<")                           ? 1
                                                                                  : 0;
  std::size_t fim = letras(marcacao);
  if (fim == marcacao) return "";
  // Markup names its kind in a second word ("<!DOCTYPE html").
  if (marcacao > 0 && fim < corpo.size() && corpo[fim] == ' ' && letras(fim + 1) > fim + 1)
    fim = letras(fim + 1);
  std::string trecho = mascarar(std::string(corpo.substr(0, fim)), segredos);
  // The cut may leave the start of a secret at the end.
  for (const std::string& segredo : segredos) {
    for (std::size_t n = segredo.size() - 1; n >= 3 && n < segredo.size(); --n) {
      if (!trecho.ends_with(std::string_view(segredo).substr(0, n))) continue;
      const std::size_t pos = trecho.size() - n;
      if (segredo.size() < kSegredoCurto && pos > 0 && deLetra(trecho[pos - 1])) continue;
      trecho.replace(pos, n, "***");
      break;
    }
  }
  return "começa com \"" + trecho + (fim < corpo.size() ? "\"..." : "\"");
}

std::string descrever(const Pedido& pedido, const Resposta& resposta) {
  std::string texto =
      resposta.status.empty() ? "sem linha de status" : mascarar(resposta.status, pedido.segredos);
  if (!resposta.tipoConteudo.empty())
    texto += ", " + textos::visivelNumaLinha(mascarar(resposta.tipoConteudo, pedido.segredos));
  if (resposta.tamanho == 0) return texto + ", corpo vazio";
  texto += ", " + std::to_string(resposta.tamanho) + " bytes";
  if (resposta.interrompida) texto += " lidos até a primeira falha";
  const std::string trecho = trechoSeguro(resposta.inicio, pedido.segredos);
  return trecho.empty() ? texto : texto + ", " + trecho;
}

RespostaInvalida naoEhJson(const Pedido& pedido, const Resposta& resposta, int id,
                           std::size_t byte) {
  return RespostaInvalida("a resposta a " + pedido.nome + " não é JSON (" +
                          achado(id, byte, resposta.tamanho) + "): " + descrever(pedido, resposta));
}

}  // namespace api
