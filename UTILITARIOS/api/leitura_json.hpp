#pragma once

#include <cstdint>
#include <iosfwd>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

// Pieces shared by the streaming readers of the API's responses: the kind of
// a JSON value, the compact form in which the few kept values are held, and
// the translation of parse errors into texts that quote no input.
namespace api {

/// The kind of a JSON value as a reader met it; `ausente` when the member
/// was not there at all.
enum class TipoJson : std::uint8_t { ausente, nulo, booleano, numero, texto, array, objeto };

/// Portuguese name for diagnostics ("um objeto", "um texto", ...).
std::string_view nomeDoTipo(TipoJson tipo);

/// One JSON value as received, held compactly: a text as its characters, any
/// other value as its JSON text (numbers as the JSON library writes them,
/// arrays and objects with their members in the order received). Short
/// values need no allocation, which matters with hundreds of thousands of
/// machines.
class Valor {
 public:
  Valor() = default;  ///< null
  static Valor deTexto(std::string texto);
  /// `textoJson` must be the JSON text of a value of kind `tipo`.
  static Valor deJson(TipoJson tipo, std::string textoJson);

  TipoJson tipo() const { return tipo_; }
  bool ehTexto() const { return tipo_ == TipoJson::texto; }
  /// A text unchanged; any other value as its JSON text ("22", "null",
  /// "[1,2]"). This is how the tool shows and sends a value.
  const std::string& texto() const { return dados_; }
  /// The value as a JSON document (parsed again when it is not a text).
  nlohmann::json json() const;
  /// Null, false, zero, the empty text, the empty array and the empty object.
  bool vazio() const;
  /// True only for a text equal to `outro`.
  bool operator==(std::string_view outro) const { return ehTexto() && dados_ == outro; }

 private:
  std::string dados_ = "null";
  TipoJson tipo_ = TipoJson::nulo;
};

/// Writes one kept array or object as JSON text from SAX events, without
/// recursion: a value nested 100,000 levels deep costs heap, not stack.
class EscritorJson {
 public:
  /// Starts a value that opens with `[` (array) or `{` (object) into
  /// `*alvo`, which must stay valid until the value is complete.
  void iniciar(Valor* alvo, bool array);
  bool ativo() const { return !abertos_.empty(); }
  void chave(const std::string& nome);
  void escalar(std::string_view textoJson);
  void abrir(bool array);
  /// Closes the innermost container; true when the whole value is complete.
  bool fechar();

 private:
  struct Aberto {
    bool array;
    bool vazio;                                ///< no element written yet
    std::unordered_set<std::string> chaves{};  ///< an object's member names so far
  };
  void separar();
  Valor* alvo_ = nullptr;
  TipoJson tipo_ = TipoJson::nulo;
  std::string texto_;
  std::vector<Aberto> abertos_;
  bool aposChave_ = false;
  bool chaveRepetida_ = false;  ///< some object of the value repeats a member name
  std::size_t profundidade_ = 0;  ///< deepest nesting of the value
};

/// JSON text of scalars as the SAX events deliver them.
std::string textoJson(const std::string& texto);
std::string textoJson(double numero);

/// Base of the readers' SAX handlers: a parse error becomes JsonInvalido.
struct LeitorSax {
  bool binary(nlohmann::json::binary_t&) { return true; }
  [[noreturn]] bool parse_error(std::size_t posicao, const std::string& ultimoToken,
                                const nlohmann::detail::exception& erro);
};

/// What the login response holds for the client: the kind of the document
/// and, when it is an object, its member `token` (the last one if repeated).
struct RespostaLogin {
  TipoJson documento = TipoJson::ausente;
  bool temToken = false;
  Valor token;
};

/// Reads a login response body to its end; throws JsonInvalido when it is
/// not JSON.
RespostaLogin lerRespostaLogin(std::istream& corpo);

}  // namespace api
