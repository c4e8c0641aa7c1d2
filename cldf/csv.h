// CSV tables (RFC 4180: quoted fields, doubled quotes, line breaks inside
// quotes) in UTF-8 with an optional byte-order mark, parsed by libcsv.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace plix::cldf {

// Receives every record, the header included, with the line it begins on.
using CsvRow = std::function<void(std::vector<std::string>& fields, long line)>;

// Parses `text`, the content of `file` (named in errors). Throws InputError
// for invalid UTF-8, a stray or unterminated quote.
void parse_csv(std::string_view text, const std::string& file, char delimiter, const CsvRow& row);

// The line of the first byte that is not valid UTF-8, or 0 when all is valid.
long invalid_utf8_line(std::string_view text);

// The end of the line that begins at `at` (past its CR, LF or CR LF).
std::size_t line_end(std::string_view text, std::size_t at);

// Reads a whole file; throws InputError ("is a directory", "cannot be
// read: ...") when it cannot.
std::string read_file(const std::string& path);

// `text` without a leading UTF-8 byte-order mark.
std::string_view strip_bom(std::string_view text);

}  // namespace plix::cldf
