#pragma once

#include <cstdio>
#include <cstdlib>

// A broken invariant stops the fuzzer with its name, so the input is kept.
inline void verificar(bool condicao, const char* o_que) {
  if (condicao) return;
  std::fprintf(stderr, "invariante violado: %s\n", o_que);
  std::abort();
}
