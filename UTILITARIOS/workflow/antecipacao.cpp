#include "UTILITARIOS/workflow/antecipacao.hpp"

#include <arpa/inet.h>

#include <algorithm>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace workflow {
namespace {

// One machine, however its address is written ("3fff::20", "3fff:0::20").
std::string maquina(const Destino& destino) {
  unsigned char bytes[16];
  std::string chave = destino.host;
  for (int familia : {AF_INET, AF_INET6})
    if (::inet_pton(familia, destino.host.c_str(), bytes) == 1)
      chave.assign(reinterpret_cast<const char*>(bytes), familia == AF_INET ? 4 : 16);
  return chave + '/' + std::to_string(destino.port);
}

}  // namespace

ConexoesAntecipadas::ConexoesAntecipadas(std::vector<std::optional<Destino>> destinos,
                                         FabricaSessao fabrica, std::size_t profundidade)
    : destinos_(std::move(destinos)),
      fabrica_(std::move(fabrica)),
      profundidade_(profundidade),
      iniciadas_(destinos_.size(), false) {}

ConexoesAntecipadas::~ConexoesAntecipadas() {
  // Nobody will take these: a connect still waiting for a silent machine
  // must not hold the end of the run for its whole time-out.
  for (auto& [n, preparo] : preparadas_) preparo.sessao->interromper();
  for (auto& [n, preparo] : preparadas_) preparo.trabalhador.join();
}

bool ConexoesAntecipadas::mesmaMaquinaAntes(std::size_t k, std::size_t desde) const {
  for (std::size_t j = desde; j < k; ++j)
    if (destinos_[j] && maquina(*destinos_[j]) == maquina(*destinos_[k])) return true;
  return false;
}

std::size_t ConexoesAntecipadas::profundidade() const {
  if (profundidade_ == 0 || conexoesMedidas_ == 0 || maquinasMedidas_ == 0) return profundidade_;
  const auto conexao = conexoes_ / conexoesMedidas_;
  const auto maquina =
      std::max<Relogio::duration>(maquinas_ / maquinasMedidas_, std::chrono::milliseconds(1));
  const auto cobertas =
      static_cast<std::size_t>((conexao + maquina - Relogio::duration(1)) / maquina);
  return std::clamp<std::size_t>(cobertas + 1, 1, kProfundidadeMaxima);
}

std::unique_ptr<ssh::SessaoRemota> ConexoesAntecipadas::conectarAgora(const Destino& destino) {
  auto sessao = fabrica_(destino);
  const auto inicio = Relogio::now();
  sessao->connect();
  conexoes_ += Relogio::now() - inicio;
  ++conexoesMedidas_;
  return sessao;
}

std::unique_ptr<ssh::SessaoRemota> ConexoesAntecipadas::sessao(std::size_t n) {
  if (!destinos_.at(n)) throw std::out_of_range("máquina que não pode ser contatada");
  const Destino& destino = *destinos_[n];
  if (entregue_) {
    maquinas_ += Relogio::now() - *entregue_;
    ++maquinasMedidas_;
  }
  const auto sessaoEntregue = [&](std::unique_ptr<ssh::SessaoRemota> s) {
    entregue_ = Relogio::now();
    return s;
  };
  const std::size_t alcance = profundidade();
  for (std::size_t k = n + 1; k < destinos_.size() && k <= n + alcance; ++k) {
    if (iniciadas_[k] || !destinos_[k] || mesmaMaquinaAntes(k, n)) continue;
    Preparo preparo{fabrica_(*destinos_[k]), nullptr, {}, {}};
    ssh::SessaoRemota& sessao = *preparo.sessao;
    try {
      auto& lugar = preparadas_.emplace(k, std::move(preparo)).first->second;
      lugar.trabalhador = std::thread([&sessao, &lugar] {
        try {
          const auto inicio = Relogio::now();
          sessao.connect();
          lugar.duracao = Relogio::now() - inicio;
        } catch (...) {
          lugar.falha = std::current_exception();
        }
      });
    } catch (const std::system_error&) {
      preparadas_.erase(k);
      break;  // no thread to be had: the machine connects at its own turn
    }
    iniciadas_[k] = true;
  }
  const auto preparada = preparadas_.find(n);
  if (preparada == preparadas_.end()) return sessaoEntregue(conectarAgora(destino));
  preparada->second.trabalhador.join();  // the worker writes into the node
  Preparo preparo = std::move(preparada->second);
  preparadas_.erase(preparada);
  if (preparo.falha) std::rethrow_exception(preparo.falha);
  conexoes_ += preparo.duracao;
  ++conexoesMedidas_;
  // An idle limit (TMOUT, ClientAlive) may have ended a shell that waited
  // for its turn: the machine then connects now, as in strict sequence.
  if (preparo.sessao->is_alive()) return sessaoEntregue(std::move(preparo.sessao));
  preparo.sessao.reset();
  return sessaoEntregue(conectarAgora(destino));
}

}  // namespace workflow
