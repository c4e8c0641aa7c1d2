// Fuzz target: the fuzz input is the whole standard input of one run.
#include "tests/fuzz/drivers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!plix::fuzz::check_run(data, size).empty()) __builtin_trap();
  return 0;
}
