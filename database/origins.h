// Where each retained language came from: its header record, language code
// and header record number, kept per slot for the result files that name
// languages. Filled as languages are admitted; a dropped language's slot is
// overwritten by the next one, like the rest of the store.
#pragma once

#include <cstdint>
#include <string_view>

#include "database/store.h"

namespace plix {

struct LanguageOrigins {
  GrowingTable<char[RECORD_WIDTH]> header{"the header records", "languages"};
  GrowingTable<char[3]> code{"the language codes", "languages"};
  GrowingTable<std::int64_t> header_record{"the header record numbers", "languages"};
};

// Makes slots 0..slot exist; without the memory the run ends with the
// out-of-memory message naming the table.
void grow_origins(TextIO& io, LanguageOrigins& origins, int slot);

// The text of the header record `line` (400 columns) before its first '|',
// without leading or trailing blanks: the language's name.
std::string_view header_name_of(const char* line);
inline std::string_view header_name(const LanguageOrigins& origins, int slot) {
  return header_name_of(origins.header[slot]);
}
// The classification path: from after the first '|' up to the first '@'
// (or column 400).
std::string_view classification_path(const LanguageOrigins& origins, int slot);
inline std::string_view language_code(const LanguageOrigins& origins, int slot) {
  return {origins.code[slot], 3};
}

}  // namespace plix
