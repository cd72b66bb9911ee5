#pragma once

// The machine inventory written plainly over a fully parsed document, to be
// compared with the one the tool builds customer by customer.
#include <cstddef>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "UTILITARIOS/api/valor.hpp"
#include "UTILITARIOS/workflow/inventario.hpp"
#include "tests/apoio/texto_referencia.hpp"

namespace referencia {

// Ordered, so that objects keep their members in the order received, as the
// tool shows them; a repeated member keeps its first place and last value.
using json = nlohmann::ordered_json;

/// Groups as label and records, each record written as kind and text of its
/// six values; a failure has no groups.
struct Inventario {
  bool falhou = false;
  std::vector<std::pair<std::string, std::vector<std::string>>> grupos;
  bool operator==(const Inventario&) const = default;
};

// How the tool shows a value: a text as is, anything else as JSON text.
inline std::string textoDe(const json& v) {
  return v.is_string() ? v.get<std::string>() : v.dump();
}

template <class Json>
char tipoDe(const Json& v) {
  if (v.is_null()) return 'z';
  if (v.is_boolean()) return 'b';
  if (v.is_number()) return 'n';
  if (v.is_string()) return 's';
  return v.is_array() ? 'a' : 'o';
}

inline char tipoDe(const api::Valor& v) { return v.ehTexto() ? 's' : tipoDe(v.json()); }

// The length goes first, so that no value can pass for two.
inline void acrescentar(std::string& r, char tipo, const std::string& texto) {
  r += tipo;
  r += std::to_string(texto.size());
  r += ':';
  r += texto;
}

inline std::string registro(const std::vector<const json*>& valores) {
  std::string r;
  for (const json* v : valores) acrescentar(r, tipoDe(*v), textoDe(*v));
  return r;
}

inline std::string registro(const workflow::RegistroMaquina& m) {
  std::string r;
  for (const api::Valor* v : {&m.tipo, &m.ip, &m.porta, &m.usuario, &m.senha, &m.senhaRoot})
    acrescentar(r, tipoDe(*v), v->texto());
  return r;
}

/// Python's truth value: null, false, zero, and empty texts, arrays and
/// objects are false.
inline bool verdadeiro(const json& v) {
  if (v.is_null()) return false;
  if (v.is_boolean()) return v.get<bool>();
  if (v.is_number()) return v.get<double>() != 0.0;
  if (v.is_string()) return !v.get<std::string>().empty();
  return !v.empty();
}

/// Whether a value that is read is too large or too deep to keep: 16 bytes
/// for each value and member name, plus their bytes, past 64 KB; or more
/// than 64 nested containers.
inline bool excede(const json& v) {
  std::size_t custo = 0;
  const auto medir = [&](const auto& eu, const json& x, std::size_t nivel) -> bool {
    custo += 16 + (x.is_string() ? x.get_ref<const std::string&>().size() : 0);
    if (x.is_structured() && nivel > 64) return true;
    if (x.is_object())
      for (const auto& [chave, valor] : x.items())
        custo += 16 + chave.size();
    if (x.is_structured())
      for (const json& filho : x)
        if (eu(eu, filho, nivel + 1)) return true;
    return custo > (std::size_t{64} << 10);
  };
  return medir(medir, v, 1);
}

// The member `k` of `o` as read: absent, or a failure when it is too large.
inline bool excedeMembro(const json& o, const char* k) { return o.contains(k) && excede(o[k]); }

inline Inventario inventario(const json& doc) {
  const Inventario falha{true, {}};
  if (!doc.is_array()) return falha;
  std::vector<std::pair<std::string, std::string>> discovery;
  for (const json& c : doc) {
    if (!c.is_object() || !c.contains("numero") || excedeMembro(c, "numero")) return falha;
    if (!c.contains("produto") || !c["produto"].is_array() || c["produto"].empty()) return falha;
    const json& p0 = c["produto"][0];
    if (!p0.is_object() || excedeMembro(p0, "nome")) return falha;
    const std::string nome = p0.contains("nome") ? textoDe(p0["nome"]) : "N/A";
    if (!p0.contains("maquinas") || !p0["maquinas"].is_array()) return falha;
    const std::string rotulo = textoDe(c["numero"]) + " - " + nome;
    for (const json& m : p0["maquinas"]) {
      if (!m.is_object() || !m.contains("tipo") || excede(m["tipo"])) return falha;
      if (m["tipo"] == "database" || m["tipo"] == "outro") continue;
      for (const char* k : {"ip", "sshPort", "user", "senhaVm", "senhaRoot", "acesso"})
        if (excedeMembro(m, k)) return falha;
      bool completa = true;
      for (const char* k : {"ip", "sshPort", "user", "senhaVm", "senhaRoot"})
        completa = completa && m.contains(k);
      if (completa) {
        discovery.emplace_back(rotulo, registro({&m["tipo"], &m["ip"], &m["sshPort"], &m["user"],
                                                 &m["senhaVm"], &m["senhaRoot"]}));
        continue;
      }
      if (m.size() <= 4) continue;
      bool usavel = true;
      for (const char* k : {"acesso", "senhaVm", "senhaRoot"})
        usavel = usavel && m.contains(k) && verdadeiro(m[k]);
      if (!usavel) continue;
      if (!m["acesso"].is_string()) return falha;
      const std::u32string acesso = decodificarTudo(m["acesso"].get<std::string>());
      const std::size_t arroba = acesso.rfind(U'@');
      const std::u32string depois =
          arroba == std::u32string::npos ? acesso : acesso.substr(arroba + 1);
      const auto pe = palavras(depois);
      const auto pa = palavras(acesso);
      if (pe.empty() || pa.size() < 2) return falha;
      const std::size_t opcao = depois.rfind(U"-p");
      const json ip = codificar(pe[0]);
      const json porta =
          codificar(opcao == std::u32string::npos ? depois : depois.substr(opcao + 2));
      const json usuario = codificar(pa[1].substr(0, pa[1].find(U'@')));
      discovery.emplace_back(
          rotulo, registro({&m["tipo"], &ip, &porta, &usuario, &m["senhaVm"], &m["senhaRoot"]}));
    }
  }
  Inventario r;
  std::map<std::string, std::size_t> indice;
  for (auto& [rotulo, texto] : discovery) {
    auto [it, novo] = indice.try_emplace(rotulo, r.grupos.size());
    if (novo) r.grupos.push_back({rotulo, {}});
    r.grupos[it->second].second.push_back(texto);
  }
  return r;
}

}  // namespace referencia
