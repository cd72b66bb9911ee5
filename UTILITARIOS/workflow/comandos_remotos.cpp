#include "UTILITARIOS/workflow/comandos_remotos.hpp"

#include <algorithm>
#include <cstdint>
#include <string>

#include "UTILITARIOS/ssh/conexao_ssh.hpp"
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

// A word for the remote sh: single-quoted, each ' as '\''.
std::string citado(std::string_view valor) {
  return "'" + texto::substituirTodas(valor, "'", "'\\''") + "'";
}

std::string base64(std::string_view bytes) {
  static constexpr char kAlfabeto[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string saida;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t resto = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t bloco = 0;
    for (std::size_t j = 0; j < 3; ++j)
      bloco = bloco << 8 | (j < resto ? static_cast<unsigned char>(bytes[i + j]) : 0u);
    for (std::size_t j = 0; j < 4; ++j)
      saida += j <= resto ? kAlfabeto[(bloco >> (18 - 6 * j)) & 63] : '=';
  }
  return saida;
}

std::string arquivo(std::string_view nomeCodigo) {
  return std::string(kDiretorio) + std::string(nomeCodigo);
}

}  // namespace

std::string comoRoot(std::string_view interno) {
  return std::string(ssh::kEntregaDaSenhaRoot) + " su -c \"" + std::string(interno) + "\"";
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

std::string download(std::string_view url) {
  // Replaced as configuration-management tools do: the new copy is fetched
  // into a temporary file of this run's own (a short name, whatever the
  // script's length) beside the real one (through a
  // symlink, beside its target), takes the old file's owner, group and mode
  // (ACLs included; a new script, the mode wget would have created it
  // with) and the executable bits the later chmod +x gives, and is
  // renamed over it, which is atomic. Wherever a run is cut, and however
  // many runs overlap on one machine, the script is whole, the old one or a
  // new one, with its mode. Temporary files of cut runs go once they are
  // older than any live run can be; a wget-log of older versions goes too.
  // The whole download has one deadline under the session's idle time-out,
  // so its outcome is read here and nothing typed later lands while it
  // still runs; a hang-up meanwhile does not stop it (wget inherits the
  // ignored SIGHUP and writes no wget-log). Only the final printf reaches
  // the terminal: its first line shares su's prompt, the one line the
  // output cleaning keeps, so nothing the shell says may come before it.
  // clang-format off
  const std::string script =
      "exec 2>/dev/null\n"
      "trap '' HUP\n"
      "u=" + citado(url) + "\n"
      "f=" + std::string(kDiretorio) + "${u##*/}\n"
      "a=$(readlink -f -- \"$f\")||a=$f\n"
      "d=${a%/*} n=${a##*/}\n"
      "rm -f -- \"${f%/*}/.${f##*/}.download\" \"$d/.$n.download\"\n"
      "find \"$d\" -maxdepth 1 -name '.atualizacao-??????.download' -mmin +2 -exec rm -f -- {} +\n"
      "for l in wget-log wget-log.*; do grep -qsF -- \".${f##*/}.download\" \"$l\"&&rm -f -- \"$l\"; done\n"
      "if t=$(mktemp \"$d/.atualizacao-XXXXXX.download\")&&s=$(timeout -k 1 " + std::to_string(kPrazoDownload) +
      " wget -t 1 -T " + std::to_string(kPrazoDownload) + " -O \"$t\" \"$u\" 2>&1)&&\n"
      "if [ -e \"$a\" ];then cp --attributes-only --preserve=mode,ownership -- \"$a\" \"$t\"\n"
      "else chmod =rw -- \"$t\";fi&&\n"
      "chmod +x -- \"$t\"&&mv -fT -- \"$t\" \"$a\"; then\n"
      "printf '" + std::string(kDownloadConcluido) + " %s\\n' \"$s\"\n"
      "else\n"
      "rm -f -- \"$t\"\n"
      "printf '%s\\n' \"$s\"\n"
      "fi\n";
  // clang-format on
  // The typed line carries no "$" (the end marker), no name and no marker:
  // base64 keeps it under the terminal's 4095-byte line for any path.
  return "echo " + base64(script) + "|base64 -d|sh";
}

std::string permissao(std::string_view nomeCodigo) {
  return "chmod +x " + valorLiteral(arquivo(nomeCodigo));
}

std::string enderecoDownload(std::string_view base, std::string_view versao,
                             std::string_view pastaCodigo) {
  return std::string(base) + "/python" + std::string(versao) + "/" + std::string(pastaCodigo);
}

}  // namespace workflow::comandos
