#include "UTILITARIOS/workflow/procedimento.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <stdexcept>

#include "UTILITARIOS/api/verificar_ip.hpp"
#include "UTILITARIOS/auditoria.hpp"
#include "UTILITARIOS/console.hpp"
#include "UTILITARIOS/encerramento.hpp"
#include "UTILITARIOS/falhas.hpp"
#include "UTILITARIOS/implantacao.hpp"
#include "UTILITARIOS/textos.hpp"
#include "UTILITARIOS/workflow/comandos_remotos.hpp"

namespace workflow {
namespace {

using console::GREEN;
using console::RESET;
using console::YELLOW;

// A port is a whole number, or a decimal text with optional blanks and sign,
// of any size: one that no TCP port has only fails the connection, so that
// the run goes on with the next machine.
textos::Inteiro lerPorta(const api::Valor& valor) {
  std::optional<textos::Inteiro> porta;
  // Only a number's JSON text starts with a digit or a minus sign.
  const bool numero = !valor.ehTexto() && valor.texto().find_first_of("-0123456789") == 0;
  if (valor.ehTexto() || numero) porta = textos::lerInteiro(valor.texto());
  if (!porta && numero) {
    // A number written with a fraction or exponent counts when it is whole.
    const double inteiro = valor.json().get<double>();
    char digitos[400];
    if (std::isfinite(inteiro) && std::trunc(inteiro) == inteiro &&
        std::snprintf(digitos, sizeof digitos, "%.0f", inteiro) > 0)
      porta = textos::lerInteiro(digitos);
  }
  if (porta) return *porta;
  throw falhas::Falha("registro de máquina inválido",
                      "porta " + (valor.ehTexto() ? "\"" + valor.texto() + "\"" : valor.texto()) +
                          " não é um número inteiro");
}

// The TCP port a port number names; 0, which no connect accepts, when it is
// too large or negative.
int portaTcp(const textos::Inteiro& porta) {
  return porta.negativo || porta.digitos.size() > 5 ? 0 : std::stoi(porta.digitos);
}

bool contem(std::string_view texto, std::string_view trecho) {
  return texto.find(trecho) != std::string_view::npos;
}

// The version goes into the download address, so only a version's own
// characters, and not too many of them, are taken; anything else (an error
// text, a stray line) leaves it empty, and the repository answers 404.
constexpr std::size_t kVersaoMaxima = 32;

std::string soVersao(std::string_view texto) {
  if (texto.size() > kVersaoMaxima) return {};
  for (char c : texto)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '+' && c != '-' &&
        c != '_')
      return {};
  return std::string(texto);
}

// Where machine n's session goes, when it may be opened at all: only a
// public address with a port in range is ever contacted.
std::optional<Destino> destinoContatavel(const RegistroMaquina& maquina) {
  int port;
  try {
    port = portaTcp(lerPorta(maquina.porta));
  } catch (const std::exception&) {
    return std::nullopt;  // the run ends at this machine's turn
  }
  if (port < 1 || port > 65535 || api::verificarIp(maquina.ip.texto()) != api::kPublico)
    return std::nullopt;
  return Destino{maquina.ip.texto(), port, maquina.usuario.texto(), maquina.senha.texto(),
                 maquina.senhaRoot.texto()};
}

// "host:port" as the report writes it; throws for a port that is no whole
// number.
std::string destinoDe(const RegistroMaquina& maquina) {
  const textos::Inteiro porta = lerPorta(maquina.porta);
  return maquina.ip.texto() + ":" + (porta.negativo ? "-" : "") + porta.digitos;
}

// Machine n's session; or null, with the outcome that ends its treatment
// and, in `causa`, why the connection failed, for the audit record. The
// half-made session is dropped; its owner releases what it holds.
std::unique_ptr<ssh::SessaoRemota> abrirSessao(std::ostream& saida, ConexoesAntecipadas& conexoes,
                                               std::size_t n, const std::string& destinoVisivel,
                                               Desfecho& recusa, std::string& causa) {
  try {
    return conexoes.sessao(n);
  } catch (const ssh::ChaveDoServidorDiferente&) {
    console::linha(saida, {YELLOW,
                           "Chave do servidor " + destinoVisivel +
                               " difere da registrada em known_hosts. Não é possível atualizar.",
                           RESET});
    recusa = Desfecho::chaveDiferente;
  } catch (const std::exception& e) {
    const auto* ssh = dynamic_cast<const ssh::ErroSSH*>(&e);
    causa = ssh != nullptr ? ssh->causa() : e.what();
    console::linha(saida, {YELLOW, "Erro ao conectar em " + destinoVisivel + ".", RESET});
    recusa = Desfecho::erroConectar;
  }
  return nullptr;
}

// What the first listing may say of a machine, in the order it is read: su
// and ls in Portuguese, as the session asks for, or in English where the
// machine has no Portuguese messages.
struct Veredicto {
  std::string_view portugues, ingles, linha;
  Desfecho desfecho;
};
constexpr Veredicto kVeredictosDaListagem[] = {
    {"Falha de autenticação", "Authentication failure", "Falha de autenticação.",
     Desfecho::falhaAutenticacao},
    {"Arquivo ou diretório inexistente", "No such file or directory",
     "Arquivo ou diretório inexistente.", Desfecho::diretorioInexistente},
};

// The outcome that ends a machine's treatment at its first listing: no
// output at all, a refused root password, no scripts folder.
std::optional<Desfecho> veredicto(std::ostream& saida, const std::string& lista) {
  if (textos::aparar(lista).empty()) {
    console::linha(saida, {YELLOW, "Problema na execução dos comandos SSH.", RESET});
    return Desfecho::problemaExecucao;
  }
  for (const Veredicto& v : kVeredictosDaListagem) {
    if (contem(lista, v.portugues) || contem(lista, v.ingles)) {
      console::linha(saida, {YELLOW, v.linha, RESET});
      return v.desfecho;
    }
  }
  return std::nullopt;
}

// The report of the download, the chmod and the last listing. Only a
// download output that starts with the marker says the script was replaced:
// whatever else came first (a shell's complaint, nothing at all) is a
// failure, and the old script is still there. The chmod's output is not
// reported.
Desfecho relatarTroca(std::ostream& saida, const std::vector<std::string>& saidas) {
  std::string download = std::string(textos::aparar(saidas[0]));
  const bool baixado = download.starts_with(comandos::kDownloadConcluido);
  if (baixado)
    download = std::string(
        textos::aparar(std::string_view(download).substr(comandos::kDownloadConcluido.size())));
  console::linha(saida, {"Informações de Download:", textos::visivel(download)});
  if (!baixado)
    console::linha(saida, {YELLOW, "Falha no download. O script anterior foi mantido.", RESET});
  console::linha(saida, {"Informações de Permissão:", textos::visivel(saidas[2])});
  return baixado ? Desfecho::atualizada : Desfecho::falhaDownload;
}

// Runs the inner commands as root, in order. The line of an SSH failure that
// ends the run names the target's user and host, which come from the API.
std::vector<std::string> executarComoRoot(std::ostream& saida, ssh::SessaoRemota& sessao,
                                          const std::vector<std::string>& internos) {
  std::vector<std::string> linhas;
  for (const std::string& interno : internos) linhas.push_back(comandos::comoRoot(interno));
  try {
    return sessao.execute_commands(linhas);
  } catch (const ssh::ErroSSH& e) {
    console::linha(saida, {"SSH error: " + textos::visivelNumaLinha(e.what())});
    throw;
  }
}

// Machine n, at `destino` ("host:port"). `causa`: why the connection
// failed, for the audit record.
Desfecho atualizarMaquina(std::ostream& saida, std::size_t n, const RegistroMaquina& maquina,
                          const std::string& destino, const std::string& nomeCodigo,
                          const std::string& pastaCodigo, ConexoesAntecipadas& conexoes,
                          std::string& causa) {
  // Values that are not texts take their JSON text.
  const std::string& host = maquina.ip.texto();
  const std::string& cliente = maquina.rotulo();

  // Texts from the API or the machine reach the terminal with their
  // control characters made visible; the API's stay on their line.
  const std::string destinoVisivel = textos::visivelNumaLinha(destino);

  console::linha(saida, {std::to_string(n), "Cliente: " + textos::visivelNumaLinha(cliente) +
                                                " | Atualizando " + destinoVisivel});

  if (api::verificarIp(host) != api::kPublico) {
    console::linha(saida, {YELLOW,
                           "IP " + textos::visivelNumaLinha(host) +
                               " não é um IP público. Não é possível atualizar.",
                           RESET});
    return Desfecho::ipNaoPublico;
  }

  Desfecho recusa{};
  const auto sessao = abrirSessao(saida, conexoes, n, destinoVisivel, recusa, causa);
  if (!sessao) return recusa;
  // `sessao` closes the session on every path out of the machine's treatment.
  // The version is asked first, with the listing: one round trip for both
  // where they are typed together. A pager on the listing would eat a line
  // typed after it; the version reads nothing and changes nothing, also on
  // a machine the listing then turns away.
  const std::string listaScriptsComando = comandos::listagem(nomeCodigo);
  const auto primeiras =
      executarComoRoot(saida, *sessao, {comandos::versaoPython(), listaScriptsComando});
  const std::string& listaScripts = primeiras[1];
  if (const auto desfecho = veredicto(saida, listaScripts)) return *desfecho;
  console::linha(saida, {"Lista de códigos encontrados:", textos::visivel(listaScripts)});

  const std::string versaoPython =
      soVersao(textos::aparar(textos::removerTodas(primeiras[0], "Python ")));
  const std::string comandoDownload = comandos::download(
      comandos::enderecoDownload(implantacao::kScriptsUrl, versaoPython, pastaCodigo));

  if (contem(listaScripts, nomeCodigo)) {
    console::linha(saida, {GREEN, "Código encontrado. Atualizando...", RESET});
  } else {
    console::linha(saida, {GREEN, "Código não encontrado. Baixando...", RESET});
  }
  // The download, the chmod and the last listing run whatever the download
  // printed: typed together, they cost one round trip.
  return relatarTroca(saida, executarComoRoot(saida, *sessao,
                                              {comandoDownload, comandos::permissao(nomeCodigo),
                                               listaScriptsComando}));
}

std::string contagem(std::size_t n, const std::string& singular, const std::string& plural) {
  return std::to_string(n) + " " + (n == 1 ? singular : plural);
}

// The causes, in the order the summary names them.
constexpr std::pair<Desfecho, std::string_view> kCausas[] = {
    {Desfecho::falhaDownload, "falha no download"},
    {Desfecho::ipNaoPublico, "IP não público"},
    {Desfecho::erroConectar, "erro ao conectar"},
    {Desfecho::chaveDiferente, "chave do servidor diferente"},
    {Desfecho::falhaAutenticacao, "falha de autenticação"},
    {Desfecho::diretorioInexistente, "diretório inexistente"},
    {Desfecho::problemaExecucao, "problema na execução"},
};

std::string_view nomeDe(Desfecho desfecho) {
  for (const auto& [d, causa] : kCausas)
    if (d == desfecho) return causa;
  return "atualizada";
}

struct LinhaDeResumo {
  std::string_view cor;
  std::string texto;
};

// The run's outcome at a glance: how many machines, how many updated, why
// the others were not, in a fixed order, and how many a cut run left
// untreated; the same text closes the audit record.
LinhaDeResumo resumo(const std::vector<Desfecho>& desfechos, std::size_t total) {
  if (total == 0) return {YELLOW, "Resumo: nenhuma máquina selecionada."};
  const auto quantos = [&](Desfecho d) {
    return static_cast<std::size_t>(std::count(desfechos.begin(), desfechos.end(), d));
  };
  const std::size_t atualizadas = quantos(Desfecho::atualizada);
  std::string texto = "Resumo: " + contagem(total, "máquina", "máquinas") + ", " +
                      contagem(atualizadas, "atualizada", "atualizadas");
  if (desfechos.size() > atualizadas) {
    std::string causas;
    for (const auto& [desfecho, causa] : kCausas)
      if (const std::size_t k = quantos(desfecho))
        causas += (causas.empty() ? "" : ", ") + std::to_string(k) + " " + std::string(causa);
    texto += ", " + contagem(desfechos.size() - atualizadas, "não atualizada", "não atualizadas") +
             " (" + causas + ")";
  }
  if (total > desfechos.size())
    texto += ", " + contagem(total - desfechos.size(), "não tratada", "não tratadas") +
             " (execução interrompida)";
  return {atualizadas == total ? GREEN : YELLOW, texto + "."};
}

// A download line longer than a terminal takes would be cut by the remote
// terminal: dash would then run nothing and say nothing. Refused before any
// machine is touched.
void conferirTamanho(const std::string& pastaCodigo) {
  const std::string maiorVersao(kVersaoMaxima, '9');
  const std::size_t tamanho =
      comandos::comoRoot(comandos::download(comandos::enderecoDownload(implantacao::kScriptsUrl,
                                                                       maiorVersao, pastaCodigo)))
          .size();
  if (tamanho > comandos::kLinhaMaxima)
    throw falhas::Falha("caminho do script longo demais",
                        "o comando de download de " + pastaCodigo + " teria " +
                            std::to_string(tamanho) + " bytes, e um terminal aceita até " +
                            std::to_string(comandos::kLinhaMaxima),
                        "ao conferir o caminho do script");
}

// Machine n's "host:port"; a port that is no whole number ends the run here.
std::string lerDestino(std::size_t n, const RegistroMaquina& maquina) {
  return falhas::naEtapa("ao ler os dados da máquina " + std::to_string(n),
                         [&] { return destinoDe(maquina); });
}

}  // namespace

void atualizarMaquinas(const std::vector<const RegistroMaquina*>& vms_selecionadas,
                       const std::string& nomeCodigo, const std::string& pastaCodigo,
                       const FabricaSessao& fabrica, std::ostream& saida,
                       const std::function<void(std::string_view)>& auditar,
                       std::size_t antecipacao) {
  if (!vms_selecionadas.empty()) conferirTamanho(pastaCodigo);
  std::vector<std::optional<Destino>> destinos;
  for (const RegistroMaquina* maquina : vms_selecionadas)
    destinos.push_back(destinoContatavel(*maquina));
  ConexoesAntecipadas conexoes(std::move(destinos), fabrica, antecipacao);
  const std::size_t total = vms_selecionadas.size();
  std::vector<Desfecho> desfechos;
  try {
    for (std::size_t n = 0; n < total; ++n) {
      const auto [cor, texto] = resumo(desfechos, total);
      encerramento::resumoSeInterrompida(saida, cor, texto);
      const RegistroMaquina& maquina = *vms_selecionadas[n];
      const std::string destino = lerDestino(n, maquina);
      std::string causa;
      desfechos.push_back(
          falhas::naEtapa("ao tratar a máquina " + std::to_string(n) + " (" + destino + ")", [&] {
            return atualizarMaquina(saida, n, maquina, destino, nomeCodigo, pastaCodigo, conexoes,
                                    causa);
          }));
      auditar("máquina " + std::to_string(n) + ": cliente " + auditoria::campo(maquina.rotulo()) +
              ", " + auditoria::campo(destino) + ": " + std::string(nomeDe(desfechos.back())) +
              (causa.empty() ? "" : " (" + auditoria::campo(causa) + ")"));
    }
  } catch (...) {
    // The account of a run cut here: what was done, and what was not.
    try {
      const auto [cor, texto] = resumo(desfechos, total);
      encerramento::escreverResumo(saida, cor, texto);
    } catch (const std::exception&) {
      // The report itself is lost: the failure that came first is told.
    }
    throw;
  }
  const auto [cor, texto] = resumo(desfechos, total);
  encerramento::escreverResumo(saida, cor, texto);
}

void listarMaquinas(const std::vector<const RegistroMaquina*>& vms_selecionadas,
                    const std::string& pastaCodigo, std::ostream& saida) {
  if (vms_selecionadas.empty()) {
    encerramento::escreverResumo(saida, YELLOW, "Resumo: nenhuma máquina selecionada.");
    return;
  }
  conferirTamanho(pastaCodigo);
  std::size_t publicos = 0;
  for (std::size_t n = 0; n < vms_selecionadas.size(); ++n) {
    const RegistroMaquina& maquina = *vms_selecionadas[n];
    console::linha(
        saida, {std::to_string(n), "Cliente: " + textos::visivelNumaLinha(maquina.rotulo()) +
                                       " | " + textos::visivelNumaLinha(lerDestino(n, maquina))});
    if (api::verificarIp(maquina.ip.texto()) == api::kPublico) {
      ++publicos;
    } else {
      console::linha(saida, {YELLOW,
                             "IP " + textos::visivelNumaLinha(maquina.ip.texto()) +
                                 " não é um IP público. Não é possível atualizar.",
                             RESET});
    }
  }
  encerramento::escreverResumo(
      saida, YELLOW,
      "Resumo: " +
          contagem(vms_selecionadas.size(), "máquina selecionada", "máquinas selecionadas") + ", " +
          std::to_string(publicos) + " com IP público. Nenhuma foi contatada.");
}

}  // namespace workflow
