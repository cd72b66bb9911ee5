#pragma once

#include <string>

namespace ssh {

/// What the per-machine procedure needs of a remote shell session. The real
/// one is conexaoSSH; the procedure's decision table is also exercised
/// through scripted sessions in the unit tests.
class SessaoRemota {
 public:
  virtual ~SessaoRemota() = default;
  /// Opens the connection and the shell; throws on any failure.
  virtual void connect() = 0;
  /// Types one command line and returns its cleaned output.
  virtual std::string execute_command(const std::string& command) = 0;
  /// Closes the shell and the connection; harmless when repeated.
  virtual void close() = 0;
};

}  // namespace ssh
