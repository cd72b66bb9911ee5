#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

// Every run ends with its account, whatever ends it: the summary line on
// the console once the machine loop has begun, and a closing audit record
// once the run has started. SIGINT, SIGTERM and SIGHUP are taken by a
// thread of their own with sigwait (no handler ever runs), which writes both
// and then lets the signal end the process as it would have, so that the
// shell still sees 130, 143 or 129.
namespace encerramento {

/// Called first, before any other thread exists: blocks SIGINT, SIGTERM and
/// SIGHUP in the process (those the caller does not ignore, as nohup does)
/// and starts their watcher; SIGPIPE is ignored, so that a closed report
/// fails a write instead (see terminarPorSaidaFechada). Once per process.
void vigiar();

/// Writes the run's start record; from then on, fechar() writes its
/// closing record.
void abrir(std::string_view registro);

/// While the machine loop runs: the summary line (`cor`, then `texto`) that
/// a signal would write to `saida` now.
void resumoSeInterrompida(std::ostream& saida, std::string_view cor, std::string texto);

/// Writes the summary line to `saida` as the run's last word, under the
/// console's lock: no signal writes another after it. Throws as
/// console::linha does.
void escreverResumo(std::ostream& saida, std::string_view cor, std::string texto);

/// The closing record, once per started run: "fim: <como>; <summary>", or
/// "nenhuma máquina tratada" when no summary was written.
void fechar(std::string_view como);

/// For a report cut by its reader (console::SaidaFechada): when SIGPIPE had
/// its default action at start, closes the run as that signal and ends the
/// process by it; otherwise returns, and the cut is an ordinary failure.
void terminarPorSaidaFechada();

}  // namespace encerramento
