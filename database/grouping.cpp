#include "database/grouping.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "database/branch_index.h"
#include "textio/textio.h"

namespace plix {

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

void assign_branch(const ScanContext& db, const char* line, int bar_column, const char* language_code) {
  BranchTable& table = db.branches;
  char key[RECORD_WIDTH];
  const int n = build_branch_key(line, bar_column, language_code, key);

  // The first branch sharing more than LEVEL commas with the key; else the
  // node of the last one sharing exactly LEVEL. A negative LEVEL is passed
  // by every comma count, so the first branch takes every language.
  const std::int64_t level = db.params.LEVEL;
  std::int32_t remembered_node = 0;
  if (level < 0) {
    if (table.branch_count >= 1) {
      db.store.branch_of[db.scan.open_slot] = 1;
      return;
    }
  } else {
    int sibling = 0;
    if (const int g = find_branch(table, key, n, level, sibling)) {
      db.store.branch_of[db.scan.open_slot] = g;
      return;
    }
    if (sibling != 0) remembered_node = table.node_of[sibling];
  }

  if (table.branch_count == INT32_MAX)
    table_out_of_memory(db.io, "the branch keys", "branches", std::size_t{INT32_MAX} + 1, 0);
  grow_branch_table(db.io, table, table.branch_count + 1);
  const int g = ++table.branch_count;
  db.store.branch_of[db.scan.open_slot] = g;
  std::memcpy(table.branch_key[g], key, static_cast<std::size_t>(n));
  table.node_of[g] = remembered_node != 0 ? remembered_node : ++table.node_count;
}

}  // namespace plix
