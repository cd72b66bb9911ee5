#pragma once

#include <iostream>
#include <sstream>
#include <string>

namespace apoio {

/// Standard output, captured while the object lives.
class CapturaCout {
 public:
  CapturaCout() : antigo_(std::cout.rdbuf(texto_.rdbuf())) {}
  ~CapturaCout() { std::cout.rdbuf(antigo_); }
  CapturaCout(const CapturaCout&) = delete;
  CapturaCout& operator=(const CapturaCout&) = delete;
  std::string texto() const { return texto_.str(); }

 private:
  std::ostringstream texto_;
  std::streambuf* antigo_;
};

}  // namespace apoio
