#include "UTILITARIOS/workflow/antecipacao.hpp"

#include <system_error>
#include <utility>

namespace workflow {
namespace {

std::unique_ptr<ssh::SessaoRemota> conectar(const FabricaSessao& fabrica, const Destino& destino) {
  auto sessao = fabrica(destino.host, destino.port, destino.user, destino.pwd);
  // A failed connect drops the half-made session without close(); its owner
  // releases what it holds.
  sessao->connect();
  return sessao;
}

}  // namespace

ConexoesAntecipadas::ConexoesAntecipadas(std::vector<std::optional<Destino>> destinos,
                                         FabricaSessao fabrica, std::size_t profundidade)
    : destinos_(std::move(destinos)), fabrica_(std::move(fabrica)), profundidade_(profundidade) {}

ConexoesAntecipadas::~ConexoesAntecipadas() {
  for (auto& [n, futuro] : preparadas_) {
    try {
      if (auto sessao = futuro.get()) sessao->close();
    } catch (...) {
      // A connect that failed for a machine never reached has nothing to report.
    }
  }
}

std::unique_ptr<ssh::SessaoRemota> ConexoesAntecipadas::sessao(std::size_t n,
                                                               const Destino& destino) {
  if (proxima_ <= n) proxima_ = n + 1;
  for (; proxima_ < destinos_.size() && proxima_ <= n + profundidade_; ++proxima_) {
    if (!destinos_[proxima_]) continue;
    try {
      // The worker gets its own copies: the loop owns everything else.
      preparadas_.emplace(proxima_, std::async(std::launch::async, conectar, fabrica_,
                                               *destinos_[proxima_]));
    } catch (const std::system_error&) {
      break;  // no thread to be had: the machine connects at its own turn
    }
  }
  const auto preparada = preparadas_.find(n);
  if (preparada == preparadas_.end()) return conectar(fabrica_, destino);
  auto futuro = std::move(preparada->second);
  preparadas_.erase(preparada);
  return futuro.get();
}

}  // namespace workflow
