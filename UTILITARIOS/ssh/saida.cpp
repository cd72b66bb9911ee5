#include "UTILITARIOS/ssh/saida.hpp"

#include <algorithm>
#include <utility>

#include "UTILITARIOS/textos.hpp"

namespace ssh::saida {
namespace {

// su's password prompt, in Portuguese and, where a machine lacks the
// Portuguese messages, in English.
constexpr std::string_view kPrompts[] = {"Senha", "Password"};

bool temPrompt(std::string_view linha) {
  for (std::string_view p : kPrompts)
    if (linha.find(p) != std::string_view::npos) return true;
  return false;
}

std::string semPrompts(std::string_view linha) {
  std::string sem(linha);
  for (std::string_view p : kPrompts) sem = textos::removerTodas(sem, p);
  return sem;
}

// What textos::sequenciaUtf8 answers besides a length.
enum : int { kInvalida = 0, kIncompleta = -1 };

const unsigned char* bytes(std::string_view s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

// Decodes `entrada` into `saida`; returns how many bytes at the end form an
// unfinished sequence.
std::size_t decodificarEm(std::string_view entrada, std::string& saida) {
  const unsigned char* p = bytes(entrada);
  const std::size_t n = entrada.size();
  std::size_t i = 0;
  while (i < n) {
    std::size_t ascii = i;
    while (ascii < n && p[ascii] < 0x80) ++ascii;
    saida.append(entrada.data() + i, ascii - i);
    i = ascii;
    if (i == n) break;
    const int t = textos::sequenciaUtf8(p + i, n - i);
    if (t == kIncompleta) return n - i;
    if (t == kInvalida) {
      ++i;  // continuation bytes after it are dropped one by one as well
    } else {
      saida.append(entrada.data() + i, static_cast<std::size_t>(t));
      i += static_cast<std::size_t>(t);
    }
  }
  return 0;
}

}  // namespace

std::string DecodificadorUtf8::decodificar(std::string_view bloco) {
  std::string saida;
  saida.reserve(bloco.size() + pendente_.size());
  std::size_t resto;
  if (pendente_.empty()) {
    resto = decodificarEm(bloco, saida);
    pendente_.assign(bloco.substr(bloco.size() - resto));
  } else {
    std::string junto = std::move(pendente_);
    junto.append(bloco);
    resto = decodificarEm(junto, saida);
    pendente_.assign(std::string_view(junto).substr(junto.size() - resto));
  }
  return saida;
}

namespace {
constexpr std::string_view kMais = "--More--";

std::string semPaginador(std::string_view texto) {
  return textos::removerTodas(textos::removerTodas(texto, kMais), ":");
}
}  // namespace

bool tratarPaginador(std::string& bloco) {
  if (bloco.find(kMais) == std::string::npos && bloco.find(':') == std::string::npos) return false;
  bloco = semPaginador(bloco);
  return true;
}

namespace {
// The cleaning, where the echoes of `ecos` (the lines typed together) are no
// output either.
std::string limpar(std::string_view recebido, std::string_view comando,
                   const std::vector<std::string_view>& ecos,
                   const std::optional<std::string>& marcador) {
  // The answer a caller looks for (su's refusal, an error, the output of a
  // command run through su) shares its line with su's "Senha" prompt.
  std::vector<std::string> linhas;
  for (std::string_view linha : dividirLinhas(recebido)) {
    if (!temPrompt(linha)) continue;
    linhas.emplace_back(textos::aparar(semPrompts(linha)));
  }
  if (!linhas.empty() && linhas.front() == comando) linhas.erase(linhas.begin());
  // The echo of the typed line is no output. It is kept when it holds a
  // prompt word (in a file name), or when it shares a line with su's prompt
  // (typed ahead while a command still ran, or after the next prompt); the
  // cleaning has then changed it as it changes any line.
  for (std::string_view digitado : ecos) {
    const std::string eco = comoALimpezaDeixa(digitado);
    if (!eco.empty())
      std::erase_if(linhas, [&](const std::string& l) { return l.find(eco) != std::string::npos; });
  }
  if (!linhas.empty() && marcador && !marcador->empty() && linhas.back().ends_with(*marcador))
    linhas.pop_back();
  std::string junto;
  for (std::size_t i = 0; i < linhas.size(); ++i) {
    if (i > 0) junto += '\n';
    junto += linhas[i];
  }
  return std::string(textos::aparar(junto));
}

constexpr std::size_t kMaiorPrompt = 8;  // "Password"
// A line feed: a carriage return alone only moves the cursor (fish puts it
// back behind its prompt with one).
constexpr char kFimDeLinha = '\n';

std::size_t primeiroPrompt(std::string_view texto, std::size_t desde) {
  std::size_t primeiro = std::string_view::npos;
  for (std::string_view p : kPrompts) primeiro = std::min(primeiro, texto.find(p, desde));
  return primeiro;
}

// Where a search for a word of `tamanho` bytes goes on after an empty one:
// a word that straddles the end starts at most tamanho - 1 bytes back.
std::size_t recuo(std::size_t fim, std::size_t tamanho) {
  return fim >= tamanho ? fim - tamanho + 1 : 0;
}
}  // namespace

Coletor::Coletor(std::optional<std::string> marcador, std::size_t comandos)
    : marcador_(std::move(marcador)), comandos_(std::max<std::size_t>(comandos, 1)) {}

void Coletor::acrescentar(std::string_view bloco) {
  texto_.append(bloco);
  if (!marcador_ || marcador_->empty()) return;
  if (visto_) {
    if (bloco.find(kFimDeLinha) == std::string_view::npos) return;
    visto_ = false;  // that marker was output: the search goes on from it
  }
  const std::string& marcador = *marcador_;
  // Each command's su prompt comes before its output, and the shell's
  // prompt after it; a marker inside an output is followed by more output
  // of the same command, not by the next su prompt.
  for (;;) {
    if (!procuraPrompt_) {
      const std::size_t p = texto_.find(marcador, desde_);
      if (p == std::string::npos) {
        desde_ = std::max(desde_, recuo(texto_.size(), marcador.size()));
        return;
      }
      if (fronteiras_.size() + 1 == comandos_) {
        // The shell's prompt is the last thing it prints before it reads
        // again. A marker with a line feed after it was output (a "$" in a
        // file name, in the echo): ending there would leave the rest of the
        // output, and the prompt, to be taken for the next command's.
        const std::size_t fim = texto_.find(kFimDeLinha, p + marcador.size());
        if (fim == std::string::npos) {
          visto_ = true;
          desde_ = p;
          return;
        }
        desde_ = std::max(p + 1, recuo(fim, marcador.size()));
        continue;
      }
      desde_ = p + marcador.size();
      procuraPrompt_ = true;
    }
    const std::size_t su = primeiroPrompt(texto_, desde_);
    if (su == std::string::npos) {
      desde_ = std::max(desde_, recuo(texto_.size(), kMaiorPrompt));
      return;
    }
    fronteiras_.push_back(texto_.rfind(marcador, su - marcador.size()) + marcador.size());
    desde_ = su;
    procuraPrompt_ = false;
  }
}

std::vector<std::string> Coletor::saidas(const std::vector<std::string>& comandos) const {
  const std::vector<std::string_view> ecos(comandos.begin(), comandos.end());
  std::vector<std::string> saidas;
  std::size_t inicio = 0;
  for (std::size_t i = 0; i < comandos.size(); ++i) {
    const std::size_t fim = i < fronteiras_.size() ? fronteiras_[i] : texto_.size();
    saidas.push_back(limpar(std::string_view(texto_).substr(inicio, fim - inicio), comandos[i],
                            ecos, marcador_));
    inicio = fim;
  }
  return saidas;
}

std::vector<std::string_view> dividirLinhas(std::string_view texto) {
  std::vector<std::string_view> linhas;
  const unsigned char* p = bytes(texto);
  const std::size_t n = texto.size();
  std::size_t inicio = 0, i = 0;
  while (i < n) {
    std::size_t quebra = 0;
    switch (p[i]) {
      case '\r':
        quebra = (i + 1 < n && p[i + 1] == '\n') ? 2 : 1;
        break;
      case '\n':
      case '\v':
      case '\f':
      case 0x1C:
      case 0x1D:
      case 0x1E:
        quebra = 1;
        break;
      case 0xC2:  // U+0085
        if (i + 1 < n && p[i + 1] == 0x85) quebra = 2;
        break;
      case 0xE2:  // U+2028, U+2029
        if (i + 2 < n && p[i + 1] == 0x80 && (p[i + 2] == 0xA8 || p[i + 2] == 0xA9)) quebra = 3;
        break;
      default:
        break;
    }
    if (quebra == 0) {
      ++i;
      continue;
    }
    linhas.push_back(texto.substr(inicio, i - inicio));
    i += quebra;
    inicio = i;
  }
  if (inicio < n) linhas.push_back(texto.substr(inicio));
  return linhas;
}

std::string comoALimpezaDeixa(std::string_view texto) {
  const std::string limpo = semPaginador(DecodificadorUtf8().decodificar(texto));
  return std::string(textos::aparar(semPrompts(limpo)));
}

std::string limparSaida(std::string_view recebido, std::string_view comando,
                        const std::optional<std::string>& marcador) {
  return limpar(recebido, comando, {comando}, marcador);
}

}  // namespace ssh::saida
