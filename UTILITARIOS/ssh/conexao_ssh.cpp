#include "UTILITARIOS/ssh/conexao_ssh.hpp"

#include <fcntl.h>
#include <libssh/libssh.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <utility>
#include <vector>

#include "UTILITARIOS/ssh/saida.hpp"

namespace ssh {
namespace {

using Relogio = std::chrono::steady_clock;
using Segundos = std::chrono::duration<double>;

constexpr auto kEsperaDoShell = std::chrono::seconds(1);  // the strict loop's wait for the shell
// The longest wait between two reads of a command's output.
constexpr auto kPausa = std::chrono::milliseconds(200);
// After the end marker, this long without new output ends a call
// (ATUALIZACAO_ASSENTAMENTO_MS). The rest of a burst (output after a "$" in
// a file name, the prompt after that output) was written together and
// arrives within a few milliseconds of it; each call pays this once.
constexpr auto kAssentamento = std::chrono::milliseconds(ATUALIZACAO_ASSENTAMENTO_MS);
constexpr std::uint32_t kTamanhoRecepcao = 65535;
constexpr std::uint32_t kTamanhoDescarte = 9999;

// libssh reads at most one socket buffer per poll; a burst of packets needs
// several in a row. Past this many empty polls, something is wrong, and the
// next pause retries rather than spinning here.
constexpr int kMaxLeiturasSemDados = 4096;

// No typed line may reach a history file, whatever the login profile did:
// bash keeps nothing once history is off and its list (this line too) is
// cleared, even with a read-only HISTFILE; zsh and mksh keep no file once
// HISTFILE is unset (zsh's `command` runs only programs, hence `builtin`);
// dash keeps none at all. `command` keeps a shell that lacks one of these
// from dropping the rest of the line, and there is no redirection, which
// rbash refuses; the complaints go with the banner. The same line sets the
// Portuguese locale for what follows (the appliance's system ships it): su's
// prompt and refusal, and the remote tools' errors, are then the texts the
// procedure reads, whatever language the account's profile chose. Last, it
// prints kPronto (written in octal, so that its echo does not hold it): the
// shell has then read everything before.
constexpr std::string_view kPreparo =
    "command unset HISTFILE; command set +o history; history -c; builtin unset HISTFILE; "
    "command export LC_ALL=pt_BR.UTF-8 LANG=pt_BR.UTF-8 LANGUAGE=pt_BR:pt; "
    "printf '\\132\\105\\114\\126\\117\\055\\120\\122\\117\\116\\124\\117\\n'\n";
constexpr std::string_view kPronto = "ZELVO-PRONTO";

// The root password is never part of a typed line, where a history file, a
// DEBUG trap, an audit record or the process list could keep it. This line,
// which only a POSIX shell runs, defines kEntregaDaSenhaRoot, which pipes the
// password into the command it is given, with a builtin (mksh's printf is a
// program, its print is not), puts the terminal in raw
// mode without echo (every byte of the password then arrives as it is) and,
// only then, prints kPedeSenha and reads one line into a variable of its
// own. The password is sent only once that mark has arrived. The shell then
// tries su once, quietly: refused, it forgets the password and the function
// only repeats su's answer (a wrong password costs one failed su, and the
// lines typed after it still each get su's prompt). kSenhaLida follows,
// with kSuAceito behind it when su accepted. ksh93 opens its history file
// at start and only leaves it when HISTFILE changes.
constexpr std::string_view kLeitura =
    "case ${KSH_VERSION-} in Version*) command eval HISTFILE=/dev/null;; esac; "
    "case $(command -v printf)$(command -v print) in "
    "printf*) zelvo_su() { printf '%s\\n' \"$zelvo_r\" | \"$@\"; };; "
    "*fprint) zelvo_su() { print -r -- \"$zelvo_r\" | \"$@\"; };; *) false;; esac && "
    "zelvo_t=$(stty -g) && stty raw -echo && "
    "printf '\\132\\105\\114\\126\\117\\055\\114\\105\\111\\101\\n' && IFS= read -r zelvo_r; "
    "stty \"$zelvo_t\"; zelvo_v=; "
    "if zelvo_e=$(zelvo_su su root -c true 2>&1); then zelvo_v=-ROOT; else zelvo_r=; "
    "zelvo_su() { printf '%s\\n' \"$zelvo_e\"; return 1; }; fi; "
    "printf '\\132\\105\\114\\126\\117\\055\\114\\111\\104\\101%s\\n' \"$zelvo_v\"\n";
constexpr std::string_view kPedeSenha = "ZELVO-LEIA";
constexpr std::string_view kSenhaLida = "ZELVO-LIDA";
constexpr std::string_view kSuAceito = "-ROOT";
static_assert(kLeitura.find(kEntregaDaSenhaRoot) != std::string_view::npos);

constexpr auto kPausaDoPreparo = std::chrono::milliseconds(50);

// libssh's time-out for a step is the rest of the deadline, counted from a
// little later than ours.
constexpr auto kFolgaDoPrazo = std::chrono::milliseconds(100);

const char* const kSemCanal = "Erro. Execute \"connect()\" primeiro.";

// A time-out the clock arithmetic can hold (about 11 days); nonsense values
// (negative, NaN) become 0, which fails the connect at once.
double timeoutUtilizavel(double segundos) {
  if (!(segundos > 0)) return 0;
  return std::min(segundos, 1e6);
}

// Connects the non-blocking socket `fd` to `endereco` by `limite`: 0, or the
// errno of the failure (ETIMEDOUT once the deadline passed).
int conectarAte(int fd, const addrinfo& endereco, Relogio::time_point limite) {
  int falha = ::connect(fd, endereco.ai_addr, endereco.ai_addrlen) == 0 ? 0 : errno;
  if (falha != EINPROGRESS) return falha;
  pollfd pronto{fd, POLLOUT, 0};
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(limite - Relogio::now()).count();
  int r;
  while ((r = ::poll(&pronto, 1, static_cast<int>(std::max<long long>(ms, 0)))) < 0 &&
         errno == EINTR) {
  }
  socklen_t tamanho = sizeof falha;
  if (r == 0) return ETIMEDOUT;
  if (r < 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &falha, &tamanho) != 0) return errno;
  return falha;
}

}  // namespace

// ---------------------------------------------------------------- holders

void LiberaSessao::operator()(ssh_session_struct* sessao) const noexcept {
  // The socket was handed to libssh, which closes it itself only when it
  // fails; after a goodbye it merely forgets it.
  const int soquete = ssh_get_fd(sessao);
  ssh_disconnect(sessao);
  if (soquete >= 0) ::close(soquete);
  ssh_free(sessao);
}

void LiberaCanal::operator()(ssh_channel_struct* canal) const noexcept {
  if (ssh_channel_is_open(canal)) ssh_channel_close(canal);
  // libssh keeps the structure until the server's close arrives, or until
  // the session is disconnected.
  ssh_channel_free(canal);
}

// ---------------------------------------------------------------- session

conexaoSSH::conexaoSSH(std::string host, int port, std::string user, std::string password,
                       std::optional<std::string> end_data, double timeout, bool pausaFixa,
                       std::optional<std::string> senhaRoot)
    : host_(std::move(host)),
      port_(port),
      user_(std::move(user)),
      password_(std::move(password)),
      end_data_(std::move(end_data)),
      timeout_(timeout),
      pausaFixa_(pausaFixa),
      senhaRoot_(std::move(senhaRoot)) {}

std::string conexaoSSH::destino() const {
  const bool ipv6 = host_.find(':') != std::string::npos;
  return user_ + "@" + (ipv6 ? "[" + host_ + "]" : host_) + ":" + std::to_string(port_);
}

ErroSSH conexaoSSH::erro(const char* operacao, std::string detalhe) const {
  return ErroSSH(operacao, destino(), std::move(detalhe));
}

// One failure however the network delivered the shell's end: before the
// command line was written, or while its output was awaited.
ErroSSH conexaoSSH::shellTerminou() const {
  return erro("ao executar o comando", "o shell remoto terminou");
}

ErroSSH conexaoSSH::erroDaBiblioteca(const char* operacao) const {
  const char* texto = client_ ? ssh_get_error(client_.get()) : nullptr;
  return erro(operacao, texto != nullptr && *texto != '\0' ? texto : "erro desconhecido de SSH");
}

void conexaoSSH::definirTimeout(double segundos) {
  // libssh takes whole seconds plus microseconds, and reads 0 as "default".
  const double inteiro = std::floor(segundos);
  long sec = static_cast<long>(inteiro);
  long usec = static_cast<long>((segundos - inteiro) * 1e6);
  if (sec == 0 && usec < 1000) usec = 1000;
  ssh_session sessao = client_.get();
  if (ssh_options_set(sessao, SSH_OPTIONS_TIMEOUT, &sec) != SSH_OK ||
      ssh_options_set(sessao, SSH_OPTIONS_TIMEOUT_USEC, &usec) != SSH_OK)
    throw erroDaBiblioteca("ao configurar o tempo limite");
}

void conexaoSSH::connect() {
  // A previous connection is released first, channel before session: libssh
  // frees a session's channels when it disconnects.
  channel_.reset();
  client_.reset();
  shellAberto_ = false;
  suAceito_ = false;
  client_.reset(ssh_new());
  if (!client_) throw std::bad_alloc();
  ssh_session sessao = client_.get();

  // For the audit record: a host that let the deadline pass said nothing.
  char texto[32];
  std::snprintf(texto, sizeof texto, "sem resposta em %g s", timeoutUtilizavel(timeout_));
  const Prazo prazo{Relogio::now() + std::chrono::duration_cast<Relogio::duration>(
                                         Segundos(timeoutUtilizavel(timeout_))),
                    texto};
  configurarSessao();

  // The socket is ours, so that interromper() can shut it down from another
  // thread; libssh gets a copy of its own, which it closes when it likes.
  struct Soquete {
    conexaoSSH& dono;
    ~Soquete() {
      std::lock_guard trava(dono.mutex_);
      if (dono.soquete_ >= 0) ::close(std::exchange(dono.soquete_, -1));
    }
  } soquete{*this};
  const int copia = ::fcntl(abrirSoquete(prazo.limite, texto), F_DUPFD_CLOEXEC, 0);
  if (copia < 0) throw erro("ao conectar", std::strerror(errno));
  if (ssh_options_set(sessao, SSH_OPTIONS_FD, &copia) != SSH_OK) {
    ::close(copia);
    throw erroDaBiblioteca("ao conectar");
  }

  // One deadline for TCP, handshake, authentication and the shell: libssh
  // applies its time-out to each blocking step separately.
  restante(prazo, "ao conectar");
  if (ssh_connect(sessao) != SSH_OK) throw daBiblioteca(prazo, "ao conectar");
  const ssh_known_hosts_e registro = ssh_session_is_known_server(sessao);
  if (registro == SSH_KNOWN_HOSTS_CHANGED || registro == SSH_KNOWN_HOSTS_OTHER)
    throw ChaveDoServidorDiferente("a chave de " + destino() +
                                   " difere da registrada em known_hosts");
  autenticar(prazo);
  abrirShell(prazo);
  // From here on a blocked send may wait the full time-out for window space.
  definirTimeout(timeoutUtilizavel(timeout_));

  prepararShell(prazo.limite);
}

void conexaoSSH::restante(const Prazo& prazo, const char* operacao) {
  const double s = Segundos(prazo.limite - Relogio::now()).count();
  if (!(s > 0))
    throw ErroSSH(operacao, destino(), "tempo limite de conexão esgotado", prazo.semResposta);
  definirTimeout(s);
}

ErroSSH conexaoSSH::daBiblioteca(const Prazo& prazo, const char* operacao) const {
  // libssh's own failure, once its time-out (the rest of the deadline) ran
  // out, is the host's silence.
  ErroSSH e = erroDaBiblioteca(operacao);
  if (Relogio::now() + kFolgaDoPrazo < prazo.limite) return e;
  return ErroSSH(operacao, destino(), ssh_get_error(client_.get()), prazo.semResposta);
}

void conexaoSSH::configurarSessao() {
  if (port_ <= 0 || port_ > 65535) throw erro("ao configurar a sessão", "porta inválida");
  ssh_session sessao = client_.get();
  const unsigned int porta = static_cast<unsigned int>(port_);
  const int nao = 0;
  const bool naoLerConfiguracao = false;
  // Unknown host keys are accepted and nothing is ever written; the
  // operator's known_hosts files are only read, so that a key recorded
  // there is held to. Only the password is offered: no agent, no key
  // files, and ~/.ssh/config is not parsed.
  if (ssh_options_set(sessao, SSH_OPTIONS_HOST, host_.c_str()) != SSH_OK ||
      ssh_options_set(sessao, SSH_OPTIONS_PORT, &porta) != SSH_OK ||
      ssh_options_set(sessao, SSH_OPTIONS_USER, user_.c_str()) != SSH_OK ||
      ssh_options_set(sessao, SSH_OPTIONS_PUBKEY_AUTH, &nao) != SSH_OK ||
      ssh_options_set(sessao, SSH_OPTIONS_PROCESS_CONFIG, &naoLerConfiguracao) != SSH_OK)
    throw erroDaBiblioteca("ao configurar a sessão");
}

void conexaoSSH::autenticar(const Prazo& prazo) {
  ssh_session sessao = client_.get();
  restante(prazo, "ao autenticar");
  int autenticacao = ssh_userauth_password(sessao, nullptr, password_.c_str());
  if (autenticacao == SSH_AUTH_DENIED) {
    // PAM set-ups often offer the password only as keyboard-interactive.
    const int metodos = ssh_userauth_list(sessao, nullptr);
    if ((metodos & SSH_AUTH_METHOD_PASSWORD) == 0 && (metodos & SSH_AUTH_METHOD_INTERACTIVE) != 0) {
      restante(prazo, "ao autenticar");
      autenticacao = autenticarInterativo();
    }
  }
  if (autenticacao == SSH_AUTH_PARTIAL)
    throw erro("ao autenticar", "o servidor exige mais de uma forma de autenticação");
  if (autenticacao == SSH_AUTH_DENIED)
    throw ErroSSH("ao autenticar", destino(), ssh_get_error(sessao), "senha recusada");
  if (autenticacao != SSH_AUTH_SUCCESS) throw daBiblioteca(prazo, "ao autenticar");
}

void conexaoSSH::abrirShell(const Prazo& prazo) {
  std::unique_ptr<ssh_channel_struct, LiberaCanal> canal(ssh_channel_new(client_.get()));
  if (!canal) throw erroDaBiblioteca("ao criar o canal");
  restante(prazo, "ao abrir o canal");
  if (ssh_channel_open_session(canal.get()) != SSH_OK) throw erroDaBiblioteca("ao abrir o canal");
  restante(prazo, "ao pedir o terminal");
  if (ssh_channel_request_pty(canal.get()) != SSH_OK) throw erroDaBiblioteca("ao pedir o terminal");
  restante(prazo, "ao abrir o shell");
  if (ssh_channel_request_shell(canal.get()) != SSH_OK) throw erroDaBiblioteca("ao abrir o shell");
  channel_ = std::move(canal);
  shellAberto_ = true;
}

void conexaoSSH::prepararShell(Relogio::time_point limite) {
  // The shell must not keep the typed lines, and the root password goes
  // only to a read the shell has confirmed.
  const std::string preparo =
      std::string(kPreparo) + (senhaRoot_ ? std::string(kLeitura) : std::string());
  try {
    enviar(preparo, "ao preparar o shell");
  } catch (const ErroSSH&) {
    // A shell that ended at once (a profile that exits) is no failure to
    // connect: the first command meets its closed channel, as it would
    // have without this line.
    if (ssh_is_connected(client_.get()) == 0) throw;
    return;
  }
  // The mark comes after the banner and whatever the login printed: the
  // strict loop waits at least its fixed second all the same.
  const auto minimo = Relogio::now() + (pausaFixa_ ? kEsperaDoShell : Relogio::duration{});
  if (senhaRoot_) {
    // A shell that cannot confirm such a read (fish, tcsh) never gets the
    // password; its commands then fail on the machine.
    if (!clear_buffer(kPedeSenha, false, Relogio::now(), limite)) return;
    enviar(*senhaRoot_ + "\n", "ao entregar a senha de root");
    std::string resposta;
    suAceito_ = clear_buffer(kSenhaLida, true, minimo, limite, &resposta) &&
                resposta.starts_with(kSuAceito);
    return;
  }
  clear_buffer(kPronto, true, minimo, limite);
}

bool conexaoSSH::clear_buffer(std::string_view marca, bool comPrompt, Relogio::time_point minimo,
                              Relogio::time_point limite, std::string* depois) {
  // The shell has answered once its mark (and, with comPrompt, the prompt
  // after it) has arrived. All that came before (the banner however long,
  // the prompts, the echo) is discarded; a stale prompt left behind would end
  // the first command's collection before its answer. The wait lasts until
  // `minimo` at least (a shell's start), and a shell that never answers is
  // waited for until the connect deadline, then used as it is.
  std::string recebido;
  std::vector<char> bloco(kTamanhoDescarte);
  for (;;) {
    {
      std::unique_lock trava(mutex_);
      if (acordar_.wait_for(trava, kPausaDoPreparo, [&] { return interrompido_; }))
        throw erro("ao esperar o shell", "conexão interrompida");
    }
    while (haDados("ao esperar o shell")) {
      const int n = ssh_channel_read_nonblocking(channel_.get(), bloco.data(), kTamanhoDescarte, 0);
      if (n < 0 && n != SSH_EOF) throw erroDaBiblioteca("ao esperar o shell");
      if (n <= 0) break;
      recebido.append(bloco.data(), static_cast<std::size_t>(n));
    }
    const auto pos = recebido.find(marca);
    bool visto = pos != std::string::npos;
    if (visto && comPrompt && end_data_) {
      // The prompt as a command's end is told (saida::Coletor).
      saida::Coletor prompt(end_data_);
      if (pos + marca.size() < recebido.size())
        prompt.acrescentar(std::string_view(recebido).substr(pos + marca.size()));
      visto = prompt.marcadorVisto();
    }
    const auto agora = Relogio::now();
    if (visto && agora >= minimo) {
      if (depois != nullptr) *depois = recebido.substr(pos + marca.size());
      return true;
    }
    if (agora >= limite || ssh_channel_is_eof(channel_.get())) return false;
    // Only the mark's end and what follows it matter.
    if (pos == std::string::npos && recebido.size() > kTamanhoDescarte)
      recebido.erase(0, recebido.size() - marca.size());
  }
}

int conexaoSSH::abrirSoquete(Relogio::time_point limite, const char* semResposta) {
  addrinfo dicas{};
  dicas.ai_socktype = SOCK_STREAM;
  dicas.ai_flags = AI_NUMERICSERV;
  addrinfo* lista = nullptr;
  const int resolvido = ::getaddrinfo(host_.c_str(), std::to_string(port_).c_str(), &dicas, &lista);
  if (resolvido != 0) throw erro("ao conectar", ::gai_strerror(resolvido));
  const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> enderecos(lista, ::freeaddrinfo);
  std::string motivo = "nenhum endereço";
  int ultima = 0;  // the last address's errno
  for (const addrinfo* e = lista; e != nullptr; e = e->ai_next) {
    const int fd =
        ::socket(e->ai_family, e->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, e->ai_protocol);
    if (fd < 0) {
      motivo = std::strerror(errno);
      continue;
    }
    {
      std::lock_guard trava(mutex_);
      if (interrompido_) {
        ::close(fd);
        throw erro("ao conectar", "conexão interrompida");
      }
      soquete_ = fd;
    }
    const int falha = conectarAte(fd, *e, limite);
    {
      std::lock_guard trava(mutex_);
      if (interrompido_) throw erro("ao conectar", "conexão interrompida");
      if (falha == 0) {
        // libssh waits on the socket itself. Its own no-delay option does
        // not reach a socket handed to it: without this, each command line
        // after a small write (the pager's blank) waits a round trip for
        // its ACK.
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        const int sim = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &sim, sizeof sim);
        return fd;
      }
      ::close(std::exchange(soquete_, -1));
    }
    motivo = std::strerror(falha);
    ultima = falha;
  }
  throw ErroSSH("ao conectar", destino(), motivo,
                ultima == ECONNREFUSED ? "conexão recusada"
                : ultima == ETIMEDOUT  ? semResposta
                                       : "");
}

void conexaoSSH::interromper() noexcept {
  std::lock_guard trava(mutex_);
  interrompido_ = true;
  if (soquete_ >= 0) ::shutdown(soquete_, SHUT_RDWR);
  acordar_.notify_all();
}

bool conexaoSSH::is_alive() noexcept {
  try {
    ssh_channel canal = canalUtilizavel("ao verificar a sessão");
    // Takes in what arrived while the session waited (an EOF, a close, a
    // disconnect) without reading the shell's output: libssh reads the
    // socket when the polled buffer is empty, and on a terminal the error
    // stream's always is; it also tells the remote EOF even while output
    // (a shell's "auto-logout") still waits in the other buffer.
    for (int vazias = 0; vazias < kMaxLeiturasSemDados; ++vazias) {
      const int estado = ssh_channel_poll(canal, 1);
      if (estado == SSH_ERROR || estado == SSH_EOF) return false;
      pollfd pronto{ssh_get_fd(client_.get()), POLLIN, 0};
      if (pronto.fd < 0 || ::poll(&pronto, 1, 0) <= 0) break;
    }
    return ssh_is_connected(client_.get()) != 0 && ssh_channel_is_open(canal) != 0;
  } catch (...) {
    return false;
  }
}

int conexaoSSH::autenticarInterativo() {
  // Only a round of hidden prompts (what PAM asks a password with) gets the
  // password, and only once: a second round means it was refused, and a
  // visible prompt asks for something else. Info rounds get no answer.
  bool respondida = false;
  ssh_session sessao = client_.get();
  int r = ssh_userauth_kbdint(sessao, nullptr, nullptr);
  while (r == SSH_AUTH_INFO) {
    const int perguntas = ssh_userauth_kbdint_getnprompts(sessao);
    if (perguntas > 0) {
      if (respondida) return SSH_AUTH_DENIED;
      for (int i = 0; i < perguntas; ++i) {
        char eco = 1;
        ssh_userauth_kbdint_getprompt(sessao, static_cast<unsigned>(i), &eco);
        if (eco != 0) return SSH_AUTH_DENIED;
        if (ssh_userauth_kbdint_setanswer(sessao, static_cast<unsigned>(i), password_.c_str()) < 0)
          return SSH_AUTH_ERROR;
      }
      respondida = true;
    }
    r = ssh_userauth_kbdint(sessao, nullptr, nullptr);
  }
  return r;
}

ssh_channel conexaoSSH::canalUtilizavel(const char* operacao) const {
  if (!shellAberto_) throw falhas::Falha("uso incorreto da sessão SSH", kSemCanal);
  if (!channel_ || !client_) throw erro(operacao, "canal fechado");
  return channel_.get();
}

bool conexaoSSH::haDados(const char* operacao) {
  ssh_channel canal = canalUtilizavel(operacao);
  for (int vazias = 0; vazias < kMaxLeiturasSemDados; ++vazias) {
    const int n = ssh_channel_poll(canal, 0);
    if (n > 0) return true;
    if (n == SSH_EOF) return false;  // the remote will send nothing more
    if (n < 0) throw erroDaBiblioteca(operacao);
    // Nothing complete yet. libssh read one socket buffer at most, which may
    // end inside a packet: carry on while the kernel holds more, so that data
    // received during the pause is really seen now.
    const int fd = ssh_get_fd(client_.get());
    if (fd < 0) return false;
    pollfd pronto{fd, POLLIN, 0};
    int r;
    while ((r = ::poll(&pronto, 1, 0)) < 0 && errno == EINTR) {
    }
    if (r < 0) throw erro(operacao, std::strerror(errno));
    if (r == 0) return false;
  }
  return false;
}

bool conexaoSSH::esperarDados(std::chrono::milliseconds espera, const char* operacao) {
  const auto fim = Relogio::now() + espera;
  const int n =
      ssh_channel_poll_timeout(canalUtilizavel(operacao), static_cast<int>(espera.count()), 0);
  if (n == SSH_ERROR) throw erroDaBiblioteca(operacao);
  // After the remote's EOF libssh answers at once: the wait is slept out,
  // so that a call on an ended shell does not spin until its idle time-out.
  if (n == SSH_EOF) std::this_thread::sleep_until(fim);
  return n > 0;
}

void conexaoSSH::enviar(std::string_view texto, const char* operacao) {
  ssh_channel canal = canalUtilizavel(operacao);
  // The channel may take less than everything when the remote window is
  // short; the rest is sent as the window opens.
  while (!texto.empty()) {
    const int n = ssh_channel_write(canal, texto.data(), static_cast<std::uint32_t>(texto.size()));
    // libssh refuses a write with SSH_REQUEST_DENIED only for a channel the
    // remote closed (we never send EOF ourselves): the shell has ended.
    if (n < 0)
      throw ssh_get_error_code(client_.get()) == SSH_REQUEST_DENIED ? shellTerminou()
                                                                    : erroDaBiblioteca(operacao);
    if (n == 0) throw erro(operacao, "o canal não aceitou dados dentro do tempo limite");
    texto.remove_prefix(static_cast<std::size_t>(n));
  }
}

std::string conexaoSSH::execute_command(const std::string& command) {
  saida::Coletor coletor(end_data_);
  coletar(command + "\n", coletor);
  return saida::limparSaida(coletor.texto(), command, end_data_);
}

std::vector<std::string> conexaoSSH::execute_commands(const std::vector<std::string>& commands) {
  if (pausaFixa_ || !suAceito_ || commands.size() < 2)
    return SessaoRemota::execute_commands(commands);
  std::string linhas;
  for (const std::string& command : commands) linhas += command + "\n";
  saida::Coletor coletor(end_data_, commands.size());
  coletar(linhas, coletor);
  return coletor.saidas(commands);
}

void conexaoSSH::coletar(std::string_view linhas, saida::Coletor& coletor) {
  if (!shellAberto_) throw falhas::Falha("uso incorreto da sessão SSH", kSemCanal);
  try {
    enviar(linhas, "ao enviar o comando");
    saida::DecodificadorUtf8 utf8;
    auto ultimoDado = Relogio::now();
    const Segundos ocioso(timeout_);
    std::vector<char> recebido(kTamanhoRecepcao);
    // Set when the marker is seen (kSemAssentamento while it is not): from
    // then on a quiet settle time ends the call, and a burst still arriving
    // is collected up to one tick after the marker, all that the strict
    // loop's next read would take.
    constexpr auto kSemAssentamento = Relogio::time_point::max();
    auto fimDoAssentamento = kSemAssentamento;
    // A pager answer is owed, and goes once the output has paused: a pager
    // waiting for its key is quiet, while a colon inside a burst ("su: ...",
    // written in pieces) would otherwise get the blank's echo in its middle.
    bool responder = false;
    for (;;) {
      if (pausaFixa_) {
        std::this_thread::sleep_for(kPausa);
      } else if (responder || fimDoAssentamento != kSemAssentamento) {
        const bool quieto =
            Relogio::now() >= fimDoAssentamento || !esperarDados(kAssentamento, "ao ler a saída");
        if (quieto) {
          if (responder) enviar(" ", "ao responder ao paginador");
          responder = false;
          if (fimDoAssentamento != kSemAssentamento) break;
          continue;
        }
      } else {
        esperarDados(kPausa, "ao ler a saída");
      }
      if (lerOQueChegou(utf8, recebido, coletor, responder)) ultimoDado = Relogio::now();
      // A shell that has ended sends nothing more: the command met a closed
      // channel, whether its end came before the command line or after it.
      if (!coletor.marcadorVisto() && ssh_channel_is_eof(channel_.get())) throw shellTerminou();
      if (Relogio::now() - ultimoDado > ocioso) break;
      if (coletor.marcadorVisto()) {
        if (pausaFixa_) break;
        if (fimDoAssentamento == kSemAssentamento) fimDoAssentamento = Relogio::now() + kPausa;
      } else {
        fimDoAssentamento = kSemAssentamento;  // a line feed came after it: that "$" was output
      }
    }
  } catch (const ErroSSH&) {
    close();
    throw;
  }
}

bool conexaoSSH::lerOQueChegou(saida::DecodificadorUtf8& utf8, std::vector<char>& recebido,
                               saida::Coletor& coletor, bool& responder) {
  bool chegou = false;
  while (haDados("ao ler a saída")) {
    const int n =
        ssh_channel_read_nonblocking(channel_.get(), recebido.data(), kTamanhoRecepcao, 0);
    if (n < 0 && n != SSH_EOF) throw erroDaBiblioteca("ao ler a saída");
    if (n <= 0) break;
    std::string bloco = utf8.decodificar({recebido.data(), static_cast<std::size_t>(n)});
    // A pager (or anything printing a colon) may be waiting for a key.
    if (saida::tratarPaginador(bloco)) {
      if (pausaFixa_) enviar(" ", "ao responder ao paginador");
      responder = !pausaFixa_;
    }
    if (!bloco.empty()) {
      coletor.acrescentar(bloco);
      chegou = true;
    }
  }
  return chegou;
}

void conexaoSSH::close() noexcept {
  channel_.reset();
  client_.reset();
}

}  // namespace ssh
