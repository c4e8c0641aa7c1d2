// All state of one run: parameters, selections, inventory, the fixed tables
// and the record units. Created once when a run starts; nothing in it is
// allocated per record, language or pair.
#pragma once

#include <cstdint>

#include "database/store.h"

namespace plix {

struct TextIO;

struct RunParameters {
  std::int32_t SYNONYMS = 0;
  std::int32_t WORDS = 0;
  std::int32_t DATE = 0;
  std::int32_t LEVEL = 0;
  std::int32_t S0 = 0;
  std::int32_t R = 0;
  float date_limit = 0;
  float s0_fraction = 0;
  float log_s0 = 0;
  float r_fraction = 0;
  float two_log_r = 0;
};

constexpr int MAX_SELECTION = 100;  // meaning numbers 1..100
constexpr int MAX_SYMBOLS = 100;
constexpr int MAX_COMBINATIONS = 2000;  // entries of the pair and of the triple table

struct MeaningSelection {
  char meaning_format[72];
  std::int32_t meaning_index[MAX_SELECTION + 1];  // meaning number -> selected index, 0 = not selected
  std::int32_t meaning_count = 0;
};

struct SoundInventory {
  char symbols[MAX_SYMBOLS + 1];  // symbols[1..symbol_count]
  std::int32_t symbol_count = 0;
  // First position of each byte value among symbols[1..symbol_count], 0 if absent;
  // built once after the inventory is read (database/encoder.h).
  std::int8_t first_position[256];
};

struct PairTable {
  std::int32_t first[MAX_COMBINATIONS + 1], second[MAX_COMBINATIONS + 1], code[MAX_COMBINATIONS + 1];
  std::int32_t count = 0;
};

struct TripleTable {
  std::int32_t first[MAX_COMBINATIONS + 1], second[MAX_COMBINATIONS + 1], third[MAX_COMBINATIONS + 1],
      code[MAX_COMBINATIONS + 1];
  std::int32_t count = 0;
};

struct NodeTally {
  double pair_count[MAX_BRANCHES + 1];
  double similarity_sum[MAX_BRANCHES + 1];
};

struct RunState {
  explicit RunState(TextIO& io) : io(io) {}
  TextIO& io;
  RunParameters params;
  MeaningSelection selection;
  SoundInventory inventory;
  std::int32_t last_code = 0;
  PairTable pairs;
  TripleTable triples;
  // The database scan.
  char record[RECORD_WIDTH];
  std::int32_t open_slot = 0;
  std::int32_t attested = 0;
  std::int32_t language_count = 0;
  std::int32_t record_number = 0;  // input records read so far, for messages
  char open_code[3];                // language code of the open language, for messages
  std::int32_t open_record = 0;     // record number of its header, for messages
  BranchTable branches;
  LanguageStore store;
  NodeTally tally;
};

}  // namespace plix
