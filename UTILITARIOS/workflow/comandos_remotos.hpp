#pragma once

#include <string>
#include <string_view>

// The command lines typed into a machine's shell. Every command runs as
// root: `printf "<root password>\n" | su -c "<inner command>"`.
//
// Values are made to arrive literally. A value made only of letters, digits
// and ". _ - / @ + = , :" is written as it is; any other value is produced on
// the remote side from octal escapes, so that the typed line never carries a
// quote, "$", "`", "\", "!" or "%" of its own: the interactive shell would
// expand them, and a "$" in the echoed line would also end the collection of
// the output before the command has answered.
namespace workflow::comandos {

/// The appliance's external-scripts directory, with its trailing "/".
inline constexpr std::string_view kDiretorio = "/var/lib/docker/volumes/korvax_externalscripts/_data/";

/// `printf "<pwdRoot>\n" | su -c "<interno>"`.
std::string comoRoot(std::string_view pwdRoot, std::string_view interno);

/// A value as one word of the inner command (see above).
std::string valorLiteral(std::string_view valor);

/// `ls -lah <dir> | grep <nomeCodigo>`.
std::string listagem(std::string_view nomeCodigo);

/// `python3 --version`.
std::string versaoPython();

/// Downloads into a temporary file beside the script and moves it over the
/// script only when wget succeeds, so that a failed download (404, a wrong
/// python version) never leaves the appliance with an emptied script.
std::string download(std::string_view nomeCodigo, std::string_view url);

/// `chmod +x <dir><nomeCodigo>`.
std::string permissao(std::string_view nomeCodigo);

/// `<base>/python<versao>/<pastaCodigo>`.
std::string enderecoDownload(std::string_view base, std::string_view versao,
                             std::string_view pastaCodigo);

}  // namespace workflow::comandos
