#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>

// A JSON value of the API's responses as the tool keeps, shows and sends it.
namespace api {

/// Portuguese name of the value's type for diagnostics ("um objeto", "um
/// texto", ...).
std::string_view nomeDoTipo(const nlohmann::ordered_json& valor);

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

  bool ehTexto() const { return ehTexto_; }
  /// A text unchanged; any other value as its JSON text ("22", "null",
  /// "[1,2]"). This is how the tool shows and sends a value.
  const std::string& texto() const { return dados_; }
  /// The value as a JSON document (parsed again when it is not a text), of
  /// the type received.
  nlohmann::json json() const;
  /// True only for a text equal to `outro`.
  bool operator==(std::string_view outro) const { return ehTexto() && dados_ == outro; }

 private:
  std::string dados_ = "null";
  bool ehTexto_ = false;
};

}  // namespace api
