// A value of the API's responses as the tool shows and sends it.
#include "UTILITARIOS/api/valor.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

namespace {

using nlohmann::ordered_json;

TEST(Valor, TextoComoRecebidoEDocumentoDeVolta) {
  struct Caso {
    std::string json;
    std::string texto;
    api::TipoJson tipo;
  };
  const std::string fundo = std::string(100000, '[') + "1" + std::string(100000, ']');
  for (const Caso& k : {
           Caso{R"("Hospital")", "Hospital", api::TipoJson::texto},
           Caso{R"("")", "", api::TipoJson::texto},
           Caso{"12345", "12345", api::TipoJson::numero},
           Caso{"-7", "-7", api::TipoJson::numero},
           Caso{"18446744073709551615", "18446744073709551615", api::TipoJson::numero},
           Caso{"1021.0", "1021.0", api::TipoJson::numero},
           Caso{"1e3", "1000.0", api::TipoJson::numero},
           Caso{"-0.0", "-0.0", api::TipoJson::numero},
           Caso{"null", "null", api::TipoJson::nulo},
           Caso{"false", "false", api::TipoJson::booleano},
           Caso{"[]", "[]", api::TipoJson::array},
           Caso{"{}", "{}", api::TipoJson::objeto},
           Caso{"[[], {}]", "[[],{}]", api::TipoJson::array},
           Caso{R"({ "b" : [1, "x\"y"], "a": {} })", R"({"b":[1,"x\"y"],"a":{}})",
                api::TipoJson::objeto},
           Caso{R"({"k": [1, {"t": 2}], "v": "\u00e9\n"})", "{\"k\":[1,{\"t\":2}],\"v\":\"é\\n\"}",
                api::TipoJson::objeto},
           // A repeated member keeps its first place and its last value.
           Caso{R"({"a": 1, "b": 2, "a": [3]})", R"({"a":[3],"b":2})", api::TipoJson::objeto},
           // Far deeper than a recursive writer's stack allows.
           Caso{fundo, fundo, api::TipoJson::array},
       }) {
    const api::Valor v(ordered_json::parse(k.json));
    EXPECT_EQ(v.texto(), k.texto) << k.json.substr(0, 40);
    EXPECT_EQ(v.tipo(), k.tipo) << k.json.substr(0, 40);
    if (k.json.size() < 100) {
      EXPECT_EQ(v.json(), nlohmann::json::parse(k.json)) << k.json;
    }
  }
  EXPECT_TRUE(api::Valor::deTexto("manager") == "manager");
  EXPECT_FALSE(api::Valor(ordered_json(1)) == "1");
}

}  // namespace
