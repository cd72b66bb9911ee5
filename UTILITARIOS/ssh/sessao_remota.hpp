#pragma once

#include <string>

#include "UTILITARIOS/falhas.hpp"

namespace ssh {

/// The server presented a key other than the one recorded for it in the
/// operator's known_hosts: connect() stops before any password is sent.
class ChaveDoServidorDiferente : public falhas::Falha {
 public:
  explicit ChaveDoServidorDiferente(const std::string& mensagem)
      : Falha("chave do servidor diferente", mensagem) {}
};

/// What the per-machine procedure needs of a remote shell session. The real
/// one is conexaoSSH; the procedure's decision table is also exercised
/// through scripted sessions in the unit tests. Destroying a session closes
/// its shell and its connection.
class SessaoRemota {
 public:
  virtual ~SessaoRemota() = default;
  /// Opens the connection and the shell; throws on any failure
  /// (ChaveDoServidorDiferente when the host's recorded key differs).
  virtual void connect() = 0;
  /// Types one command line and returns its cleaned output.
  virtual std::string execute_command(const std::string& command) = 0;
  /// Whether the shell opened by connect() is still there to type into
  /// (an idle limit or the server may have ended it). Never throws.
  virtual bool is_alive() noexcept { return true; }
  /// From another thread, while connect() runs: makes it fail at once
  /// instead of waiting out its time-out. Nothing once connect() returned.
  virtual void interromper() noexcept {}
};

}  // namespace ssh
