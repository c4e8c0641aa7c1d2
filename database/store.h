// The tables of a run that grow with the data: the language store and the
// branch table. Slots, meaning positions, code positions, branch and node
// numbers are 1-based; 0 means "none". Other modules reach the tables
// through the accessors below, so the layout in memory may change behind
// them.
#pragma once

#include <cstdint>

#include "database/branch_index.h"
#include "database/table.h"

namespace plix {

constexpr int MAX_MEANINGS = 40;
constexpr int MAX_CODES = 100;
constexpr int SYNONYM2_OFFSET = 50;  // synonym 2 starts at code position 51
constexpr int RECORD_WIDTH = 400;  // columns of a database record, and of a branch key

using SoundCode = std::int16_t;

// Per slot: its branch, the lengths of its words and their codes (8164
// bytes a slot).
struct LanguageStore {
  GrowingTable<std::int32_t> branch_of{"the branch numbers", "languages"};
  GrowingTable<std::int16_t[MAX_MEANINGS][2]> word_length{"the word lengths", "languages"};
  GrowingTable<SoundCode[MAX_MEANINGS][MAX_CODES]> sound_codes{"the word codes", "languages"};
};

// Makes slots 0..slot exist, the new ones zeroed; without the memory for
// them the run ends with the out-of-memory message naming the table.
void grow_store(TextIO& io, LanguageStore& store, int slot);
// The same without a run to end: false when the memory cannot be had.
bool grow_store(LanguageStore& store, int slot);

// Length of synonym s (1 or 2) of meaning position m of slot l.
inline std::int16_t& word_length(LanguageStore& s, int l, int m, int syn) {
  return s.word_length[l][m - 1][syn - 1];
}
inline std::int16_t word_length(const LanguageStore& s, int l, int m, int syn) {
  return s.word_length[l][m - 1][syn - 1];
}
// Code positions 1..100 of meaning position m of slot l: codes(...)[p - 1].
inline SoundCode* codes(LanguageStore& s, int l, int m) { return s.sound_codes[l][m - 1]; }
inline const SoundCode* codes(const LanguageStore& s, int l, int m) {
  return s.sound_codes[l][m - 1];
}
// The codes of synonym syn (1 or 2): synonym 2 begins at position 51.
inline const SoundCode* synonym_codes(const LanguageStore& s, int l, int m, int syn) {
  return s.sound_codes[l][m - 1] + (syn == 2 ? SYNONYM2_OFFSET : 0);
}

struct BranchTable {
  GrowingTable<char[RECORD_WIDTH]> branch_key{"the branch keys", "branches", ' '};  // blank beyond the key
  GrowingTable<std::int32_t> node_of{"the node numbers", "branches"};
  GrowingTable<std::int32_t> member_count{"the member counts", "branches"};
  std::int32_t branch_count = 0;
  std::int32_t node_count = 0;
  BranchIndex index;  // over the keys, for the grouping (database/branch_index.h)
};

// Every member_count 0, every branch_key blank, no branch, no node.
void clear_branch_table(BranchTable& table);

// Makes branches 0..branch exist (blank keys, node 0, no members) and the
// index room for them; without the memory the run ends with the
// out-of-memory message naming the table.
void grow_branch_table(TextIO& io, BranchTable& table, int branch);
bool grow_branch_table(BranchTable& table, int branch);

}  // namespace plix
