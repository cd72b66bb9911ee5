// The "acesso" text of a machine entry ("ssh user@address -p port"): either
// the three parts the splitting rules give, or FalhaInventario; nothing else.
//
// The input is the text itself. An access list only ever carries valid
// UTF-8 (the JSON reader rejects anything else), so such texts are compared
// with a code-point reference; other bytes must still be handled safely, and
// their valid part is compared as well.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "UTILITARIOS/workflow/inventario.hpp"
#include "tests/apoio/texto_referencia.hpp"
#include "tests/fuzz/verificar.hpp"

namespace {

namespace ref = referencia;

const std::string kOnde = "cliente na posição 3 (numero 7), máquina na posição 2";

std::optional<workflow::Acesso> ler(std::string_view acesso) {
  try {
    return workflow::lerAcesso(acesso, kOnde);
  } catch (const workflow::FalhaInventario& erro) {
    verificar(std::string_view(erro.what()).starts_with(kOnde + ": "),
              "a falha não começa pelo lugar da entrada");
    return std::nullopt;
  }
}

std::optional<workflow::Acesso> esperado(std::string_view acesso) {
  const std::u32string texto = ref::decodificarTudo(acesso);
  const std::size_t arroba = texto.rfind(U'@');
  const std::u32string depois = arroba == std::u32string::npos ? texto : texto.substr(arroba + 1);
  const auto endereco = ref::palavras(depois);
  const auto todas = ref::palavras(texto);
  if (endereco.empty() || todas.size() < 2) return std::nullopt;
  const std::size_t opcao = depois.rfind(U"-p");
  workflow::Acesso r;
  r.endereco = ref::codificar(endereco.front());
  r.porta = ref::codificar(opcao == std::u32string::npos ? depois : depois.substr(opcao + 2));
  r.usuario = ref::codificar(todas[1].substr(0, todas[1].find(U'@')));
  return r;
}

bool iguais(const std::optional<workflow::Acesso>& a, const std::optional<workflow::Acesso>& b) {
  if (a.has_value() != b.has_value()) return false;
  return !a || (a->endereco == b->endereco && a->porta == b->porta && a->usuario == b->usuario);
}

bool dentro(std::string_view parte, std::string_view todo) {
  return todo.find(parte) != std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
  const std::string_view acesso(reinterpret_cast<const char*>(dados), tamanho);
  const auto obtido = ler(acesso);

  if (ref::utf8Valido(acesso)) {
    verificar(iguais(obtido, esperado(acesso)), "lerAcesso difere da referência");
  } else {
    // Rules that hold byte for byte, whatever the encoding.
    const std::size_t arroba = acesso.rfind('@');
    const std::string_view depois =
        arroba == std::string_view::npos ? acesso : acesso.substr(arroba + 1);
    if (obtido) {
      const std::size_t opcao = depois.rfind("-p");
      verificar(
          obtido->porta == (opcao == std::string_view::npos ? depois : depois.substr(opcao + 2)),
          "porta não é o texto após o último -p");
      verificar(!obtido->endereco.empty() && dentro(obtido->endereco, depois),
                "endereço fora do texto após o último @");
      verificar(obtido->usuario.find('@') == std::string::npos && dentro(obtido->usuario, acesso),
                "usuário com @ ou fora do texto");
    }
    // The same text without its stray bytes is valid UTF-8: compare it too.
    const std::string limpo = ref::codificar(ref::decodificarTudo(acesso));
    verificar(iguais(ler(limpo), esperado(limpo)), "lerAcesso difere da referência (parte válida)");
  }
  return 0;
}
