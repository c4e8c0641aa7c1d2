// The meaning selection and the sound inventory: the two lists after the
// parameter record that steer the rest of the run. Each read counts its
// records in record_number.
#pragma once

#include <cstdint>

#include "database/codes.h"
#include "database/settings.h"

namespace plix {

struct TextIO;

// The format record and the meaning-number records up to the first 0.
void read_meaning_selection(TextIO& io, MeaningSelection& selection, std::int64_t& record_number);

// The symbol records up to the first blank; empties the combination tables.
void read_sound_inventory(TextIO& io, CodeTables& codes, std::int64_t& record_number);

}  // namespace plix
