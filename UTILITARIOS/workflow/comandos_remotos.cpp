#include "UTILITARIOS/workflow/comandos_remotos.hpp"

#include <string>

namespace workflow::comandos {
namespace {

bool seguro(unsigned char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return std::string_view("._-/@+=,:").find(static_cast<char>(c)) != std::string_view::npos;
}

bool todoSeguro(std::string_view valor) {
  for (unsigned char c : valor)
    if (!seguro(c)) return false;
  return true;
}

// "\ooo" for every byte: printf turns it back into the byte.
std::string octal(std::string_view valor) {
  std::string saida;
  saida.reserve(valor.size() * 4);
  for (unsigned char c : valor) {
    saida += '\\';
    saida += static_cast<char>('0' + (c >> 6));
    saida += static_cast<char>('0' + ((c >> 3) & 7));
    saida += static_cast<char>('0' + (c & 7));
  }
  return saida;
}

// Safe bytes stay readable in the typed line; the others become escapes.
std::string formatoPrintf(std::string_view valor) {
  std::string saida;
  for (char c : valor) saida += seguro(static_cast<unsigned char>(c)) ? std::string(1, c) : octal({&c, 1});
  return saida;
}

std::string arquivo(std::string_view nomeCodigo) {
  return std::string(kDiretorio) + std::string(nomeCodigo);
}

}  // namespace

std::string comoRoot(std::string_view pwdRoot, std::string_view interno) {
  return "printf \"" + formatoPrintf(pwdRoot) + "\\n\" | su -c \"" + std::string(interno) + "\"";
}

std::string valorLiteral(std::string_view valor) {
  if (todoSeguro(valor)) return std::string(valor);
  // Inside the outer double quotes \" and \` reach su as " and `; root's
  // shell then runs printf on a format made only of octal escapes.
  return "\\\"\\`printf '" + octal(valor) + "'\\`\\\"";
}

std::string listagem(std::string_view nomeCodigo) {
  return "ls -lah " + std::string(kDiretorio) + " | grep " + valorLiteral(nomeCodigo);
}

std::string versaoPython() { return "python3 --version"; }

std::string download(std::string_view nomeCodigo, std::string_view url) {
  const std::string destino = valorLiteral(arquivo(nomeCodigo));
  const std::string temporario = valorLiteral(std::string(kDiretorio) + "." +
                                              std::string(nomeCodigo) + ".download");
  return "wget -O " + temporario + " " + valorLiteral(url) + " && mv -f " + temporario + " " +
         destino + " || rm -f " + temporario;
}

std::string permissao(std::string_view nomeCodigo) {
  return "chmod +x " + valorLiteral(arquivo(nomeCodigo));
}

std::string enderecoDownload(std::string_view base, std::string_view versao,
                             std::string_view pastaCodigo) {
  return std::string(base) + "/python" + std::string(versao) + "/" + std::string(pastaCodigo);
}

}  // namespace workflow::comandos
