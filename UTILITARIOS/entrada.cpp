#include "UTILITARIOS/entrada.hpp"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "UTILITARIOS/console.hpp"
#include "UTILITARIOS/encerramento.hpp"
#include "UTILITARIOS/falhas.hpp"
#include "UTILITARIOS/implantacao.hpp"
#include "UTILITARIOS/textos.hpp"
#include "UTILITARIOS/workflow/atualizacao.hpp"

namespace entrada {
namespace {
constexpr int kArgumentosEsperados = 5;  // program name and the four arguments

[[noreturn]] void falhaDeProtecao(const char* chamada) {
  throw falhas::Falha("processo desprotegido",
                      std::string(chamada) + " falhou (" + std::strerror(errno) + ")");
}

// Makes the process non-dumpable (no core file, no ptrace by the same
// user), with a core size limit of 0, and removes SSLKEYLOGFILE before
// libcurl starts; throws falhas::Falha when the system refuses.
void protegerProcesso() {
  // The process holds the operator's password, the token and every
  // machine's passwords: no core file may hold them, and no debugger of the
  // same user may read them.
  if (prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) != 0) falhaDeProtecao("prctl(PR_SET_DUMPABLE)");
  const rlimit semCore{0, 0};
  if (setrlimit(RLIMIT_CORE, &semCore) != 0) falhaDeProtecao("setrlimit(RLIMIT_CORE)");
  // libcurl (and GnuTLS, loaded with it) write every TLS session's keys to
  // the file this names; it is read when libcurl starts.
  if (unsetenv("SSLKEYLOGFILE") != 0) falhaDeProtecao("unsetenv(SSLKEYLOGFILE)");
}

// The version report: the rights notice, then the program name as invoked
// (every "./" replaced by a blank, made visible), two blanks and the version.
void get_version(const std::string& programa) {
  console::linha(std::cout, {implantacao::kAvisoDireitos});
  std::cout << textos::visivel(textos::substituirTodas(programa, "./", " ")) << "  "
            << implantacao::VERSION << '\n';
}
}  // namespace

int executar(int argc, const char* const* argv, const workflow::Ajustes& ajustes) {
  console::lerAmbiente();
  // Before any thread exists, so that every thread leaves the signals to it.
  encerramento::vigiar();
  if (argc != kArgumentosEsperados) {
    std::cout << "Erro crítico -- Contactar Zelvo soluções em: " << implantacao::kSuporteEmail
              << " ou " << implantacao::kSuporteTelefone << '\n';
    std::cout.flush();
    std::cerr << "uso: atualizacao_em_massa {atualizarEmMassa|listar|version} <1|2> "
                 "<tipo de cliente> <caminho/do/script.py>\n";
    return 1;
  }
  const workflow::Argumentos argumentos{argv[1], argv[2], argv[3], argv[4]};
  const std::string& mode = argumentos.mode;
  try {
    protegerProcesso();
    // A closed standard output would be taken by the first socket opened,
    // and the report would be written into it.
    if (fcntl(STDOUT_FILENO, F_GETFD) < 0)
      throw falhas::Falha("relatório perdido", "a saída padrão está fechada");
    if (mode == "atualizarEmMassa" || mode == "listar") {
      workflow::atualizarEmMassa(argumentos, std::cin, std::cout, ajustes);
    } else if (mode == "version") {
      get_version(argv[0]);
    } else {
      console::linha(std::cout, {"Modo de execução não identificado."});
    }
    falhas::naEtapa("ao fechar o relatório", [] {
      std::cout.flush();
      console::verificarSaida(std::cout);
    });
    encerramento::fechar("regular");
  } catch (const std::exception& erro) {
    if (dynamic_cast<const console::SaidaFechada*>(&erro) != nullptr)
      encerramento::terminarPorSaidaFechada();
    falhas::relatarFalhaFatal(erro, std::cerr);
    encerramento::fechar(falhas::descrever(&erro));
    return 1;
  } catch (...) {
    falhas::relatarFalhaDesconhecida(std::cerr);
    encerramento::fechar(falhas::descrever(nullptr));
    return 1;
  }
  std::cout.flush();
  return 0;
}

}  // namespace entrada
