// Fuzz target: the CLDF importer's readers (input layout in cldf_driver.h).
#include "tests/fuzz/cldf_driver.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  plix::fuzz::check_cldf(data, size);
  return 0;
}
