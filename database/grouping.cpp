#include "database/grouping.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

#include "textio/textio.h"

namespace plix {

namespace {

// Index of the first byte where a[0..n) and b[0..n) differ, or n. Compares
// eight bytes at a time: this search runs once per branch for every
// admitted language.
int first_difference(const char* a, const char* b, int n) {
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    if (x != y) {
      const std::uint64_t diff = x ^ y;
      const int byte = std::endian::native == std::endian::little ? std::countr_zero(diff) / 8
                                                                  : std::countl_zero(diff) / 8;
      return i + byte;
    }
  }
  for (; i < n; ++i)
    if (a[i] != b[i]) return i;
  return n;
}

}  // namespace

int build_branch_key(const char* line, int bar_column, const char* language_code,
                     char (&key)[RECORD_WIDTH]) {
  // Classification text up to '@', then ",code,", cut at RECORD_WIDTH.
  int n = 0;
  for (int i = bar_column; i <= RECORD_WIDTH; ++i) {
    const char ch = line[i - 1];
    if (ch == '@') break;
    key[n++] = ch;
  }
  const char tail[5] = {',', language_code[0], language_code[1], language_code[2], ','};
  for (int j = 0; j < 5 && n < RECORD_WIDTH; ++j) key[n++] = tail[j];
  return n;
}

void assign_branch(const ScanContext& db, const char* line, int bar_column, const char* language_code,
                   int header_record) {
  BranchTable& table = db.branches;
  char key[RECORD_WIDTH];
  const int n = build_branch_key(line, bar_column, language_code, key);

  // commas[i]: commas among the first i characters of the key, so that the
  // comma count of a common prefix is one lookup.
  std::int32_t commas[RECORD_WIDTH + 1];
  commas[0] = 0;
  for (int i = 0; i < n; ++i) commas[i + 1] = commas[i] + (key[i] == ',');

  const std::int64_t level = db.params.LEVEL;
  std::int32_t remembered_node = 0;
  for (int g = 1; g <= table.branch_count; ++g) {
    const std::int64_t d = commas[first_difference(key, table.branch_key[g], n)] - level;
    if (d > 0) {
      db.store.branch_of[db.scan.open_slot] = g;
      return;
    }
    if (d == 0) remembered_node = table.node_of[g];
  }

  if (table.branch_count == MAX_BRANCHES) {
    fatal_error(db.io, "record " + std::to_string(header_record) + ", header record of language " +
                            std::string(language_code, 3) + ": more than " +
                            std::to_string(MAX_BRANCHES) + " branches (it needs a new branch)");
  }
  const int g = ++table.branch_count;
  db.store.branch_of[db.scan.open_slot] = g;
  std::memcpy(table.branch_key[g], key, static_cast<std::size_t>(n));
  table.node_of[g] = remembered_node != 0 ? remembered_node : ++table.node_count;
}

}  // namespace plix
