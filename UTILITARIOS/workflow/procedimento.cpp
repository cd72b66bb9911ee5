#include "UTILITARIOS/workflow/procedimento.hpp"

#include <cctype>
#include <charconv>
#include <cmath>
#include <iostream>
#include <optional>
#include <stdexcept>

#include "UTILITARIOS/api/verificar_ip.hpp"
#include "UTILITARIOS/console.hpp"
#include "UTILITARIOS/falhas.hpp"
#include "UTILITARIOS/implantacao.hpp"
#include "UTILITARIOS/workflow/comandos_remotos.hpp"

namespace workflow {
namespace {

using console::GREEN;
using console::RESET;
using console::YELLOW;

class ErroRegistro : public falhas::Falha {
 public:
  explicit ErroRegistro(const std::string& mensagem) : Falha("registro de máquina inválido", mensagem) {}
};

constexpr std::string_view kEspacos = " \t\n\r\v\f";

std::string_view aparado(std::string_view texto) {
  const auto inicio = texto.find_first_not_of(kEspacos);
  if (inicio == std::string_view::npos) return {};
  return texto.substr(inicio, texto.find_last_not_of(kEspacos) - inicio + 1);
}

int inteiro(std::string_view texto, int& valor) {
  const auto [fim, erro] = std::from_chars(texto.data(), texto.data() + texto.size(), valor);
  return !texto.empty() && erro == std::errc() && fim == texto.data() + texto.size();
}

// A port is a whole number, or a decimal text with optional blanks and sign.
int lerPorta(const api::Valor& valor) {
  int porta = 0;
  if (valor.ehTexto()) {
    std::string_view texto = aparado(valor.texto());
    if (!texto.empty() && texto.front() == '+') texto.remove_prefix(1);
    if (inteiro(texto, porta)) return porta;
  } else if (valor.tipo() == api::TipoJson::numero) {
    if (inteiro(valor.texto(), porta)) return porta;
    // A number written with a fraction or exponent counts when it is whole.
    const double numero = valor.json().get<double>();
    if (std::trunc(numero) == numero && std::abs(numero) < 1e9) return static_cast<int>(numero);
  }
  throw ErroRegistro("porta " + (valor.ehTexto() ? "\"" + valor.texto() + "\"" : valor.texto()) +
                     " não é um número inteiro");
}

std::string removerTodos(std::string texto, std::string_view trecho) {
  for (auto pos = texto.find(trecho); pos != std::string::npos; pos = texto.find(trecho, pos))
    texto.erase(pos, trecho.size());
  return texto;
}

bool contem(std::string_view texto, std::string_view trecho) {
  return texto.find(trecho) != std::string_view::npos;
}

// The version goes into the download address, so only a version's own
// characters are taken; anything else (an error text, a stray line) leaves
// it empty, and the repository answers 404.
std::string soVersao(std::string_view texto) {
  for (char c : texto)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '+' && c != '-' &&
        c != '_')
      return {};
  return std::string(texto);
}

// Closes the session on every path out of the machine's treatment.
struct Fechamento {
  ssh::SessaoRemota& sessao;
  ~Fechamento() {
    try {
      sessao.close();
    } catch (...) {
      // Closing is best effort; a failure here must not hide the real one.
    }
  }
};

// Machine n's target when its session may be opened ahead of its turn: only
// a public address with a port in range is ever contacted.
std::optional<Destino> destinoAntecipavel(const RegistroMaquina& maquina) {
  int port;
  try {
    port = lerPorta(maquina.porta);
  } catch (const std::exception&) {
    return std::nullopt;  // the run ends at this machine's turn
  }
  if (port < 1 || port > 65535 || api::verificarIp(maquina.ip.texto()) != api::kPublico)
    return std::nullopt;
  return Destino{maquina.ip.texto(), port, maquina.usuario.texto(), maquina.senha.texto()};
}

void atualizarMaquina(std::size_t n, const RegistroMaquina& maquina, const std::string& nomeCodigo,
                      const std::string& pastaCodigo, ConexoesAntecipadas& conexoes) {
  falhas::definirEtapa("ao ler os dados da máquina " + std::to_string(n));
  // Values that are not texts take their JSON text.
  const std::string& host = maquina.ip.texto();
  const int port = lerPorta(maquina.porta);
  const std::string& user = maquina.usuario.texto();
  const std::string& pwd = maquina.senha.texto();
  const std::string& pwdRoot = maquina.senhaRoot.texto();
  const std::string& cliente = maquina.rotulo();
  const std::string destino = host + ":" + std::to_string(port);
  falhas::definirEtapa("ao tratar a máquina " + std::to_string(n) + " (" + destino + ")");

  // Texts from the API or the machine reach the terminal with their
  // control characters made visible, and never with the typed password.
  const std::string destinoVisivel = console::visivel(destino);
  const auto mostrar = [&](const std::string& saida) {
    return console::visivel(comandos::mascararSenha(saida, pwdRoot));
  };

  console::linha({std::to_string(n),
                  "Cliente: " + console::visivel(cliente) + " | Atualizando " + destinoVisivel});

  if (api::verificarIp(host) != api::kPublico) {
    console::linha(
        {YELLOW, "IP " + console::visivel(host) + " não é um IP público. Não é possível atualizar.",
         RESET});
    return;
  }

  std::unique_ptr<ssh::SessaoRemota> recv;
  try {
    if (port < 1 || port > 65535) throw std::out_of_range("porta fora do intervalo");
    recv = conexoes.sessao(n, {host, port, user, pwd});
  } catch (const std::exception&) {
    // The half-made session is dropped; its owner releases what it holds.
    console::linha({YELLOW, "Erro ao conectar em " + destinoVisivel + ".", RESET});
    return;
  }
  Fechamento fechamento{*recv};
  const auto executar = [&](const std::string& interno) {
    return recv->execute_command(comandos::comoRoot(pwdRoot, interno));
  };

  const std::string listaScriptsComando = comandos::listagem(nomeCodigo);
  const std::string listaScripts = executar(listaScriptsComando);
  if (aparado(listaScripts).empty()) {
    console::linha({YELLOW, "Problema na execução dos comandos SSH.", RESET});
    return;
  }
  if (contem(listaScripts, "Falha de autenticação")) {
    console::linha({YELLOW, "Falha de autenticação.", RESET});
    return;
  }
  if (contem(listaScripts, "Arquivo ou diretório inexistente")) {
    console::linha({YELLOW, "Arquivo ou diretório inexistente.", RESET});
    return;
  }
  console::linha({"Lista de códigos encontrados:", mostrar(listaScripts)});

  const std::string versaoPython =
      soVersao(aparado(removerTodos(executar(comandos::versaoPython()), "Python ")));
  const std::string comandoDownload = comandos::download(
      nomeCodigo, comandos::enderecoDownload(implantacao::kScriptsUrl, versaoPython, pastaCodigo));

  if (contem(listaScripts, nomeCodigo)) {
    console::linha({GREEN, "Código encontrado. Atualizando...", RESET});
  } else {
    console::linha({GREEN, "Código não encontrado. Baixando...", RESET});
  }
  std::string downloadCodigo = executar(comandoDownload);
  const auto falha = downloadCodigo.find(comandos::kFalhaDownload);
  if (falha != std::string::npos)
    downloadCodigo =
        std::string(aparado(downloadCodigo.erase(falha, comandos::kFalhaDownload.size())));
  console::linha({"Informações de Download:", mostrar(downloadCodigo)});
  if (falha != std::string::npos)
    console::linha({YELLOW, "Falha no download. O script anterior foi mantido.", RESET});

  const std::string permissaoCodigo = executar(comandos::permissao(nomeCodigo));
  (void)permissaoCodigo;  // its output is not reported

  const std::string infoCodigo = executar(listaScriptsComando);
  console::linha({"Informações de Permissão:", mostrar(infoCodigo)});
}

}  // namespace

void atualizarMaquinas(const std::vector<const RegistroMaquina*>& vms_selecionadas,
                       const std::string& nomeCodigo, const std::string& pastaCodigo,
                       const FabricaSessao& fabrica, std::size_t antecipacao) {
  std::vector<std::optional<Destino>> destinos;
  for (const RegistroMaquina* maquina : vms_selecionadas)
    destinos.push_back(antecipacao > 0 ? destinoAntecipavel(*maquina) : std::nullopt);
  ConexoesAntecipadas conexoes(std::move(destinos), fabrica, antecipacao);
  for (std::size_t n = 0; n < vms_selecionadas.size(); ++n)
    atualizarMaquina(n, *vms_selecionadas[n], nomeCodigo, pastaCodigo, conexoes);
  std::cout.flush();
}

}  // namespace workflow
