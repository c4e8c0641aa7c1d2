#include "database/branch_index.h"

#include <cstring>

#include "database/store.h"

namespace plix {

namespace {

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

BranchIndexEntry* slot_of(GrowingTable<BranchIndexEntry>& table, const BranchTable& branches,
                          const Part& part, const char* key, std::int64_t* compared) {
  const std::size_t mask = table.rows() - 1;
  for (std::size_t s = part.hash & mask;; s = (s + 1) & mask) {
    BranchIndexEntry& e = table[s];
    if (e.branch == 0) return &e;
    if (e.hash != part.hash || e.length != part.length) continue;
    if (compared != nullptr) ++*compared;
    if (std::memcmp(branches.branch_key[e.branch], key, static_cast<std::size_t>(part.length)) == 0)
      return &e;
  }
}

void add(GrowingTable<BranchIndexEntry>& table, const BranchTable& branches, const Part& part, const char* key,
         int g, bool keep_first) {
  if (part.length < 0) return;
  BranchIndexEntry* e = slot_of(table, branches, part, key, nullptr);
  if (e->branch != 0 && keep_first) return;
  *e = BranchIndexEntry{g, part.hash, part.length};
}

int lookup(GrowingTable<BranchIndexEntry>& table, const BranchTable& branches, const Part& part, const char* key,
           std::int64_t& compared) {
  if (part.length < 0) return 0;
  return slot_of(table, branches, part, key, &compared)->branch;
}

}  // namespace

int find_branch(BranchTable& table, const char* key, int n, std::int64_t level, int& sibling) {
  BranchIndex& x = table.index;
  sibling = 0;
  if (x.joining.rows() == 0) return 0;  // never grown: no branch yet
  if (x.indexed < 0 || x.indexed > table.branch_count || x.level != level) {
    x.joining.refill();
    x.sibling.refill();
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

namespace {

// Slots for branches 1..branch: a power of two, at least twice as many.
std::size_t index_slots(const BranchIndex& index, int branch) {
  std::size_t slots = index.joining.rows();
  const std::size_t needed = 2 * (static_cast<std::size_t>(branch) + 1);
  if (slots == 0) slots = 2 * MIN_TABLE_ROWS;
  while (slots < needed) slots *= 2;
  return slots;
}

}  // namespace

void grow_branch_index(TextIO& io, BranchIndex& index, int branch) {
  const std::size_t slots = index_slots(index, branch);
  if (slots == index.joining.rows()) return;
  index.joining.grow_to(io, slots - 1);
  index.sibling.grow_to(io, slots - 1);
  index.indexed = -1;  // built again over the larger tables
}

bool grow_branch_index(BranchIndex& index, int branch) {
  const std::size_t slots = index_slots(index, branch);
  if (slots == index.joining.rows()) return true;
  index.indexed = -1;
  return index.joining.grow_to(slots - 1) && index.sibling.grow_to(slots - 1);
}

}  // namespace plix
