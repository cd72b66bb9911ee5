#pragma once

#include <string>
#include <vector>

#include "UTILITARIOS/falhas.hpp"

namespace ssh {

/// An SSH protocol failure, or a socket or operating-system failure met on
/// the connection (refused or timed-out TCP connection, handshake or
/// authentication failure, a send on a closed channel, a reset connection).
/// The message is libssh's own text followed by what was being done and the
/// target ("Remote channel is closed (ao enviar o comando, suporte@10.0.0.1:22)");
/// it never carries a password. `causa()` says why, in the audit record's
/// words: "senha recusada", "conexão recusada", "sem resposta em 10 s", or
/// the library's own text.
class ErroSSH : public falhas::Falha {
 public:
  ErroSSH(const std::string& operacao, const std::string& destino, const std::string& detalhe,
          std::string causa = {})
      : Falha("falha de SSH", detalhe + " (" + operacao + ", " + destino + ")"),
        causa_(causa.empty() ? detalhe : std::move(causa)) {}
  const std::string& causa() const noexcept { return causa_; }

 private:
  std::string causa_;
};

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
  /// Types one command line and returns its cleaned output. Throws ErroSSH,
  /// the session then closed, when the connection fails.
  virtual std::string execute_command(const std::string& command) = 0;
  /// Runs the lines in order, as execute_command() would one by one, and
  /// returns their outputs; a session may type them all at once, as none
  /// waits for what an earlier one prints.
  virtual std::vector<std::string> execute_commands(const std::vector<std::string>& commands) {
    std::vector<std::string> saidas;
    for (const std::string& command : commands) saidas.push_back(execute_command(command));
    return saidas;
  }
  /// Whether the shell opened by connect() is still there to type into
  /// (an idle limit or the server may have ended it). Never throws.
  virtual bool is_alive() noexcept { return true; }
  /// From another thread, while connect() runs: makes it fail at once
  /// instead of waiting out its time-out. Nothing once connect() returned.
  virtual void interromper() noexcept {}
};

}  // namespace ssh
