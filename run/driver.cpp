#include <memory>

#include "run/phases.h"
#include "run/run.h"
#include "textio/units.h"

namespace plix {

void read_run_input(RunState& run) {
  read_run_parameters(run);
  read_meaning_selection(run);
  write_header_lines(run);
  clear_branch_table(run.branches);
  read_sound_inventory(run);
  // One record passed over unread.
  begin_read(run.io, "(400A1)");
  read_characters(run.io, run.record, RECORD_WIDTH);
  end_read(run.io);
  ++run.record_number;
  run.open_slot = 0;
  scan_database(run);
}

namespace {

// Every phase once, in order; write_report ends the run with stop_run.
[[noreturn]] void run_phases(RunState& run) {
  read_run_input(run);
  finish_scan(run);
  aggregate_pairs(run);
  write_report(run);
}

}  // namespace

int run_program(ByteSource& in, ByteSink& out, ByteSink& err) {
  TextIO io(in, out, err);
  try {
    // The tables are large: made once per run, not zeroed wholesale; each
    // phase clears what it reads.
    auto run = std::make_unique<RunState>(io);
    run_phases(*run);
  } catch (const RunEnd& end) {
    return end.status;
  }
}

}  // namespace plix
