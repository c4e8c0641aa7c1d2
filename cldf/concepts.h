// The meaning table: meaning numbers 1..100, their glosses and the concept
// IDs (Concepticon concept sets, or a dataset's own parameter IDs) that count
// as each.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <unordered_map>

namespace plix::cldf {

struct ConceptTable {
  std::array<std::string, 101> gloss;  // by meaning number; empty: not in the table
  std::unordered_map<std::string, int> number_of_id;  // the first number listing an ID wins
  int number(const std::string& id) const {
    auto it = number_of_id.find(id);
    return it == number_of_id.end() ? 0 : it->second;
  }
};

// Tab-separated: lines beginning with '#' are notes, the first other line is
// the header, then number, gloss and a comma-separated ID list per line.
// Throws InputError naming `file` and the line.
ConceptTable parse_concepts(std::string_view text, const std::string& file);

}  // namespace plix::cldf
