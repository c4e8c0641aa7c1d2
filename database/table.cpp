#include "database/table.h"

#include <atomic>
#include <string>

#include "textio/textio.h"

namespace plix {

namespace {
std::atomic<std::size_t> test_step{0};
}  // namespace

void set_table_step_for_testing(std::size_t rows) { test_step = rows; }

std::size_t grown_capacity(std::size_t capacity, std::size_t last) {
  const std::size_t step = test_step;
  std::size_t grown = step != 0 ? capacity + step : capacity + capacity / 2;
  if (step == 0 && grown < MIN_TABLE_ROWS) grown = MIN_TABLE_ROWS;
  return grown > last ? grown : last + 1;
}

void table_out_of_memory(TextIO& io, const char* what, const char* unit, std::size_t rows,
                         std::size_t bytes) {
  out_of_memory(io, std::string(what) + " for " + std::to_string(rows) + " " + unit, bytes);
}

}  // namespace plix
