// The transcription encoder: the words of one word record become sequences
// of sound codes in the language store, synonyms, marks and combined sounds
// included.
#pragma once

#include <cstdint>

#include "database/codes.h"
#include "database/scan_state.h"

namespace plix {

// Where the words of a word record (400 columns) lie, 1-based: `tab` is the
// column of the first TAB not followed by another (0: none), `first` the
// column of the first word (past blanks and '/' after that TAB; 0 when
// nothing follows or the word is XXX, a missing word), `end` the column
// after the last: the first blank followed by a blank or '/', or 401.
struct WordColumns {
  int tab = 0, first = 0, end = 0;
};
WordColumns word_columns(const char* line);

// Encodes the words of the word record `line` (400 columns) into meaning
// position `meaning` (1..meaning_count) of slot `slot`; adds 1 to attested when the
// length it stores last is at least 1.
void encode_word_record(const ScanContext& db, const char* line, int slot, int meaning);

// Fills inventory.first_position from symbols[1..symbol_count]; called once after the
// inventory is read, before the first symbol_index.
void build_symbol_index(SoundInventory& inventory);

// Position (1..symbol_count) of the first inventory symbol equal to ch, 0 if none.
inline int symbol_index(const SoundInventory& inventory, char ch) {
  return inventory.first_position[static_cast<unsigned char>(ch)];
}

// The code of the combined sound (a, b) or (a, b, c): the code it was given
// when the run first met it, or a new code last_code + 1. A combination that
// would need a table entry beyond the capacity ends the run.
std::int32_t pair_code(const ScanContext& db, std::int32_t a, std::int32_t b);
std::int32_t triple_code(const ScanContext& db, std::int32_t a, std::int32_t b, std::int32_t c);

}  // namespace plix
