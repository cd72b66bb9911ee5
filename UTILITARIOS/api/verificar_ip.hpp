#pragma once

#include <string>
#include <string_view>

// Classification of a machine's address before it may be updated: only a
// global ("Público") address is treated.
namespace api {

inline constexpr std::string_view kPrivado = "Privado";
inline constexpr std::string_view kPublico = "Público";
inline constexpr std::string_view kEspecial = "Especial/Reservado";
inline constexpr std::string_view kInvalido = "Endereço IP inválido";

/// Classifies an IPv4 or IPv6 address text. Nothing is trimmed; zone
/// indexes, brackets, prefix lengths and IPv4 parts with a leading zero
/// ("010", ambiguous between octal and decimal) make the text invalid.
/// Pure; never throws.
std::string verificarIp(std::string_view ipString);

}  // namespace api
