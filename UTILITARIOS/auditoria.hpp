#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The audit record of a run in the system log, as su and sudo keep one:
// `journalctl -t atualizacao_em_massa` on the jump host shows who changed
// which customer machine, and when. Never a secret.
namespace auditoria {

/// One record (ident "atualizacao_em_massa", facility authpriv), made
/// visible in one line (textos::visivelNumaLinha) and cut to
/// kRegistroMaximo bytes. Without a syslog socket it is lost silently and
/// the run goes on.
void registrar(std::string_view texto);

/// A field of a record from outside the tool (a label, an address), made
/// visible in one line and cut to kCampoMaximo bytes with a mark, so that no
/// record passes the system log's datagram limit and loses the others.
std::string campo(std::string_view texto);

inline constexpr std::size_t kCampoMaximo = 512;
inline constexpr std::size_t kRegistroMaximo = 4096;

}  // namespace auditoria
