#pragma once

#include <cstddef>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "UTILITARIOS/ssh/sessao_remota.hpp"

// Connect-ahead: while one machine is being updated, the sessions of the
// next ones are opened on worker threads, so that their handshake and the
// 1 s wait for the shell's banner overlap the current machine's commands.
// Nothing is typed on a prepared session: the loop takes it at the
// machine's own turn and goes on exactly as with a session opened then.
namespace workflow {

/// Where one machine's session goes.
struct Destino {
  std::string host;
  int port = 0;
  std::string user;
  std::string pwd;
};

/// Creates the session of one machine; nothing is sent before connect().
/// Called from worker threads, so it must not touch shared state.
using FabricaSessao = std::function<std::unique_ptr<ssh::SessaoRemota>(
    const std::string& host, int port, const std::string& user, const std::string& pwd)>;

/// Owns the sessions being prepared for the machines of one run. Used by the
/// machine loop's thread only; the workers only create and connect.
class ConexoesAntecipadas {
 public:
  /// `destinos[n]` is machine n's target when it may be connected ahead (a
  /// public address and a port in range), absent otherwise. At most
  /// `profundidade` machines after the current one are prepared; 0 opens
  /// every session at its machine's turn, in strict sequence.
  ConexoesAntecipadas(std::vector<std::optional<Destino>> destinos, FabricaSessao fabrica,
                      std::size_t profundidade);
  /// Waits for the connects still in flight (each bounded by the session's
  /// time-out) and closes every prepared session that was not taken, with
  /// nothing typed on it.
  ~ConexoesAntecipadas();
  ConexoesAntecipadas(const ConexoesAntecipadas&) = delete;
  ConexoesAntecipadas& operator=(const ConexoesAntecipadas&) = delete;

  /// Machine n's connected session, for machines taken in increasing order.
  /// First starts preparing the machines after n, up to the depth; then
  /// returns n's prepared session, or creates and connects one for
  /// `destino` now. Throws whatever creating or connecting threw.
  std::unique_ptr<ssh::SessaoRemota> sessao(std::size_t n, const Destino& destino);

 private:
  std::vector<std::optional<Destino>> destinos_;
  FabricaSessao fabrica_;
  std::size_t profundidade_;
  std::size_t proxima_ = 0;  // first machine not yet considered for preparing
  std::map<std::size_t, std::future<std::unique_ptr<ssh::SessaoRemota>>> preparadas_;
};

}  // namespace workflow
