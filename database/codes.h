// The sound inventory and the code tables of combined sounds: the encoder's
// state, filled as the run meets new combinations.
#pragma once

#include <cstdint>

namespace plix {

constexpr int MAX_SYMBOLS = 100;
constexpr int MAX_COMBINATIONS = 2000;  // entries of the pair and of the triple table

struct SoundInventory {
  char symbols[MAX_SYMBOLS + 1];  // symbols[1..symbol_count]
  std::int32_t symbol_count = 0;
  // First position of each byte value among symbols[1..symbol_count], 0 if
  // absent; built once after the inventory is read (database/encoder.h).
  std::int8_t first_position[256];
};

// A hash index over the entries of a combination table, so that a lookup
// compares about one entry instead of all of them (database/encoder.cpp).
// It follows the table: entries added or a table emptied are taken into
// account at the next lookup.
constexpr int COMBINATION_SLOTS = 4096;  // a power of two, twice the entries
struct CombinationIndex {
  std::int16_t slot[COMBINATION_SLOTS];  // entry number, 0 = empty
  std::int32_t indexed = -1;             // entries 1..indexed are in it; -1: slots not cleared
  std::int64_t compared = 0;             // entries compared by lookups so far
};

struct PairTable {
  std::int32_t first[MAX_COMBINATIONS + 1], second[MAX_COMBINATIONS + 1], code[MAX_COMBINATIONS + 1];
  std::int32_t count = 0;
  CombinationIndex index;
};

struct TripleTable {
  std::int32_t first[MAX_COMBINATIONS + 1], second[MAX_COMBINATIONS + 1], third[MAX_COMBINATIONS + 1],
      code[MAX_COMBINATIONS + 1];
  std::int32_t count = 0;
  CombinationIndex index;
};

struct CodeTables {
  SoundInventory inventory;
  std::int32_t last_code = 0;  // the highest code given so far
  PairTable pairs;
  TripleTable triples;
};

}  // namespace plix
