// PLACEHOLDER until this phase is built.
#include "run/phases.h"
#include "textio/textio.h"
namespace plix {
void read_run_parameters(RunState& run) { fatal_error(run.io, "read_run_parameters: not built yet"); }
void write_header_lines(RunState& run) { fatal_error(run.io, "write_header_lines: not built yet"); }
}  // namespace plix
