#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "UTILITARIOS/falhas.hpp"
#include "UTILITARIOS/ssh/saida.hpp"
#include "UTILITARIOS/ssh/sessao_remota.hpp"

// libssh's handle types, so that this header does not pull in libssh.h.
struct ssh_session_struct;
struct ssh_channel_struct;

namespace ssh {

/// The shell function that a session given a root password defines at
/// connect(): it runs the command it is given with that password and a line
/// feed on its standard input, written by a shell builtin, so that
/// `zelvo_su su -c "..."` feeds su without the password in any typed line or
/// process argument. Where it is not defined, su does not run at all.
inline constexpr std::string_view kEntregaDaSenhaRoot = "zelvo_su";

/// Frees a libssh session: says goodbye to the server, closes the socket,
/// frees it (with whatever channels it still has).
struct LiberaSessao {
  void operator()(ssh_session_struct* sessao) const noexcept;
};

/// Closes a libssh channel if it is still open, then frees it. A channel
/// must go before the session that created it.
struct LiberaCanal {
  void operator()(ssh_channel_struct* canal) const noexcept;
};

/// One SSH-2 connection with one interactive login shell on a pseudo-terminal,
/// into which command lines are typed as an operator would. Blocking, for one
/// thread at a time. Neither copyable nor movable.
///
/// Lifecycle: created (no client, no channel) -> connect() -> connected ->
/// close() -> closed (released; a command then meets the closed channel's
/// SSH error). A connect() that fails leaves the client present and the
/// channel absent. Destroying a session closes it.
class conexaoSSH : public SessaoRemota {
 public:
  static constexpr double kTimeoutPadrao = 10.0;

  /// Stores the values; no network activity, cannot fail. `timeout` (seconds)
  /// bounds connect() and is the idle time-out of execute_command().
  /// `pausaFixa` makes execute_command() read at fixed 0.2 s ticks, as the
  /// strict loop does, instead of as soon as output arrives. `senhaRoot`,
  /// when given, is handed to the shell at connect() (see there).
  conexaoSSH(std::string host, int port, std::string user, std::string password,
             std::optional<std::string> end_data = std::nullopt, double timeout = kTimeoutPadrao,
             bool pausaFixa = false, std::optional<std::string> senhaRoot = std::nullopt);
  ~conexaoSSH() override = default;  // closes the channel, then the connection
  conexaoSSH(const conexaoSSH&) = delete;
  conexaoSSH& operator=(const conexaoSSH&) = delete;

  /// Releases any previous connection, then opens a new one: TCP, handshake,
  /// password authentication (no agent, no key files, no ~/.ssh/config; when
  /// the server offers no password method but keyboard-interactive, its one
  /// round of hidden prompts is answered with the password), a shell on a
  /// pseudo-terminal of libssh's default type and size. The whole of this
  /// fails with ErroSSH after at most `timeout` seconds. Unknown host keys
  /// are accepted and no known-hosts file is written; a key that differs
  /// from the one recorded for host and port in ~/.ssh/known_hosts or
  /// /etc/ssh/ssh_known_hosts fails with ChaveDoServidorDiferente before any
  /// password is sent. Then turns the shell's history off (no typed line
  /// reaches a history file) and sets the Portuguese locale, and waits (with
  /// `pausaFixa`, at least 1 second) until the shell has answered that line,
  /// discarding the banner and everything else before. With a root
  /// password, a POSIX shell is then asked to read one line with the
  /// terminal raw and silent; the password is sent only once the shell has
  /// confirmed that read, and kEntregaDaSenhaRoot writes it from then on. A
  /// shell that does not confirm (fish, tcsh) never receives it. The shell
  /// then tries su once: when it is refused, the password is forgotten and
  /// kEntregaDaSenhaRoot only repeats su's answer, so that a wrong password
  /// costs the machine one failed su, however many lines follow. Prints
  /// nothing.
  void connect() override;

  /// Thread-safe: makes a connect() in progress on another thread fail at
  /// once (its socket shut down, its wait cut short).
  void interromper() noexcept override;

  /// Whether the shell is still open: takes in what the server sent meanwhile
  /// (an EOF, a close, a disconnect) without consuming the shell's output.
  bool is_alive() noexcept override;

  /// Types `command` and "\n" into the shell, collects the output until it
  /// has been idle for more than `timeout` seconds or the end marker has been
  /// seen with no line feed after it (the shell's prompt; a "$" inside the
  /// echo or the output does not end the call, whose rest would otherwise
  /// be taken for the next command's), and returns the cleaned text (see
  /// ssh::saida::limparSaida). Output
  /// is read as soon as it arrives (at the latest every 0.2 s), and the
  /// marker ends the call once the channel has then stayed quiet for a short
  /// settle time, or one 0.2 s tick after it was seen; so a call may return
  /// well under 0.2 s. The pager's blank goes once the output has then
  /// paused for that settle time. With `pausaFixa`, each read follows a
  /// fixed 0.2 s pause, the blank goes at the read, and the marker ends the
  /// call at once.
  /// Without a channel: throws falhas::Falha "Erro. Execute "connect()"
  /// primeiro." before any network activity. On an SSH or socket failure:
  /// closes the session and throws the ErroSSH; prints nothing. The call
  /// has no bound on its total duration: a
  /// remote that keeps printing without the marker keeps it running.
  std::string execute_command(const std::string& command) override;

  /// Types all the lines in one write, collects until the last has ended
  /// (see saida::Coletor) and returns each one's cleaned output, as
  /// execute_command() returns it. One line at a time with `pausaFixa`, or
  /// unless connect() saw su accept the root password: every line's su then
  /// prompts, which is where their outputs are split.
  std::vector<std::string> execute_commands(const std::vector<std::string>& commands) override;

  /// Closes the channel, then the connection. Safe in every state and when
  /// repeated; never throws.
  void close() noexcept;

 private:
  /// Turns the new shell's history off and hands it the root password (see
  /// connect()), waiting for its answers until `limite` at most.
  void prepararShell(std::chrono::steady_clock::time_point limite);
  /// Types `linhas` and collects what the shell prints until `coletor` has
  /// seen the end or the output has been idle for the time-out.
  void coletar(std::string_view linhas, saida::Coletor& coletor);
  /// Takes in what has arrived: decoded, pager answered (or owed, in
  /// `responder`), appended to `coletor`. True when any text came.
  bool lerOQueChegou(saida::DecodificadorUtf8& utf8, std::vector<char>& recebido,
                     saida::Coletor& coletor, bool& responder);
  /// Discards the shell's output until `marca` (with `comPrompt`, and the
  /// end marker after it) has arrived and `minimo` has passed: true; or
  /// until `limite` or the shell's end: false. `depois`, when given, gets
  /// what arrived after the mark. Throws ErroSSH on a broken channel.
  bool clear_buffer(std::string_view marca, bool comPrompt,
                    std::chrono::steady_clock::time_point minimo,
                    std::chrono::steady_clock::time_point limite, std::string* depois = nullptr);
  // The connect's one deadline, and what the audit record says of a host
  // that let it pass.
  struct Prazo {
    std::chrono::steady_clock::time_point limite;
    const char* semResposta;
  };
  /// Gives libssh's next blocking step the rest of the deadline; throws
  /// once it has passed.
  void restante(const Prazo& prazo, const char* operacao);
  ErroSSH daBiblioteca(const Prazo& prazo, const char* operacao) const;
  void configurarSessao();
  void autenticar(const Prazo& prazo);
  void abrirShell(const Prazo& prazo);
  int autenticarInterativo();
  // `semResposta`: the audit cause of a connect that timed out.
  int abrirSoquete(std::chrono::steady_clock::time_point limite, const char* semResposta);
  ssh_channel_struct* canalUtilizavel(const char* operacao) const;
  bool haDados(const char* operacao);
  bool esperarDados(std::chrono::milliseconds espera, const char* operacao);
  void enviar(std::string_view texto, const char* operacao);
  void definirTimeout(double segundos);
  ErroSSH erro(const char* operacao, std::string detalhe) const;
  ErroSSH erroDaBiblioteca(const char* operacao) const;
  ErroSSH shellTerminou() const;
  std::string destino() const;

  std::string host_;
  int port_;
  std::string user_;
  std::string password_;
  std::optional<std::string> end_data_;
  double timeout_;
  bool pausaFixa_;
  std::optional<std::string> senhaRoot_;
  // Declared before the channel, so that the channel is released first.
  std::unique_ptr<ssh_session_struct, LiberaSessao> client_;
  std::unique_ptr<ssh_channel_struct, LiberaCanal> channel_;
  bool shellAberto_ = false;  // connect() opened a shell; close() keeps this
  bool suAceito_ = false;     // the shell's su accepted the root password
  // What interromper() reaches from another thread.
  std::mutex mutex_;
  std::condition_variable acordar_;
  bool interrompido_ = false;
  int soquete_ = -1;  // the connect's own socket, while connect() runs
};

}  // namespace ssh
