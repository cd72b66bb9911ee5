#pragma once

#include <chrono>
#include <cstddef>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
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
  std::string senha;
  std::string senhaRoot;  ///< handed to the shell at connect(), never typed
};

/// Creates the session of one machine; nothing is sent before connect().
using FabricaSessao = std::function<std::unique_ptr<ssh::SessaoRemota>(const Destino&)>;

/// Owns the sessions being prepared for the machines of one run. Used by the
/// machine loop's thread only; the workers only connect.
class ConexoesAntecipadas {
 public:
  /// The most sessions ever prepared at once: each is a login waiting on a
  /// customer's machine.
  static constexpr std::size_t kProfundidadeMaxima = 16;

  /// `destinos[n]` is machine n's target when it may be contacted at all (a
  /// public address and a port in range), absent otherwise. At first,
  /// `profundidade` machines after the current one are prepared; once a
  /// connect and a machine have been timed, as many as keep a connect hidden
  /// behind the machines before it (the mean connect over the mean machine,
  /// plus one, from 1 to kProfundidadeMaxima). 0 opens every session at its
  /// machine's turn, in strict sequence.
  ConexoesAntecipadas(std::vector<std::optional<Destino>> destinos, FabricaSessao fabrica,
                      std::size_t profundidade);
  /// Returns at once: connects still in flight are interrupted, and every
  /// prepared session that was not taken is closed (destroyed) with nothing
  /// typed on it.
  ~ConexoesAntecipadas();
  ConexoesAntecipadas(const ConexoesAntecipadas&) = delete;
  ConexoesAntecipadas& operator=(const ConexoesAntecipadas&) = delete;

  /// Machine n's connected session, for machines taken in increasing order.
  /// First starts preparing the machines after n, up to the depth, never
  /// one whose address and port an earlier machine still to be closed has
  /// (a machine may allow one login at a time); then returns n's prepared
  /// session if its shell is still open, or creates and connects one now.
  /// Throws whatever creating or connecting threw, and std::out_of_range for
  /// a machine that may not be contacted.
  std::unique_ptr<ssh::SessaoRemota> sessao(std::size_t n);

 private:
  using Relogio = std::chrono::steady_clock;
  struct Preparo {
    std::unique_ptr<ssh::SessaoRemota> sessao;
    std::exception_ptr falha;
    Relogio::duration duracao{};  // of a connect that succeeded
    std::thread trabalhador;      // runs sessao->connect()
  };

  bool mesmaMaquinaAntes(std::size_t k, std::size_t desde) const;
  std::size_t profundidade() const;
  std::unique_ptr<ssh::SessaoRemota> conectarAgora(const Destino& destino);

  std::vector<std::optional<Destino>> destinos_;
  FabricaSessao fabrica_;
  std::size_t profundidade_;
  std::vector<bool> iniciadas_;  // machines whose preparation has begun
  std::map<std::size_t, Preparo> preparadas_;
  // Sums and counts of the connects and of the machines' own times (from
  // the session's hand-over to the next call), for the depth.
  Relogio::duration conexoes_{}, maquinas_{};
  std::size_t conexoesMedidas_ = 0, maquinasMedidas_ = 0;
  std::optional<Relogio::time_point> entregue_;
};

}  // namespace workflow
