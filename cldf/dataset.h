// A CLDF Wordlist as the importer holds it: its languages with their table
// cells, its usable forms as tokens of analysed sounds, and the tally of the
// forms left out while reading.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cldf/concepts.h"
#include "cldf/importer.h"
#include "cldf/metadata.h"
#include "cldf/sounds.h"
#include "database/store.h"

namespace plix::cldf {

// Where a language's path came from.
enum class PathSource { kGlottolog, kGlottologParent, kColumn, kFamily, kDataset, kNone };

// What is kept of a long Segments cell: tokens with sounds a form (one more
// than the codes of a word), and bytes a token.
constexpr std::uint32_t kTokensKept = MAX_CODES + 1;
constexpr std::size_t kTokenBytes = 4096;

struct Language {
  std::string id, name, glottocode, iso, family, subgroup, classification, figure;
  long line = 0;
  std::vector<std::string> path;
  bool classified = false;
  PathSource source = PathSource::kNone;
  std::string path_note;  // why the path is not from the first source asked, or how it was found
  std::string proto;      // why this is a proto-language or reconstruction; empty: it is not
  long forms = 0;         // mapped, usable forms
};

struct Form {
  std::int32_t language;
  std::uint8_t meaning;
  std::uint32_t begin;  // token ids in Dataset::form_tokens
  std::uint32_t count;
};

struct StringHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};
using StringIndex = std::unordered_map<std::string, std::int32_t, StringHash, std::equal_to<>>;

struct Tally {
  long unmapped = 0, loans = 0, no_segments = 0, duplicates = 0, beyond_synonyms = 0,
       unselected = 0, language_left_out = 0;
  std::map<std::string, long> unmapped_parameters;
};

// Parameter ID -> its gloss and Concepticon ID (kept for unmapped parameters).
using ParameterInfo = std::unordered_map<std::string, std::pair<std::string, std::string>>;

struct Dataset {
  std::string name;  // rdf:ID, else the folder or file name
  std::string title, license;
  std::string forms_file, languages_file;
  bool has_language_table = false;
  bool has_family = false, has_subgroup = false;
  std::vector<Language> languages;
  StringIndex language_index;
  ParameterInfo parameters;
  std::vector<Form> forms;
  std::vector<std::int32_t> form_tokens;
  // Every distinct token of the Segments cells: its units.
  StringIndex token_index;
  std::vector<std::uint32_t> token_begin, token_count;
  std::vector<Unit> token_units;
  SoundSet sounds;
  bool segments_from_form = false;
  long form_rows = 0;
  Tally tally;

  // The units of one form, its tokens' units one after another.
  void units_of(const Form& f, std::vector<Unit>& out) const {
    out.clear();
    for (std::uint32_t k = 0; k < f.count; ++k) {
      auto t = static_cast<std::size_t>(form_tokens[f.begin + k]);
      out.insert(out.end(), token_units.begin() + token_begin[t], token_units.begin() + token_begin[t] + token_count[t]);
    }
  }
};

// Column positions of a CSV header.
struct Header {
  std::vector<std::string> names;
  // The position of the metadata column with that term or name, else of a
  // header cell with the name (exact, then ignoring case); -1 when none.
  int find(const Table* table, std::string_view property, std::string_view name) const {
    std::string wanted(name);
    if (table != nullptr)
      if (const Column* c = table->find(property, name)) wanted = c->name;
    for (std::size_t k = 0; k < names.size(); ++k)
      if (names[k] == wanted) return static_cast<int>(k);
    auto lower = [](std::string s) {
      for (char& c : s) c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
      return s;
    };
    for (std::size_t k = 0; k < names.size(); ++k)
      if (lower(names[k]) == lower(wanted)) return static_cast<int>(k);
    return -1;
  }
};

inline const std::string& field(const std::vector<std::string>& f, int k) {
  static const std::string empty;
  return k >= 0 && static_cast<std::size_t>(k) < f.size() ? f[static_cast<std::size_t>(k)] : empty;
}

// A table's file, read whole; a missing one shipped as FILE.zip is named so.
std::string read_table(const std::string& path);

// Finds and reads the dataset's metadata, LanguageTable, ParameterTable and
// FormTable. Throws InputError for bad input.
Dataset load_dataset(const Options& o, const ConceptTable& concepts);

}  // namespace plix::cldf
