// PLACEHOLDER until this phase is built.
#include "run/phases.h"
#include "textio/textio.h"
namespace plix {
void scan_database(RunState& run) { fatal_error(run.io, "scan_database: not built yet"); }
}  // namespace plix
