#include "UTILITARIOS/workflow/antecipacao.hpp"

#include <arpa/inet.h>

#include <stdexcept>
#include <system_error>
#include <utility>

namespace workflow {
namespace {

std::unique_ptr<ssh::SessaoRemota> conectar(const FabricaSessao& fabrica, const Destino& destino) {
  auto sessao = fabrica(destino);
  sessao->connect();
  return sessao;
}

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

std::unique_ptr<ssh::SessaoRemota> ConexoesAntecipadas::sessao(std::size_t n) {
  if (!destinos_.at(n)) throw std::out_of_range("máquina que não pode ser contatada");
  const Destino& destino = *destinos_[n];
  for (std::size_t k = n + 1; k < destinos_.size() && k <= n + profundidade_; ++k) {
    if (iniciadas_[k] || !destinos_[k] || mesmaMaquinaAntes(k, n)) continue;
    Preparo preparo{fabrica_(*destinos_[k]), nullptr, {}};
    ssh::SessaoRemota& sessao = *preparo.sessao;
    try {
      auto& lugar = preparadas_.emplace(k, std::move(preparo)).first->second;
      lugar.trabalhador = std::thread([&sessao, &falha = lugar.falha] {
        try {
          sessao.connect();
        } catch (...) {
          falha = std::current_exception();
        }
      });
    } catch (const std::system_error&) {
      preparadas_.erase(k);
      break;  // no thread to be had: the machine connects at its own turn
    }
    iniciadas_[k] = true;
  }
  const auto preparada = preparadas_.find(n);
  if (preparada == preparadas_.end()) return conectar(fabrica_, destino);
  preparada->second.trabalhador.join();  // the worker writes into the node
  Preparo preparo = std::move(preparada->second);
  preparadas_.erase(preparada);
  if (preparo.falha) std::rethrow_exception(preparo.falha);
  // An idle limit (TMOUT, ClientAlive) may have ended a shell that waited
  // for its turn: the machine then connects now, as in strict sequence.
  if (preparo.sessao->is_alive()) return std::move(preparo.sessao);
  preparo.sessao.reset();
  return conectar(fabrica_, destino);
}

}  // namespace workflow
