#include "UTILITARIOS/workflow/comandos_remotos.hpp"

#include <algorithm>
#include <cstdint>
#include <string>

#include "UTILITARIOS/ssh/conexao_ssh.hpp"
#include "UTILITARIOS/textos.hpp"

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
  // Appended in place: the -O3 build warns (-Wrestrict) on "'" + temporary.
  std::string palavra = "'";
  palavra += textos::substituirTodas(valor, "'", "'\\''");
  palavra += '\'';
  return palavra;
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

namespace {

// The download, run by root's sh. Only its last printf reaches the
// terminal: its first line shares su's prompt, the one line the output
// cleaning keeps, so nothing the shell says may come before it. The script
// is replaced as configuration-management tools do: fetched into a
// temporary file of this run's own beside it (beside its target, through a
// symlink), given its owner, group and mode and the bits chmod +x gives, and
// renamed over it, which is atomic: wherever a run is cut, and however many
// runs overlap, the script is whole, old or new, with its mode.
constexpr std::string_view kProgramaDownload = R"sh(exec 2>/dev/null
# wget inherits the ignored SIGHUP: a session that hangs up meanwhile does
# not stop it halfway, and no wget-log is written.
trap '' HUP
url=@URL@
script=@DIR@${url##*/}
prazo=@PRAZO@
falhar() { printf '%s\n' "$1"; exit 0; }

for comando in mktemp timeout wget stat chmod chown mv; do
  command -v "$comando" >/dev/null || falhar "falta o comando $comando"
done
alvo=$script
if [ -L "$script" ]; then
  # A link stays a link: its target is replaced, or nothing is.
  command -v readlink >/dev/null || falhar "falta o comando readlink"
  alvo=$(readlink -f -- "$script") || falhar "o link $script não leva a um arquivo"
fi
[ -d "$alvo" ] && falhar "$alvo é uma pasta"
pasta=${alvo%/*}

# A cut run's temporary file (this version's name, or the last one's) goes
# once it is older than any live run can be, judged by its ctime, which no
# server sets; nothing else is touched.
find "$pasta" -maxdepth 1 \( -name '.atualizacao-download-??????' -o \
  -name '.atualizacao-??????.download' \) -cmin +2 -exec rm -f -- {} +

# busybox's mktemp wants the X's last.
temporario=$(mktemp "$pasta/.atualizacao-download-XXXXXX") ||
  falhar "não foi possível criar um arquivo em $pasta"
# One deadline for the whole download, under the session's idle time-out,
# so that its outcome is read here. busybox's wget takes no options.
case $(wget --version) in
  *GNU*) opcoes="-t 1 -T $prazo --no-use-server-timestamps" ;;
  *) opcoes= ;;
esac
if ! saida=$(timeout -k 1 "$prazo" wget $opcoes -O "$temporario" "$url" 2>&1); then
  rm -f -- "$temporario"
  falhar "$saida"
fi
# What wget wrote, to be told from anything that takes its place.
baixado=$(stat -c %i:%s -- "$temporario") || falhar "$saida"

if [ -e "$alvo" ]; then
  # The old script's owner, group and mode (ACLs too, where cp copies
  # attributes alone); neither way creates a file that went missing.
  cp --attributes-only --preserve=mode,ownership -- "$alvo" "$temporario" ||
    { chown "$(stat -c %u:%g -- "$alvo")" -- "$temporario" &&
      chmod "$(stat -c %a -- "$alvo")" -- "$temporario"; }
else
  chmod =rw -- "$temporario"
fi &&
  chmod +x -- "$temporario" &&
  [ "$(stat -c %i:%s -- "$temporario")" = "$baixado" ] &&
  mv -f -- "$temporario" "$alvo" ||
  { rm -f -- "$temporario"; falhar "$saida"; }
printf '%s %s\n' @MARCA@ "$saida"
)sh";

// The program as sent: the comments stay here, off the typed line.
std::string semComentarios(std::string_view programa) {
  std::string saida;
  while (!programa.empty()) {
    const std::size_t fim = std::min(programa.find('\n'), programa.size());
    const std::string_view linha = programa.substr(0, fim);
    if (!textos::aparar(linha).starts_with('#')) saida.append(linha).append("\n");
    programa.remove_prefix(std::min(fim + 1, programa.size()));
  }
  return saida;
}

}  // namespace

std::string download(std::string_view url) {
  std::string programa = semComentarios(kProgramaDownload);
  programa = textos::substituirTodas(programa, "@URL@", citado(url));
  programa = textos::substituirTodas(programa, "@DIR@", kDiretorio);
  programa = textos::substituirTodas(programa, "@PRAZO@", std::to_string(kPrazoDownload));
  programa = textos::substituirTodas(programa, "@MARCA@", kDownloadConcluido);
  // The typed line carries no "$" (the end marker), no name and no marker:
  // base64 keeps it under the terminal's 4095-byte line for any path.
  return "echo " + base64(programa) + "|base64 -d|sh";
}

std::string permissao(std::string_view nomeCodigo) {
  return "chmod +x " + valorLiteral(arquivo(nomeCodigo));
}

std::string enderecoDownload(std::string_view base, std::string_view versao,
                             std::string_view pastaCodigo) {
  return std::string(base) + "/python" + std::string(versao) + "/" + std::string(pastaCodigo);
}

}  // namespace workflow::comandos
