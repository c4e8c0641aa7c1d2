// Names of the retained languages for the distance files and trees: the
// header's name made safe for Newick, NEXUS and PHYLIP readers and unique
// in the run, and the key file FILE.names that maps each name back to the
// language it stands for.
#pragma once

#include <string>
#include <string_view>

#include "database/origins.h"
#include "database/store.h"

namespace plix {

class ResultFile;

// A name has at most NAME_BASE_LENGTH bytes taken from the header, plus
// "__<n>" on the second and later languages of the same name.
constexpr int NAME_BASE_LENGTH = 48;
constexpr int NAME_CAPACITY = 64;

struct LanguageNames {
  GrowingTable<char[NAME_CAPACITY]> name{"the language names", "languages"};  // NUL-terminated
  int language_count = 0;
};

inline std::string_view language_name(const LanguageNames& names, int slot) {
  return names.name[slot];
}

// Names languages 1..language_count. A name keeps the letters, digits, '.'
// and '_' of the header's name, and bytes above 127 (UTF-8 letters); every
// run of other characters becomes one '_', and '_' is trimmed at both ends.
// An empty result takes the language code, or "L" and the header's record
// number. Equal names get "__2", "__3", ... in slot order after the first;
// no name made from a header contains "__", so these never collide.
// False, nothing named, when the memory for the names cannot be had.
bool make_language_names(const LanguageOrigins& origins, int language_count, LanguageNames& names);

// `text` in the safe form of a name, without a length limit or suffix: the
// rule of make_language_names; empty when nothing is kept.
std::string safe_name(std::string_view text);

// The key: a header row, then one row per language in slot order: name,
// header name, code, header record number, classification path.
void write_names_key(ResultFile& file, const LanguageOrigins& origins, const LanguageNames& names);

// Writes text into a TSV field: TABs and line ends become blanks.
void write_tsv_text(ResultFile& file, std::string_view text);

}  // namespace plix
