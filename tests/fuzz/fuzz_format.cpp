// Fuzz target: the format compiler and interpreter alone (input layout in
// drivers.h, check_format).
#include "tests/fuzz/drivers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!plix::fuzz::check_format(data, size).empty()) __builtin_trap();
  return 0;
}
