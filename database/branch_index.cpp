#include "database/branch_index.h"

#include <cstring>

#include "database/store.h"

namespace plix {

namespace {

static_assert((BRANCH_SLOTS & (BRANCH_SLOTS - 1)) == 0 && BRANCH_SLOTS >= 2 * MAX_BRANCHES,
              "branch index: a power of two, at most half full");

// A leading part of a key: its length, -1 when the key has too few commas.
struct Part {
  std::int32_t length = -1;
  std::uint32_t hash = 0;
};

// The parts of key[0..n) up to its comma `level` and up to comma level + 1
// (the part up to comma 0 is empty).
void parts_of(const char* key, int n, std::int64_t level, Part& sibling, Part& joining) {
  sibling = joining = Part{};
  std::uint64_t h = 1469598103934665603ULL;  // FNV-1a
  std::int64_t commas = 0;
  if (level == 0) sibling = Part{0, static_cast<std::uint32_t>(h ^ (h >> 32))};
  for (int i = 0; i < n && commas <= level; ++i) {
    h = (h ^ static_cast<unsigned char>(key[i])) * 1099511628211ULL;
    if (key[i] != ',') continue;
    ++commas;
    const Part part{i + 1, static_cast<std::uint32_t>(h ^ (h >> 32))};
    if (commas == level) sibling = part;
    if (commas == level + 1) joining = part;
  }
}

BranchIndexEntry* slot_of(BranchIndexEntry* table, const BranchTable& branches, const Part& part,
                          const char* key, std::int64_t* compared) {
  for (std::uint32_t s = part.hash & (BRANCH_SLOTS - 1);; s = (s + 1) & (BRANCH_SLOTS - 1)) {
    BranchIndexEntry& e = table[s];
    if (e.branch == 0) return &e;
    if (e.hash != part.hash || e.length != part.length) continue;
    if (compared != nullptr) ++*compared;
    if (std::memcmp(branches.branch_key[e.branch], key, static_cast<std::size_t>(part.length)) == 0)
      return &e;
  }
}

void add(BranchIndexEntry* table, const BranchTable& branches, const Part& part, const char* key,
         int g, bool keep_first) {
  if (part.length < 0) return;
  BranchIndexEntry* e = slot_of(table, branches, part, key, nullptr);
  if (e->branch != 0 && keep_first) return;
  *e = BranchIndexEntry{g, part.hash, part.length};
}

int lookup(BranchIndexEntry* table, const BranchTable& branches, const Part& part, const char* key,
           std::int64_t& compared) {
  if (part.length < 0) return 0;
  return slot_of(table, branches, part, key, &compared)->branch;
}

}  // namespace

int find_branch(BranchTable& table, const char* key, int n, std::int64_t level, int& sibling) {
  BranchIndex& x = table.index;
  if (x.indexed < 0 || x.indexed > table.branch_count || x.level != level) {
    std::memset(x.joining, 0, sizeof x.joining);
    std::memset(x.sibling, 0, sizeof x.sibling);
    x.indexed = 0;
    x.level = level;
  }
  Part s, j;
  while (x.indexed < table.branch_count) {
    const int g = ++x.indexed;
    const char* stored = table.branch_key[g];
    parts_of(stored, RECORD_WIDTH, level, s, j);
    add(x.joining, table, j, stored, g, true);
    add(x.sibling, table, s, stored, g, false);
  }
  parts_of(key, n, level, s, j);
  sibling = 0;
  if (const int g = lookup(x.joining, table, j, key, x.compared)) return g;
  sibling = lookup(x.sibling, table, s, key, x.compared);
  return 0;
}

}  // namespace plix
