#include <memory>

#include "database/scanner.h"
#include "database/store.h"
#include "report/aggregate.h"
#include "report/report.h"
#include "run/parameters.h"
#include "run/run.h"
#include "run/results.h"
#include "run/run_state.h"
#include "run/selection.h"
#include "textio/textio.h"

namespace plix {

void read_run_input(RunState& run) {
  std::int32_t& records = run.scan.record_number;
  read_run_parameters(run.io, run.params, records);
  read_meaning_selection(run.io, run.selection, records);
  write_header_lines(run.io, run.params);
  clear_branch_table(run.branches);
  read_sound_inventory(run.io, run.codes, records);
  // One record passed over unread.
  set_read_place(run.io, {.record = "the record passed over after the inventory"});
  begin_read(run.io, "(400A1)");
  read_characters(run.io, run.scan.record, RECORD_WIDTH);
  end_read(run.io);
  ++records;
  run.scan.open_slot = 0;
  scan_database(run.scan_context());
}

namespace {

// Every phase once, in order; write_report ends the run with stop_run.
[[noreturn]] void run_phases(RunState& run, const RunOptions& options, ResultFiles& files) {
  open_result_files(run.io, options, files);
  read_run_input(run);
  finish_scan(run.scan_context());
  const std::unique_ptr<PairSink> pairs = pair_list_sink(run, files);
  aggregate_pairs(run.io, run.store, run.branches, run.scan.language_count,
                  run.selection.meaning_count, run.tally, pairs.get());
  write_result_files(run, options, files);
  write_report(run.io, run.params, run.branches, run.tally);
}

}  // namespace

int run_program(ByteSource& in, ByteSink& out, ByteSink& err, const RunOptions& options) {
  TextIOHandle io = open_text_io(in, out, err);
  // Result files that are not renamed into place are removed with it.
  auto files = std::make_unique<ResultFiles>();
  try {
    // The tables are large: made once per run, not zeroed wholesale; each
    // phase clears what it reads.
    auto run = std::make_unique<RunState>(*io);
    run_phases(*run, options, *files);
  } catch (const RunEnd& end) {
    if (end.status != 0) return end.status;
    return commit_result_files(*files, err);
  }
}

}  // namespace plix
