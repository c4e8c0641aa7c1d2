// Fuzz target: the fuzz input is the whole standard input of one run.
#include <cstddef>
#include <cstdint>
#include <string>

#include "run/run.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Pieces of odd sizes, as a pipe may deliver them.
  const std::size_t chunk = size == 0 ? 1 : 1 + data[0] % 200;
  plix::StringSource in(std::string(reinterpret_cast<const char*>(data), size), chunk);
  plix::StringSink out, err;
  const int status = plix::run_program(in, out, err);
  if (status != 0 && status != 1) __builtin_trap();
  // A failed run always says why on standard error.
  if (status == 1 && err.data.empty()) __builtin_trap();
  return 0;
}
