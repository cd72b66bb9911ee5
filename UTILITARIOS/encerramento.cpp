#include "UTILITARIOS/encerramento.hpp"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <ostream>
#include <system_error>
#include <thread>

#include "UTILITARIOS/auditoria.hpp"
#include "UTILITARIOS/console.hpp"
#include "UTILITARIOS/falhas.hpp"

namespace encerramento {
namespace {

struct Estado {
  std::mutex mutex;
  bool aberto = false;   // the start record was written
  bool fechado = false;  // so was the closing one
  bool sigpipePadrao = false;
  std::ostream* saida = nullptr;      // while the machine loop runs
  std::string cor;                    // of the summary a signal would write
  std::optional<std::string> resumo;  // the summary, written or not
};

// Never destroyed: the watcher may still use it while the process exits.
Estado& estado() {
  static auto* const valor = new Estado;
  return *valor;
}

std::string nomeDoSinal(int sinal) {
  const char* abreviado = sigabbrev_np(sinal);
  return abreviado != nullptr ? std::string("SIG") + abreviado : std::to_string(sinal);
}

void fecharTravado(Estado& e, std::string_view como) {
  if (!e.aberto || e.fechado) return;
  e.fechado = true;
  auditoria::registrar("fim: " + std::string(como) + "; " +
                       e.resumo.value_or("nenhuma máquina tratada"));
}

// The signal's own end for the process: its default action, from this
// thread, where it is the only signal unblocked.
[[noreturn]] void terminar(int sinal) {
  ::signal(sinal, SIG_DFL);
  sigset_t so;
  sigemptyset(&so);
  sigaddset(&so, sinal);
  pthread_sigmask(SIG_UNBLOCK, &so, nullptr);
  raise(sinal);
  _exit(128 + sinal);  // a signal whose default action does not end a process
}

// On the watcher: the summary, unless the report is stuck (a reader that
// stopped reading keeps the console's lock in a blocked write), then the
// record; the signal then ends the process within a second.
void interrompida(int sinal) {
  using namespace std::chrono_literals;
  std::unique_lock console(console::trava(), std::defer_lock);
  const bool comConsole = console.try_lock_for(1s);
  Estado& e = estado();
  const std::lock_guard trava(e.mutex);
  if (comConsole && e.saida != nullptr && e.resumo) {
    console::escreverLinha(*e.saida, {e.cor, *e.resumo, console::RESET});
    e.saida->flush();
  }
  fecharTravado(e, "sinal " + nomeDoSinal(sinal));
  terminar(sinal);
}

}  // namespace

void vigiar() {
  static std::once_flag uma;
  std::call_once(uma, [] {
    sigset_t vigiados;
    sigemptyset(&vigiados);
    for (int sinal : {SIGINT, SIGTERM, SIGHUP}) {
      struct sigaction atual {};
      if (sigaction(sinal, nullptr, &atual) == 0 && atual.sa_handler != SIG_IGN)
        sigaddset(&vigiados, sinal);
    }
    pthread_sigmask(SIG_BLOCK, &vigiados, nullptr);
    struct sigaction pipe {};
    estado().sigpipePadrao = sigaction(SIGPIPE, nullptr, &pipe) == 0 && pipe.sa_handler == SIG_DFL;
    ::signal(SIGPIPE, SIG_IGN);
    try {
      std::thread([vigiados] {
        int sinal = 0;
        while (sigwait(&vigiados, &sinal) != 0) {
        }
        interrompida(sinal);
      }).detach();
    } catch (const std::system_error&) {
      // No thread to spare: the signals keep their default action.
      pthread_sigmask(SIG_UNBLOCK, &vigiados, nullptr);
    }
  });
}

void abrir(std::string_view registro) {
  Estado& e = estado();
  const std::lock_guard trava(e.mutex);
  e.aberto = true;
  auditoria::registrar(registro);
}

void resumoSeInterrompida(std::ostream& saida, std::string_view cor, std::string texto) {
  Estado& e = estado();
  const std::lock_guard trava(e.mutex);
  e.saida = &saida;
  e.cor = cor;
  e.resumo = std::move(texto);
}

void escreverResumo(std::ostream& saida, std::string_view cor, std::string texto) {
  const std::lock_guard console(console::trava());
  Estado& e = estado();
  {
    const std::lock_guard trava(e.mutex);
    e.saida = nullptr;
    e.resumo = texto;
  }
  // A summary that cannot be written is no fault of the last machine.
  falhas::naEtapa("ao escrever o resumo", [&] {
    console::escreverLinha(saida, {cor, texto, console::RESET});
    saida.flush();
    console::verificarSaida(saida);
  });
}

void fechar(std::string_view como) {
  Estado& e = estado();
  const std::lock_guard trava(e.mutex);
  fecharTravado(e, como);
}

void terminarPorSaidaFechada() {
  Estado& e = estado();
  {
    const std::lock_guard trava(e.mutex);
    if (!e.sigpipePadrao) return;
    fecharTravado(e, "sinal SIGPIPE (a saída padrão foi fechada)");
  }
  terminar(SIGPIPE);
}

}  // namespace encerramento
