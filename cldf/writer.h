// The stream itself: run parameters, the meaning selection, the sound
// inventory, the passed-over record and the database with its end record,
// and the symbol table beside it.
#pragma once

#include <string>
#include <vector>

#include "cldf/concepts.h"
#include "cldf/dataset.h"
#include "cldf/meanings.h"
#include "database/store.h"

namespace plix::cldf {

// The capacities of the run that the stream must respect.
constexpr int kMaxSymbols = 100;
constexpr int kMaxCombinations = 2000;  // entries of the pair and of the triple table
constexpr int kCodeLimit = MAX_CODES;
constexpr int kSynonymLimit = SYNONYM2_OFFSET;

// Words cut short, by the limit that cut them.
struct Cuts {
  long cut_codes = 0, cut_columns = 0, cut_table = 0;
};

struct Written {
  std::string stream;
  std::string symbols;  // TSV: symbol, sounds, count
  long symbol_count = 0, folded = 0, pairs = 0, triples = 0;
  Cuts cuts;
};

// Writes the languages marked in `written` with the selected meanings: per
// language and meaning the first --synonyms distinct forms, as codes of the
// inventory's symbols, within the run's tables. Counts the forms it leaves
// out in d.tally.
Written write_stream(Dataset& d, const Options& o, const ConceptTable& concepts, const Selection& sel,
                     const std::vector<char>& written);

}  // namespace plix::cldf
