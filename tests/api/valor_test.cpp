// A value of the API's responses as the tool shows and sends it.
#include "UTILITARIOS/api/valor.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

namespace {

using nlohmann::ordered_json;
using T = nlohmann::json::value_t;

TEST(Valor, TextoComoRecebidoEDocumentoDeVolta) {
  struct Caso {
    std::string json;
    std::string texto;
    T tipo;
  };
  const std::string fundo = std::string(100000, '[') + "1" + std::string(100000, ']');
  for (const Caso& k : {
           Caso{R"("Hospital")", "Hospital", T::string},
           Caso{R"("")", "", T::string},
           Caso{"12345", "12345", T::number_unsigned},
           Caso{"-7", "-7", T::number_integer},
           Caso{"18446744073709551615", "18446744073709551615", T::number_unsigned},
           Caso{"1021.0", "1021.0", T::number_float},
           Caso{"1e3", "1000.0", T::number_float},
           Caso{"-0.0", "-0.0", T::number_float},
           Caso{"null", "null", T::null},
           Caso{"false", "false", T::boolean},
           Caso{"[]", "[]", T::array},
           Caso{"{}", "{}", T::object},
           Caso{"[[], {}]", "[[],{}]", T::array},
           Caso{R"({ "b" : [1, "x\"y"], "a": {} })", R"({"b":[1,"x\"y"],"a":{}})", T::object},
           Caso{R"({"k": [1, {"t": 2}], "v": "\u00e9\n"})", "{\"k\":[1,{\"t\":2}],\"v\":\"é\\n\"}",
                T::object},
           // A repeated member keeps its first place and its last value.
           Caso{R"({"a": 1, "b": 2, "a": [3]})", R"({"a":[3],"b":2})", T::object},
           // Far deeper than a recursive writer's stack allows.
           Caso{fundo, fundo, T::array},
       }) {
    const api::Valor v(ordered_json::parse(k.json));
    EXPECT_EQ(v.texto(), k.texto) << k.json.substr(0, 40);
    EXPECT_EQ(v.json().type(), k.tipo) << k.json.substr(0, 40);
    if (k.json.size() < 100) {
      EXPECT_EQ(v.json(), nlohmann::json::parse(k.json)) << k.json;
    }
  }
  EXPECT_TRUE(api::Valor::deTexto("manager") == "manager");
  EXPECT_FALSE(api::Valor(ordered_json(1)) == "1");
}

}  // namespace
