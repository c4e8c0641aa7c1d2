// The meanings of a dataset: its parameters mapped to the numbers of the
// meaning table, and the meanings selected for the stream.
#pragma once

#include <array>
#include <string>
#include <unordered_map>
#include <vector>

#include "cldf/concepts.h"
#include "cldf/dataset.h"
#include "cldf/metadata.h"

namespace plix::cldf {

// Parameter ID -> meaning number (0: unmapped), from the ParameterTable;
// `about` receives each parameter's gloss (Name) and Concepticon ID.
void read_parameters(const std::string& file, const Table* table, const ConceptTable& concepts, bool own,
                     std::unordered_map<std::string, int>& meaning_of, ParameterInfo& about);

struct Selection {
  std::vector<int> meanings;           // selected, in stream order
  std::array<bool, 101> is_selected{};
  std::array<long, 101> attested{};    // candidate languages with a form of each meaning
  std::vector<std::array<bool, 101>> has;  // by language: a form of the meaning
  int words = 0;                       // WORDS
};

// The explicit selection of the options, else the --meaning-count meanings
// attested by most candidate languages (ties to the lower number), in
// ascending order. Throws InputError when no form maps to a meaning.
Selection select_meanings(const Dataset& d, const Options& o, const std::vector<char>& candidate);

}  // namespace plix::cldf
