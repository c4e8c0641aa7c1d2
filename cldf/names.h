// What the stream says of a language besides its words: the header record
// with its name and path, the figure and the three-character code.
#pragma once

#include <string>
#include <string_view>

#include "cldf/dataset.h"

namespace plix::cldf {

constexpr int kRecord = 400;  // columns of a database record

// The text with every byte that is not printable (C0 and C1 controls, DEL,
// bytes that are not UTF-8) and every '|', '@', '{' and '}' as '_', then
// without blanks at either end.
std::string safe_text(std::string_view s);

// The name the header gives: the safe Name, else the safe ID; '_' before one
// that would start with a digit or be empty, so that column 1 is never blank
// or a digit.
std::string display_name(const Language& l);

// "name|path@", or "name (ID)|path@" where another written language has the
// same name, within 400 columns; the path within 395 so that its key (path,
// ',', code, ',') fits too. Deep paths lose their lowest components.
std::string header_record(const Language& l, const std::string& name, bool with_id);

// The figure cell as the text of an F12.0 field: a decimal number, "0" when
// empty. Throws InputError naming `file` and the language's line.
std::string figure_text(const Language& l, const std::string& file, const Options& o);

// The ISO 639-3 code, else the first three characters of the ID.
std::string language_code(const Language& l);

}  // namespace plix::cldf
