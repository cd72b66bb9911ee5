#include "UTILITARIOS/auditoria.hpp"

#include <syslog.h>

#include <string>

#include "UTILITARIOS/textos.hpp"

namespace auditoria {
namespace {

constexpr std::string_view kMarcaDeCorte = "...[cortado]";

// `texto`, visible already, cut to `maximo` bytes with the mark, never
// inside a UTF-8 character.
std::string cortado(std::string texto, std::size_t maximo) {
  if (texto.size() <= maximo) return texto;
  std::size_t fim = maximo - kMarcaDeCorte.size();
  while (fim > 0 && (static_cast<unsigned char>(texto[fim]) & 0xC0) == 0x80) --fim;
  texto.resize(fim);
  return texto += kMarcaDeCorte;
}

}  // namespace

void registrar(std::string_view texto) {
  static const bool aberto = [] {
    openlog("atualizacao_em_massa", LOG_PID, LOG_AUTHPRIV);
    return true;
  }();
  (void)aberto;
  // A line break would split one record into two in a log viewer.
  syslog(LOG_NOTICE, "%s", cortado(textos::visivelNumaLinha(texto), kRegistroMaximo).c_str());
}

std::string campo(std::string_view texto) {
  return cortado(textos::visivelNumaLinha(texto), kCampoMaximo);
}

}  // namespace auditoria
