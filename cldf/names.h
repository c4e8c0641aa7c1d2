// What the stream says of a language besides its words: the header record
// with its name and path, the figure and the three-character code.
#pragma once

#include <string>

#include "cldf/dataset.h"

namespace plix::cldf {

constexpr int kRecord = 400;  // columns of a database record

// "Name{ID|path@}", within 400 columns; the path within 395 so that its key
// (path, ',', code, ',') fits too. Deep paths lose their lowest components.
std::string header_record(const Language& l);

// The figure cell as the text of an F12.0 field: a decimal number, "0" when
// empty. Throws InputError naming `file` and the language's line.
std::string figure_text(const Language& l, const std::string& file, const Options& o);

// The ISO 639-3 code, else the first three characters of the ID.
std::string language_code(const Language& l);

}  // namespace plix::cldf
