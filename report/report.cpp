// PLACEHOLDER until this phase is built.
#include "run/phases.h"
#include "textio/textio.h"
namespace plix {
void write_report(RunState& run) { fatal_error(run.io, "write_report: not built yet"); }
}  // namespace plix
