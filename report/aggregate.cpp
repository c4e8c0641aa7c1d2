// PLACEHOLDER until this phase is built.
#include "run/phases.h"
#include "textio/textio.h"
namespace plix {
void finish_scan(RunState& run) { fatal_error(run.io, "finish_scan: not built yet"); }
void aggregate_pairs(RunState& run) { fatal_error(run.io, "aggregate_pairs: not built yet"); }
}  // namespace plix
