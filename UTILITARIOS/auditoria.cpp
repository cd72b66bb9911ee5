#include "UTILITARIOS/auditoria.hpp"

#include <syslog.h>

#include <string>

#include "UTILITARIOS/console.hpp"

namespace auditoria {

void registrar(std::string_view texto) {
  static const bool aberto = [] {
    openlog("atualizacao_em_massa", LOG_PID, LOG_AUTHPRIV);
    return true;
  }();
  (void)aberto;
  // A line break would split one record into two in a log viewer.
  std::string linha = console::visivel(texto);
  for (char& c : linha)
    if (c == '\n' || c == '\t') c = ' ';
  syslog(LOG_NOTICE, "%s", linha.c_str());
}

}  // namespace auditoria
