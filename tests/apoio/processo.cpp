#include "tests/apoio/processo.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace apoio {
namespace {

// Each run of the program, one JSON line, in ATUALIZACAO_TRANSCRICAO when it
// is set: what the operator would have seen, to compare two builds' runs.
// The first run of the process starts the file afresh.
void transcrever(const std::vector<std::string>& argv, const std::string& entrada,
                 const Resultado& r) {
  const char* caminho = std::getenv("ATUALIZACAO_TRANSCRICAO");
  if (caminho == nullptr || *caminho == '\0') return;
  static bool primeira = true;
  std::ofstream arquivo(caminho, primeira ? std::ios::trunc : std::ios::app);
  primeira = false;
  const std::vector<std::string> argumentos(argv.begin() + 1, argv.end());
  arquivo << nlohmann::json{{"argv", argumentos}, {"entrada", entrada}, {"status", r.status},
                            {"saida", r.saida}, {"erro", r.erro}}
                 .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
          << '\n';
}

}  // namespace

Resultado executar(const std::vector<std::string>& argv, const std::string& entrada,
                   std::chrono::seconds limite, const SinalNoPrompt& sinal) {
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe");
  posix_spawn_file_actions_t acoes;
  posix_spawn_file_actions_init(&acoes);
  posix_spawn_file_actions_adddup2(&acoes, in[0], 0);
  posix_spawn_file_actions_adddup2(&acoes, out[1], 1);
  posix_spawn_file_actions_adddup2(&acoes, err[1], 2);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const auto inicio = std::chrono::steady_clock::now();
  pid_t pid = 0;
  // The child starts as from a shell: SIGPIPE, which this process ignores,
  // back to its default action.
  posix_spawnattr_t atributos;
  posix_spawnattr_init(&atributos);
  sigset_t padrao;
  sigemptyset(&padrao);
  sigaddset(&padrao, SIGPIPE);
  posix_spawnattr_setsigdefault(&atributos, &padrao);
  posix_spawnattr_setflags(&atributos, POSIX_SPAWN_SETSIGDEF);
  const int rc = posix_spawn(&pid, args[0], &acoes, &atributos, args.data(), environ);
  posix_spawnattr_destroy(&atributos);
  posix_spawn_file_actions_destroy(&acoes);
  close(in[0]);
  close(out[1]);
  close(err[1]);
  if (rc != 0) throw std::runtime_error("posix_spawn " + argv[0]);

  Resultado r;
  std::size_t enviados = 0;
  int fdEntrada = in[1];
  int segurada = -1;  // standard input kept open until the end
  if (sinal.sinal != 0 && entrada.empty()) {
    segurada = fdEntrada;
    fdEntrada = -1;
  } else if (entrada.empty()) {
    close(fdEntrada);
    fdEntrada = -1;
  } else {
    fcntl(fdEntrada, F_SETFL, O_NONBLOCK);
  }
  signal(SIGPIPE, SIG_IGN);
  auto sinalizado = inicio;
  bool abertos[2] = {true, true};
  while (abertos[0] || abertos[1]) {
    const auto decorrido = std::chrono::steady_clock::now() - inicio;
    if (decorrido > limite) {
      kill(pid, SIGKILL);
      r.expirou = true;
      break;
    }
    pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {fdEntrada, POLLOUT, 0}};
    if (poll(fds, fdEntrada >= 0 ? 3 : 2, 100) < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (!abertos[i] || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      char buffer[65536];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n <= 0) {
        abertos[i] = false;
      } else {
        (i == 0 ? r.saida : r.erro).append(buffer, static_cast<std::size_t>(n));
      }
    }
    // Standard input stays open, as a terminal's does, until the end.
    if (segurada >= 0 && sinalizado == inicio && r.saida.ends_with(sinal.apos)) {
      if (sinal.antes) sinal.antes(pid);
      kill(pid, sinal.sinal);
      sinalizado = std::chrono::steady_clock::now();
    }
    if (fdEntrada >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
      const ssize_t n = write(fdEntrada, entrada.data() + enviados, entrada.size() - enviados);
      if (n > 0) enviados += static_cast<std::size_t>(n);
      if (n < 0 || enviados == entrada.size()) {
        close(fdEntrada);
        fdEntrada = -1;
      }
    }
  }
  if (fdEntrada >= 0) close(fdEntrada);
  if (segurada >= 0) close(segurada);
  close(out[0]);
  close(err[0]);
  int status = 0;
  rusage uso{};
  wait4(pid, &status, 0, &uso);
  r.picoMb = static_cast<double>(uso.ru_maxrss) / 1024.0;
  const auto fim = std::chrono::steady_clock::now();
  r.segundos = std::chrono::duration<double>(fim - inicio).count();
  if (sinalizado != inicio) r.aposSinal = std::chrono::duration<double>(fim - sinalizado).count();
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (argv[0] == programa()) transcrever(argv, entrada, r);
  return r;
}

// The program under test is the production build, unless the suite runs
// another build of it (ATUALIZACAO_PROGRAMA), as the twin suites that
// compare connect-ahead with the strict sequence do.
std::string programa() {
  const char* outro = std::getenv("ATUALIZACAO_PROGRAMA");
  return outro != nullptr && *outro != '\0' ? outro : ATUALIZACAO_PROGRAMA;
}

std::string lerArquivo(const std::string& caminho) {
  std::ifstream arquivo(caminho, std::ios::binary);
  std::ostringstream conteudo;
  conteudo << arquivo.rdbuf();
  return conteudo.str();
}

std::string estado() {
  const char* valor = std::getenv("LAB_STATE");
  return valor ? valor : "";
}

std::vector<nlohmann::json> pedidos() {
  std::vector<nlohmann::json> r;
  for (const std::string& linha : linhas(lerArquivo(estado() + "/requests.jsonl")))
    if (!linha.empty()) r.push_back(nlohmann::json::parse(linha));
  return r;
}

std::vector<std::string> linhas(const std::string& texto) {
  std::vector<std::string> v;
  std::istringstream entrada(texto);
  for (std::string l; std::getline(entrada, l);) v.push_back(l);
  return v;
}

}  // namespace apoio
