#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The command lines typed into a machine's shell. Every command runs as
// root: `zelvo_su su -c "<inner command>"`, where the shell function
// zelvo_su (ssh::kEntregaDaSenhaRoot) feeds su the root password that the
// session handed to the shell at connect: no typed line holds it.
//
// Values are made to arrive literally. A value made only of letters, digits
// and ". _ - / @ + = , :" is written as it is; any other value is produced on
// the remote side from octal escapes, so that the typed line never carries a
// quote, "$", "`", "\", "!" or "%" of its own: the interactive shell would
// expand them, and a "$" in the echoed line would also end the collection of
// the output before the command has answered.
namespace workflow::comandos {

/// The appliance's external-scripts directory, with its trailing "/".
inline constexpr std::string_view kDiretorio =
    "/var/lib/docker/volumes/korvax_externalscripts/_data/";

/// `zelvo_su su -c "<interno>"`.
std::string comoRoot(std::string_view interno);

/// A value as one word of the inner command (see above).
std::string valorLiteral(std::string_view valor);

/// `ls -lah <dir> | grep <nomeCodigo>`.
std::string listagem(std::string_view nomeCodigo);

/// `python3 --version`.
std::string versaoPython();

/// The download line's output begins with this word when the script was
/// replaced; without it, wget failed, timed out or the disk was full, and
/// the old script is as it was.
inline constexpr std::string_view kDownloadConcluido = "ZELVO-DOWNLOAD-OK";

/// Seconds the whole download may take on the machine: under the session's
/// 10 s idle time-out, so that its outcome is read before the next line.
inline constexpr int kPrazoDownload = 7;

/// The longest a line typed into a terminal may be (its canonical-mode
/// line buffer, less the line end): dash and sh read lines that way.
inline constexpr std::size_t kLinhaMaxima = 4094;

/// Downloads `url` into a temporary file of this run's own beside the
/// script named by its last component (beside a symlink's target), gives it
/// the old file's owner, group and mode plus chmod +x's bits, and renames it
/// over the script only while it is still the file wget wrote; wget's report
/// follows kDownloadConcluido, or comes alone on failure, or names a missing
/// utility ("falta o comando readlink"). Leaves no temporary file; removes
/// only its own temporary files of dead runs, by ctime.
/// The line is `echo <base64>|base64 -d|sh`: its echo shows no name.
std::string download(std::string_view url);

/// `chmod +x <dir><nomeCodigo>`.
std::string permissao(std::string_view nomeCodigo);

/// `<base>/python<versao>/<pastaCodigo>`.
std::string enderecoDownload(std::string_view base, std::string_view versao,
                             std::string_view pastaCodigo);

}  // namespace workflow::comandos
