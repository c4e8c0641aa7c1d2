// The fixed-capacity tables of a run: the language store and the branch
// table. Slots, meaning positions, code positions, branch and node numbers
// are 1-based; 0 means "none". Other modules reach the tables through the
// accessors below, so the layout in memory may change behind them.
#pragma once

#include <cstdint>

#include "database/branch_index.h"

namespace plix {

constexpr int MAX_LANGUAGES = 8000;
constexpr int MAX_BRANCHES = 8000;
constexpr int MAX_MEANINGS = 40;
constexpr int MAX_CODES = 100;
constexpr int SYNONYM2_OFFSET = 50;  // synonym 2 starts at code position 51
constexpr int RECORD_WIDTH = 400;  // columns of a database record, and of a branch key

using SoundCode = std::int16_t;

struct LanguageStore {
  std::int32_t branch_of[MAX_LANGUAGES + 1];
  std::int16_t word_length[MAX_LANGUAGES + 1][MAX_MEANINGS][2];
  SoundCode sound_codes[MAX_LANGUAGES + 1][MAX_MEANINGS][MAX_CODES];
};

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
  char branch_key[MAX_BRANCHES + 1][RECORD_WIDTH];  // blank beyond the key's length
  std::int32_t node_of[MAX_BRANCHES + 1];
  std::int32_t member_count[MAX_BRANCHES + 1];
  std::int32_t branch_count = 0;
  std::int32_t node_count = 0;
  BranchIndex index;  // over the keys, for the grouping (database/branch_index.h)
};

// Every member_count 0, every branch_key blank, no branch, no node.
void clear_branch_table(BranchTable& table);

}  // namespace plix
