// The run parameters: the first input record, the reals derived from it and
// the two header lines of the report.
#pragma once

#include <cstdint>

#include "database/settings.h"

namespace plix {

struct TextIO;

// Reads the parameter record and derives the reals; counts the record.
void read_run_parameters(TextIO& io, RunParameters& params, std::int64_t& record_number);

// Applies the SYNONYMS rules and derives the five reals from the six
// integers (read_run_parameters does this right after the record).
void derive_run_parameters(TextIO& io, RunParameters& params);

// The two header lines of the report.
void write_header_lines(TextIO& io, const RunParameters& params);

}  // namespace plix
