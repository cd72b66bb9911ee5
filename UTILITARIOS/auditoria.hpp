#pragma once

#include <string_view>

// The audit record of a run in the system log, as su and sudo keep one:
// `journalctl -t atualizacao_em_massa` on the jump host shows who changed
// which customer machine, and when. Never a secret.
namespace auditoria {

/// One record (ident "atualizacao_em_massa", facility authpriv), its
/// control characters made visible. Without a syslog socket it is lost
/// silently and the run goes on.
void registrar(std::string_view texto);

}  // namespace auditoria
