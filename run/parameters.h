// The run parameters beyond the phase entry points.
#pragma once

#include "run/run_state.h"

namespace plix {

// Applies the SYNONYMS rules and derives the five reals from the six
// integers (read_run_parameters does this right after the record).
void derive_run_parameters(RunState& run);

}  // namespace plix
