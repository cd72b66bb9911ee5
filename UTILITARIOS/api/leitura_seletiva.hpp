#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <limits>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A JSON reader that keeps only the parts of a document the tool reads.
// Everything else is skipped as it is parsed and never stored, so that a
// hostile body (millions of nested empty arrays in a member nobody reads)
// costs no memory beyond the parser's own bit per open level.
namespace api {

/// What the reader keeps of one value. A value whose kind is not the one
/// expected is kept as an empty container of its own kind (objects and
/// arrays) or as it is (scalars): what it is, not what it holds, is what a
/// diagnostic tells.
struct Molde {
  enum class Forma { inteiro, objeto, array };
  Forma forma = Forma::inteiro;  ///< inteiro: the whole value, as received
  /// objeto: the members kept, each with its own Molde; the others are
  /// skipped, except that up to `membrosContados` of them are kept as null,
  /// so that the object's size still tells whether it had that many.
  std::vector<std::pair<std::string_view, const Molde*>> membros;
  std::size_t membrosContados = 0;
  /// array: the Molde of each element, and how many leading elements are
  /// kept (the later ones are skipped).
  const Molde* elemento = nullptr;
  std::size_t elementosMantidos = std::numeric_limits<std::size_t>::max();
};

/// A value kept whole (Forma::inteiro) costs 16 bytes for each value and
/// each member name in it, plus the bytes of its texts and names; past kCustoMaximo, or nested
/// deeper than kProfundidadeMaxima containers, it is not kept: in its place the reader leaves a
/// mark that excesso() recognises, so that the caller names the member as a shape error. A hostile
/// body thus costs no more memory and no deeper recursion than this, whatever it sends.
inline constexpr std::size_t kCustoMaximo = std::size_t{64} << 10;
inline constexpr std::size_t kProfundidadeMaxima = 64;
enum class Excesso { nenhum, tamanho, profundidade };
Excesso excesso(const nlohmann::ordered_json& valor);
/// How a diagnostic says it: "passa de 64 KB", "tem mais de 64 níveis de
/// aninhamento"; empty for Excesso::nenhum.
std::string textoDoExcesso(Excesso excesso);

/// Called with each element of a top-level array as soon as it is complete;
/// the element is dropped afterwards.
using PorElemento = std::function<void(nlohmann::ordered_json& elemento)>;

/// Parses the whole of `entrada` and returns what `molde` keeps of it. With
/// `porElemento`, the elements of a top-level array are handed to it instead
/// of kept, and that array comes back empty. Throws nlohmann's parse_error
/// when the text is not JSON, or its out_of_range for a number no double
/// holds (possibly after some elements were handed on). Never recurses on
/// nesting.
nlohmann::ordered_json lerSeletivo(std::istream& entrada, const Molde& molde,
                                   const PorElemento& porElemento = {});

}  // namespace api
