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
  char header[MAX_LANGUAGES + 1][RECORD_WIDTH];
  char code[MAX_LANGUAGES + 1][3];
  std::int32_t header_record[MAX_LANGUAGES + 1];
};

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
