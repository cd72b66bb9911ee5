#include "UTILITARIOS/workflow/comandos_remotos.hpp"

#include <string>

#include "UTILITARIOS/texto.hpp"

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

// A word for the remote sh: single-quoted, each ' as '\''.
std::string citado(std::string_view valor) {
  std::string saida = "'";
  for (char c : valor) saida += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return saida + "'";
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
  // Replaced as configuration-management tools do: the new copy is fetched
  // into a temporary file beside the real one (through a symlink, beside its
  // target), takes the old file's owner, group and mode (ACLs included), and
  // is renamed over it, which is atomic. Wherever a run is cut, the script
  // is whole and keeps its mode; a temporary file or a wget-log (written by
  // a wget that lost its terminal) left by a cut run goes at the next one.
  // wget gives up before the session's idle time-out, so the outcome is read
  // here and nothing typed later lands while it still runs. A session that
  // hangs up meanwhile does not stop it: the replacement ends whole or not
  // at all, and wget, which inherits the ignored SIGHUP, writes no wget-log.
  // clang-format off
  const std::string script =
      "trap '' HUP\n"
      "f=" + citado(arquivo(nomeCodigo)) + "\n"
      "a=$(readlink -f -- \"$f\") || a=$f\n"
      "t=${a%/*}/.${a##*/}.download\n"
      "rm -f -- \"${f%/*}/.${f##*/}.download\" \"$t\"\n"
      "for l in wget-log wget-log.*; do\n"
      "  grep -qsF -- \".${f##*/}.download\" \"$l\" && rm -f -- \"$l\"\n"
      "done\n"
      "e=\n"
      "if s=$(wget -t 1 -T 8 -O \"$t\" " + citado(url) + " 2>&1) && e=$({\n"
      "  if [ -e \"$a\" ]; then cp --attributes-only --preserve=mode,ownership -- \"$a\" \"$t\"\n"
      "  else chmod +x -- \"$t\"; fi && mv -f -- \"$t\" \"$a\"; } 2>&1); then\n"
      "  printf '%s\\n' \"$s\"\n"
      "else\n"
      "  rm -f -- \"$t\"\n"
      "  printf '" + std::string(kFalhaDownload) + " %s\\n%s\\n' \"$s\" \"$e\"\n"
      "fi\n";
  // clang-format on
  // Wholly escaped: the typed line carries no "$", and its echo neither the
  // marker nor a file name.
  return "printf '" + octal(script) + "' | sh";
}

std::string permissao(std::string_view nomeCodigo) {
  return "chmod +x " + valorLiteral(arquivo(nomeCodigo));
}

std::string mascararSenha(std::string texto, std::string_view pwdRoot) {
  const std::string digitada = formatoPrintf(pwdRoot);
  // The echo as the output cleaning leaves it: colons, then "Senha", removed.
  const std::string limpa = texto::removerTodas(texto::removerTodas(digitada, ":"), "Senha");
  const std::string mascara = "printf \"***\\n\"";
  for (const std::string& forma : {digitada, limpa}) {
    const std::string alvo = "printf \"" + forma + "\\n\"";
    for (auto pos = texto.find(alvo); pos != std::string::npos; pos = texto.find(alvo, pos)) {
      texto.replace(pos, alvo.size(), mascara);
      pos += mascara.size();
    }
  }
  return texto;
}

std::string enderecoDownload(std::string_view base, std::string_view versao,
                             std::string_view pastaCodigo) {
  return std::string(base) + "/python" + std::string(versao) + "/" + std::string(pastaCodigo);
}

}  // namespace workflow::comandos
