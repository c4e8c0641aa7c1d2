// The database scanner: reads the database records up to the end-of-data
// record, admits or skips each language, gives admitted languages their
// slots and hands the selected word records to the encoder.
#pragma once

#include <cstdint>

#include "database/scan_state.h"

namespace plix {

// The number formed by the leading decimal digits of columns 1..3 of `line`;
// 0 when column 1 is not a digit.
std::int32_t meaning_number(const char* line);

// Whether a language with this header (bar column 1..401, beyond column 400
// when the header has no usable '|') and figure is admitted.
bool language_admitted(const ScanContext& db, const char* line, int bar_column, float figure);

// Closes the open language (retained when it attested at least WORDS
// meanings, otherwise its slot is reused) and opens the language of header
// record `line` in slot open_slot.
void admit_language(const ScanContext& db, const char* line, int bar_column, const char* language_code,
                    std::int64_t header_record);

// Reads the database records up to the end-of-data record; the record
// before them has been read into scan.record and open_slot is 0.
void scan_database(const ScanContext& db);

// Closes the last open language (retained when it attested at least WORDS
// meanings) and sets scan.language_count to the retained languages.
void finish_scan(const ScanContext& db);

}  // namespace plix
