// PLACEHOLDER until this phase is built.
#include "run/phases.h"
#include "textio/textio.h"
namespace plix {
void read_meaning_selection(RunState& run) { fatal_error(run.io, "read_meaning_selection: not built yet"); }
void read_sound_inventory(RunState& run) { fatal_error(run.io, "read_sound_inventory: not built yet"); }
}  // namespace plix
