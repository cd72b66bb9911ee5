// What the shell prints, from received blocks to the cleaned result, against
// a code-point reference.
//
// Input layout, so that seeds can be written by hand:
//   byte 0   end marker: 0 absent, 1 empty, 2 "$", 3 a text given below
//            (only the low two bits count)
//   byte 1   how the output is cut into received blocks (0: one block)
//   then     the command line, up to a line feed
//   then     with marker kind 3, the marker, up to a line feed
//   rest     the bytes the shell sends
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "UTILITARIOS/ssh/saida.hpp"
#include "UTILITARIOS/textos.hpp"
#include "tests/apoio/texto_referencia.hpp"
#include "tests/fuzz/verificar.hpp"

namespace {

namespace saida = ssh::saida;
namespace ref = referencia;

struct Caso {
  std::optional<std::string> marcador;
  std::string comando;
  std::vector<std::string_view> blocos;
  std::string_view recebido;
};

std::string_view ateQuebra(std::string_view& resto) {
  const std::size_t fim = resto.find('\n');
  const std::string_view parte = resto.substr(0, fim);
  resto.remove_prefix(fim == std::string_view::npos ? resto.size() : fim + 1);
  return parte;
}

Caso lerCaso(std::string_view dados) {
  Caso caso;
  if (dados.size() < 2) return caso;
  const unsigned modo = static_cast<unsigned char>(dados[0]) & 3U;
  const unsigned corte = static_cast<unsigned char>(dados[1]);
  dados.remove_prefix(2);
  caso.comando = std::string(ateQuebra(dados));
  if (modo == 1) caso.marcador = "";
  if (modo == 2) caso.marcador = "$";
  if (modo == 3) caso.marcador = std::string(ateQuebra(dados));
  caso.recebido = dados;
  // Small blocks (up to 8 bytes) cut characters everywhere; larger ones
  // look like real receives. Empty blocks are allowed.
  const std::size_t maior = corte == 0    ? dados.size()
                            : corte < 128 ? corte % 8 + 1
                                          : (corte - 127) * 4;
  std::uint32_t estado = corte * 2654435761U + 1;
  while (!dados.empty()) {
    estado = estado * 1103515245U + 12345U;
    std::size_t n = corte == 0 ? dados.size() : (estado >> 8) % (maior + 1);
    if (n > dados.size()) n = dados.size();
    caso.blocos.push_back(dados.substr(0, n));
    dados.remove_prefix(n);
  }
  return caso;
}

// The pager rule over code points: replace "--More--" in one pass, then
// every colon.
bool paginadorReferencia(std::u32string& bloco) {
  if (bloco.find(U"--More--") == std::u32string::npos && bloco.find(U':') == std::u32string::npos)
    return false;
  bloco = ref::semOcorrencias(ref::semOcorrencias(bloco, U"--More--"), U":");
  return true;
}

// su's prompt word, Portuguese or English.
bool temPrompt(const std::u32string& linha) {
  return linha.find(U"Senha") != std::u32string::npos ||
         linha.find(U"Password") != std::u32string::npos;
}

std::u32string semPrompts(const std::u32string& linha) {
  return ref::semOcorrencias(ref::semOcorrencias(linha, U"Senha"), U"Password");
}

std::string limparReferencia(std::string_view recebido, std::string_view comando,
                             const std::optional<std::string>& marcador) {
  std::vector<std::string> mantidas;
  for (const std::u32string& linha : ref::linhas(ref::decodificarTudo(recebido))) {
    if (!temPrompt(linha)) continue;
    mantidas.push_back(ref::codificar(ref::aparar(semPrompts(linha))));
  }
  if (!mantidas.empty() && mantidas.front() == comando) mantidas.erase(mantidas.begin());
  const std::u32string semPaginador =
      ref::semOcorrencias(ref::semOcorrencias(ref::decodificarTudo(comando), U"--More--"), U":");
  const std::string eco = ref::codificar(ref::aparar(semPrompts(semPaginador)));
  if (!eco.empty())
    std::erase_if(mantidas, [&](const std::string& l) { return l.find(eco) != std::string::npos; });
  if (!mantidas.empty() && marcador && !marcador->empty() &&
      std::string_view(mantidas.back()).ends_with(*marcador))
    mantidas.pop_back();
  std::u32string junto;
  for (std::size_t i = 0; i < mantidas.size(); ++i) {
    if (i > 0) junto += U'\n';
    junto += ref::decodificarTudo(mantidas[i]);
  }
  return ref::codificar(ref::aparar(junto));
}

std::size_t linhasComSenha(std::string_view texto) {
  std::size_t n = 0;
  for (const std::u32string& linha : ref::linhas(ref::decodificarTudo(texto)))
    n += temPrompt(linha);
  return n;
}

bool espacoAscii(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b < 0x80 && ref::espaco(b);
}

// Rules that hold for any bytes, then, for UTF-8 input (all the tool ever
// cleans), the exact reference.
void verificarLimpeza(std::string_view recebido, const std::string& comando,
                      const std::optional<std::string>& marcador, const std::string& resultado) {
  const std::u32string pontos = ref::decodificarTudo(resultado);
  if (!resultado.empty()) {
    // A byte that is not valid UTF-8 counts as text, so only an ASCII blank
    // at the very end is sure to be white space.
    verificar(!espacoAscii(resultado.front()) && !espacoAscii(resultado.back()),
              "resultado com espaço ASCII numa ponta");
  }
  if (ref::utf8Valido(resultado) && !pontos.empty()) {
    verificar(!ref::espaco(pontos.front()) && !ref::espaco(pontos.back()),
              "resultado com espaço numa ponta");
  }
  if (recebido.find("Senha") == std::string_view::npos &&
      recebido.find("Password") == std::string_view::npos)
    verificar(resultado.empty(), "resultado sem nenhuma linha com Senha ou Password");
  if (ref::utf8Valido(recebido)) {
    // Only the joins of kept lines are line feeds, and the kept lines held
    // no line breaks of their own. (In bytes that are not UTF-8, removing
    // "Senha" may join the pieces of a separator.)
    std::size_t quebras = 0;
    for (char32_t c : pontos) {
      verificar(c == U'\n' || !ref::quebra(c), "quebra de linha que não é uma junção");
      quebras += c == U'\n';
    }
    const std::size_t mantidas = linhasComSenha(recebido);
    verificar(mantidas == 0 ? resultado.empty() : quebras + 1 <= mantidas,
              "mais linhas no resultado do que linhas com Senha");
    verificar(ref::utf8Valido(resultado), "resultado não é UTF-8");
    verificar(resultado == limparReferencia(recebido, comando, marcador),
              "limparSaida difere da referência");
  }
}

// Some occurrence of the marker has no line end after it.
bool marcadorNoFim(const std::string& texto, const std::optional<std::string>& m) {
  std::size_t p = m && !m->empty() ? texto.rfind(*m) : std::string::npos;
  return p != std::string::npos && texto.find('\n', p + m->size()) == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
  const Caso caso = lerCaso({reinterpret_cast<const char*>(dados), tamanho});

  // Block by block, as received, against the reference with its own carry:
  // a byte kept back wrongly, or dropped, changes a later block.
  saida::DecodificadorUtf8 decodificador;
  saida::Coletor coletor(caso.marcador);
  std::string decodificadoEmBlocos;
  std::string pendenteReferencia;
  std::string coletadoReferencia;
  for (std::string_view bruto : caso.blocos) {
    std::string bloco = decodificador.decodificar(bruto);
    const std::string junto = pendenteReferencia + std::string(bruto);
    const ref::Decodificado esperado = ref::decodificar(junto);
    pendenteReferencia = junto.substr(junto.size() - esperado.pendentes);
    verificar(bloco == ref::codificar(esperado.texto), "bloco decodificado difere da referência");
    decodificadoEmBlocos += bloco;

    std::u32string pontos = esperado.texto;
    const bool respondeu = saida::tratarPaginador(bloco);
    verificar(respondeu == paginadorReferencia(pontos), "paginador: decisão difere");
    verificar(bloco == ref::codificar(pontos), "paginador: bloco difere da referência");
    verificar(bloco.find(':') == std::string::npos, "dois-pontos após o paginador");
    if (!respondeu)
      verificar(bloco.find("--More--") == std::string::npos, "--More-- sem resposta do paginador");

    if (bloco.empty()) continue;
    coletor.acrescentar(bloco);
    coletadoReferencia += bloco;
    verificar(coletor.texto() == coletadoReferencia, "texto coletado difere");
    verificar(coletor.marcadorVisto() == marcadorNoFim(coletadoReferencia, caso.marcador),
              "marcador visto difere da busca no todo");
  }

  // The carry-over makes the cut points irrelevant.
  saida::DecodificadorUtf8 deUmaVez;
  const std::string inteiro = deUmaVez.decodificar(caso.recebido);
  verificar(decodificadoEmBlocos == inteiro, "decodificar em blocos difere de uma vez");
  verificar(inteiro == ref::codificar(ref::decodificarTudo(caso.recebido)),
            "decodificação difere de decode(errors=ignore)");
  verificar(ref::utf8Valido(inteiro), "decodificação não é UTF-8");

  const std::string limpo = saida::limparSaida(coletor.texto(), caso.comando, caso.marcador);
  verificarLimpeza(coletor.texto(), caso.comando, caso.marcador, limpo);

  // The cleaning straight over the raw bytes: invalid UTF-8 must not hurt.
  const std::string cru = saida::limparSaida(caso.recebido, caso.comando, caso.marcador);
  verificarLimpeza(caso.recebido, caso.comando, caso.marcador, cru);

  // Helpers on their own, over the raw bytes.
  const std::string_view aparado = textos::aparar(caso.recebido);
  verificar(aparado.data() >= caso.recebido.data() &&
                aparado.data() + aparado.size() <= caso.recebido.data() + caso.recebido.size(),
            "aparar saiu do texto");
  std::size_t emLinhas = 0;
  for (std::string_view linha : saida::dividirLinhas(caso.recebido)) {
    verificar(linha.data() >= caso.recebido.data() &&
                  linha.data() + linha.size() <= caso.recebido.data() + caso.recebido.size(),
              "dividirLinhas saiu do texto");
    emLinhas += linha.size();
  }
  verificar(emLinhas <= caso.recebido.size(), "linhas maiores que o texto");
  if (ref::utf8Valido(caso.recebido)) {
    const std::u32string pontos = ref::decodificarTudo(caso.recebido);
    verificar(aparado == ref::codificar(ref::aparar(pontos)), "aparar difere de strip()");
    const auto linhas = saida::dividirLinhas(caso.recebido);
    const auto esperadas = ref::linhas(pontos);
    verificar(linhas.size() == esperadas.size(), "dividirLinhas: contagem difere de splitlines()");
    for (std::size_t i = 0; i < linhas.size(); ++i)
      verificar(linhas[i] == ref::codificar(esperadas[i]), "dividirLinhas difere de splitlines()");
  }
  return 0;
}
