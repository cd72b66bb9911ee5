#pragma once

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>

// A JSON value of the API's responses as the tool keeps, shows and sends it.
namespace api {

enum class TipoJson : std::uint8_t { nulo, booleano, numero, texto, array, objeto };

TipoJson tipoDe(const nlohmann::ordered_json& valor);

/// Portuguese name for diagnostics ("um objeto", "um texto", ...).
std::string_view nomeDoTipo(TipoJson tipo);

/// One value as received, held compactly: a text as its characters, any
/// other value as its JSON text (numbers as the JSON library writes them,
/// objects with their members in the order received). Short values need no
/// allocation, which matters with hundreds of thousands of machines.
class Valor {
 public:
  Valor() = default;  ///< null
  /// Never recurses: a value nested 100,000 levels deep costs heap, not stack.
  explicit Valor(const nlohmann::ordered_json& valor);
  static Valor deTexto(std::string texto);

  TipoJson tipo() const { return tipo_; }
  bool ehTexto() const { return tipo_ == TipoJson::texto; }
  /// A text unchanged; any other value as its JSON text ("22", "null",
  /// "[1,2]"). This is how the tool shows and sends a value.
  const std::string& texto() const { return dados_; }
  /// The value as a JSON document (parsed again when it is not a text).
  nlohmann::json json() const;
  /// True only for a text equal to `outro`.
  bool operator==(std::string_view outro) const { return ehTexto() && dados_ == outro; }

 private:
  std::string dados_ = "null";
  TipoJson tipo_ = TipoJson::nulo;
};

}  // namespace api
