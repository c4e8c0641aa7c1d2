// Tables that grow with the data. Rows 0..rows()-1 of a table exist; more
// are added with grow_to, filled with the table's fill byte. The storage
// grows in large steps (half again its size, at least MIN_TABLE_ROWS rows)
// and moves with realloc, which on large blocks remaps pages rather than
// copying them; rows not yet added are never touched, so they cost address
// space only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace plix {

struct TextIO;

// Storage rows a table has once it has any (with the normal steps): a run
// of a few languages asks for little.
constexpr std::size_t MIN_TABLE_ROWS = 64;

// For tests: while `rows` is nonzero, storage grows by exactly that many
// rows at a time, so that small data goes through many steps. 0 restores
// the normal steps.
void set_table_step_for_testing(std::size_t rows);
struct TableStepForTesting {
  explicit TableStepForTesting(std::size_t rows) { set_table_step_for_testing(rows); }
  ~TableStepForTesting() { set_table_step_for_testing(0); }
  TableStepForTesting(const TableStepForTesting&) = delete;
  TableStepForTesting& operator=(const TableStepForTesting&) = delete;
};

// The storage rows after a step that makes room for row `last`.
std::size_t grown_capacity(std::size_t capacity, std::size_t last);

// Ends the run with the out-of-memory message for table `what` (e.g. "the
// word codes") and `rows` rows of `unit` (e.g. "languages").
[[noreturn]] void table_out_of_memory(TextIO& io, const char* what, const char* unit,
                                      std::size_t rows, std::size_t bytes);

template <typename Row>
class GrowingTable {
  static_assert(std::is_trivially_copyable_v<Row>, "rows are moved with realloc");

 public:
  GrowingTable(const char* what, const char* unit, unsigned char fill = 0)
      : what_(what), unit_(unit), fill_(fill) {}
  ~GrowingTable() { std::free(data_); }
  GrowingTable(const GrowingTable&) = delete;
  GrowingTable& operator=(const GrowingTable&) = delete;

  Row& operator[](std::size_t i) { return data_[i]; }
  const Row& operator[](std::size_t i) const { return data_[i]; }
  Row* data() { return data_; }
  const Row* data() const { return data_; }
  std::size_t rows() const { return rows_; }

  // Rows 0..last exist afterwards, the new ones filled. False, the table as
  // it was, when the memory for them cannot be had.
  bool grow_to(std::size_t last) {
    if (last < rows_) return true;
    if (last >= SIZE_MAX / sizeof(Row)) return false;
    if (last >= capacity_) {
      const std::size_t capacity = grown_capacity(capacity_, last);
      if (capacity > SIZE_MAX / sizeof(Row)) return false;
      void* moved = std::realloc(data_, capacity * sizeof(Row));
      if (moved == nullptr) return false;
      data_ = static_cast<Row*>(moved);
      capacity_ = capacity;
    }
    std::memset(static_cast<void*>(data_ + rows_), fill_, (last + 1 - rows_) * sizeof(Row));
    rows_ = last + 1;
    return true;
  }

  // Grows as grow_to does, or ends the run with the out-of-memory message
  // naming this table.
  void grow_to(TextIO& io, std::size_t last) {
    if (!grow_to(last)) {
      const std::size_t rows = grown_capacity(capacity_, last);
      table_out_of_memory(io, what_, unit_, rows, rows * sizeof(Row));
    }
  }

  // Every existing row filled again.
  void refill() {
    if (rows_ > 0) std::memset(static_cast<void*>(data_), fill_, rows_ * sizeof(Row));
  }

  const char* what() const { return what_; }
  // Bytes of the storage a step to row `last` would ask for.
  std::size_t bytes_for(std::size_t last) const { return grown_capacity(capacity_, last) * sizeof(Row); }

 private:
  Row* data_ = nullptr;
  std::size_t rows_ = 0, capacity_ = 0;
  const char* what_;
  const char* unit_;
  unsigned char fill_;
};

}  // namespace plix
