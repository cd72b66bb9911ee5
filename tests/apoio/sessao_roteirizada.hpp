#pragma once

// Scripted machines standing in for real sessions in the machine loop's
// tests: what each host answers, by the kind of inner command, and a diary
// of everything the machines saw, from every thread, in one order.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "UTILITARIOS/ssh/sessao_remota.hpp"
#include "UTILITARIOS/workflow/antecipacao.hpp"
#include "UTILITARIOS/workflow/comandos_remotos.hpp"

namespace apoio {

/// How a scripted host answers.
struct Roteiro {
  bool falhaConexao = false;
  bool chaveDiferente = false;  ///< the connect meets another key than the recorded one
  bool erroNaVersao = false;  ///< the version command meets an SSH error
  std::string listagem = "-rwxr-xr-x 1 root root 9 Dec  8 1001 disco.py";
  std::string versao = "Python 3.8.10";
  std::string download =
      std::string(workflow::comandos::kDownloadConcluido) + " Salvando em disco.py";
  std::string listagemFinal = "-rwxr-xr-x 1 root root 10 Dec  8 1012 disco.py";
  /// The first command waits (5 s at most) until that host's connect began.
  std::string esperarConexaoDe;
  std::chrono::milliseconds demoraConexao{0};
};

struct Diario {
  struct Evento {
    int sessao;
    std::string host, oque;  ///< "connect", "close" or the typed line
  };
  struct Sessao {
    std::string host, user, pwd, senhaRoot;
    int port = 0;
    std::vector<std::string> comandos;
    int fechamentos = 0;  ///< a session is closed by its destruction
  };

  std::map<std::string, Roteiro> roteiros;  ///< by host; the others answer the defaults
  std::mutex mutex;
  std::condition_variable mudou;
  std::vector<Evento> eventos;
  std::deque<Sessao> sessoes;

  /// A connect, a close or a typed line, which the session also keeps.
  void anotar(int id, const std::string& oque) {
    std::lock_guard trava(mutex);
    Sessao& sessao = sessoes[static_cast<std::size_t>(id)];
    eventos.push_back({id, sessao.host, oque});
    if (oque == "close") ++sessao.fechamentos;
    if (oque != "close" && oque != "connect") sessao.comandos.push_back(oque);
    mudou.notify_all();
  }

  workflow::FabricaSessao fabrica();
};

class SessaoRoteirizada : public ssh::SessaoRemota {
 public:
  SessaoRoteirizada(Diario& d, int id) : d_(d), id_(id) {
    std::lock_guard trava(d_.mutex);
    const std::string& host = d_.sessoes[static_cast<std::size_t>(id)].host;
    if (d_.roteiros.count(host)) r_ = d_.roteiros.at(host);
  }
  ~SessaoRoteirizada() override { d_.anotar(id_, "close"); }
  void interromper() noexcept override { d_.anotar(id_, "interromper"); }

  void connect() override {
    d_.anotar(id_, "connect");
    std::this_thread::sleep_for(r_.demoraConexao);
    if (r_.falhaConexao) throw std::runtime_error("connection refused");
    if (r_.chaveDiferente) throw ssh::ChaveDoServidorDiferente("known_hosts");
  }

  std::string execute_command(const std::string& command) override {
    if (!r_.esperarConexaoDe.empty()) {
      std::unique_lock trava(d_.mutex);
      d_.mudou.wait_for(trava, std::chrono::seconds(5), [&] {
        for (const auto& e : d_.eventos)
          if (e.host == r_.esperarConexaoDe && e.oque == "connect") return true;
        return false;
      });
    }
    d_.anotar(id_, command);
    if (command.find("python3 --version") != std::string::npos) {
      if (r_.erroNaVersao) throw ssh::ErroSSH("ao ler a saída", "suporte@h:22", "Socket error\x1b");
      return r_.versao;
    }
    if (command.ends_with("|base64 -d|sh\"")) return r_.download;
    if (command.find("chmod") != std::string::npos) return "";
    return listagens_++ == 0 ? r_.listagem : r_.listagemFinal;
  }

 private:
  Diario& d_;
  int id_;
  Roteiro r_;
  int listagens_ = 0;
};

inline workflow::FabricaSessao Diario::fabrica() {
  return [this](const workflow::Destino& d) -> std::unique_ptr<ssh::SessaoRemota> {
    std::unique_lock trava(mutex);
    sessoes.push_back({d.host, d.user, d.senha, d.senhaRoot, d.port, {}, 0});
    const int id = static_cast<int>(sessoes.size()) - 1;
    trava.unlock();
    return std::make_unique<SessaoRoteirizada>(*this, id);
  };
}

}  // namespace apoio
