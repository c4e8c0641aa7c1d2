// An index over the branch keys for the grouping of languages: it answers
// "the first branch whose key shares more than LEVEL commas with this key"
// and "the last branch that shares exactly LEVEL" as the scan over all
// branches in branch order would, without comparing every key.
//
// A key shares at least k commas with a stored key exactly when the stored
// key begins with the new key's part up to and including its k-th comma. So
// the index holds, for every branch, its key's part up to comma LEVEL + 1
// (the first branch with each such part) and up to comma LEVEL (the last
// branch with each such part; with LEVEL 0 the empty part, shared by all).
#pragma once

#include <cstdint>

#include "database/table.h"

namespace plix {

struct BranchTable;

struct BranchIndexEntry {
  std::int32_t branch;  // 0 = empty slot
  std::uint32_t hash;   // of the part
  std::int32_t length;  // of the part
};

// Open addressing in slot tables of a power of two at least twice the
// branches, so that they are at most half full; they grow with the branch
// table, and the index is then built again.
struct BranchIndex {
  GrowingTable<BranchIndexEntry> joining{"the branch index", "slots"};  // part up to comma LEVEL + 1: first branch
  GrowingTable<BranchIndexEntry> sibling{"the branch index", "slots"};  // part up to comma LEVEL: last branch
  std::int32_t indexed = -1;               // branches 1..indexed are in it; -1: not cleared
  std::int64_t level = 0;                  // the LEVEL it was built for
  std::int64_t compared = 0;               // stored parts compared by lookups so far
};

// What the scan over branches 1..branch_count in order gives for the new key
// key[0..n) with `level` >= 0: the first branch sharing more than `level`
// commas with it, or 0; when there is none, `sibling` is the last branch
// sharing exactly `level`, or 0. Branches added to the table since the last
// call, and a table emptied or a level changed, are taken into account.
// The table must have room for its branches (grow_branch_table).
int find_branch(BranchTable& table, const char* key, int n, std::int64_t level, int& sibling);

// Gives the index room for branches 1..branch; without the memory the run
// ends with the out-of-memory message.
void grow_branch_index(TextIO& io, BranchIndex& index, int branch);
bool grow_branch_index(BranchIndex& index, int branch);

}  // namespace plix
