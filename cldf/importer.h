// plix62c-cldf: a CLDF Wordlist turned into one complete input stream of
// plix62c (run parameters, meaning selection, sound inventory, a passed-over
// record, the database and its end record).
#pragma once

#include <string>
#include <vector>

#include "cldf/classes.h"
#include "cldf/concepts.h"

namespace plix::cldf {

struct Options {
  std::string dataset;
  std::vector<int> meanings;  // explicit selection, in this order
  int meaning_count = 40;
  int synonyms = 1;
  int words = -1;  // -1: 70 % of the selected meanings, rounded up
  int date = 1000;
  int level = 1;
  int s0 = 92;
  int r = 72;
  bool keep_loans = false;
  ClassScheme sound_classes = ClassScheme::kNone;
  std::string glottolog;
  std::string classification;  // LanguageTable column
  std::string classification_separator = ",";
  bool drop_unclassified = false;
  bool keep_proto = false;  // keep proto-languages and reconstructions
  std::string figure;  // LanguageTable column
  bool own_concepts = false;  // the table is the user's: its IDs may be parameter IDs
};

struct Result {
  std::string stream;   // the complete input stream
  std::string summary;  // for standard error
  std::string symbols;  // TSV: symbol, sounds, count
};

// Throws InputError for bad input.
Result import_dataset(const Options& options, const ConceptTable& concepts);

}  // namespace plix::cldf
