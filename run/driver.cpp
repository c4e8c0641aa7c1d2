#include <algorithm>
#include <memory>
#include <new>

#include "database/scanner.h"
#include "database/store.h"
#include "report/aggregate.h"
#include "report/pair_engine.h"
#include "report/report.h"
#include "run/parameters.h"
#include "run/results.h"
#include "run/run.h"
#include "run/run_state.h"
#include "run/selection.h"
#include "textio/textio.h"

namespace plix {

void read_run_input(RunState& run) {
  std::int64_t& records = run.scan.record_number;
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

std::unique_ptr<RunState> make_run_state(TextIO& io) {
  // The tables are large: made once per run, not zeroed wholesale; each
  // phase clears what it reads.
  try {
    return std::make_unique<RunState>(io);
  } catch (const std::bad_alloc&) {
    out_of_memory(io, "the tables of the run", sizeof(RunState));
  }
}

int open_quiet_run(ByteSource& in, ByteSink& err, QuietRun& q) {
  q.io = open_text_io(in, q.report, err);
  if (!q.io) return 1;
  try {
    q.run = make_run_state(*q.io);
  } catch (const RunEnd& end) {
    return end.status;
  }
  return 0;
}

namespace {

// Every phase once, in order; write_report ends the run with stop_run.
[[noreturn]] void run_phases(RunState& run, const RunOptions& options, ResultFiles& files) {
  open_result_files(run.io, options, files);
  read_run_input(run);
  finish_scan(run.scan_context());
  const std::unique_ptr<PairSink> pairs = pair_list_sink(run, files);
  // --bootstrap: the replicates of the run's own level come with its pass.
  ReplicateWeights weights;
  if (options.bootstrap > 0) {
    try {
      prepare_replicates(options.seed, options.bootstrap,
                         std::min(run.selection.meaning_count, MAX_MEANINGS), run.replicates);
    } catch (const std::bad_alloc&) {
      out_of_memory(run.io, "the weights of the replicates", 0);
    }
    weights = run.replicates.weights();
  }
  aggregate_pairs(run.io, run.store, run.branches, run.scan.language_count,
                  run.selection.meaning_count, run.tally, pairs.get(),
                  options.bootstrap > 0 ? &weights : nullptr,
                  options.bootstrap > 0 ? &run.replicates.level : nullptr);
  write_result_files(run, options, files);
  write_report(run.io, run.params, run.branches, run.tally);
}

// The run's tables, then its phases; memory that cannot be had ends the run
// with a message, after the lines already written. Result files that are not
// renamed into place are removed with `files`.
int run_with(TextIO& io, ByteSink& err, const RunOptions& options) {
  std::unique_ptr<ResultFiles> files;
  try {
    try {
      files = std::make_unique<ResultFiles>();
      run_phases(*make_run_state(io), options, *files);
    } catch (const std::bad_alloc&) {
      out_of_memory(io, "working memory", 0);
    } catch (const EngineOutOfMemory& e) {
      // The engine's tables of a pass that the results make (tree, matrix).
      out_of_memory(io, e.what, e.bytes);
    }
  } catch (const RunEnd& end) {
    if (end.status != 0) return end.status;
    return commit_result_files(*files, err);
  }
}

}  // namespace

int run_program(ByteSource& in, ByteSink& out, ByteSink& err, const RunOptions& options) {
  TextIOHandle io = open_text_io(in, out, err);
  if (!io) return 1;
  return run_with(*io, err, options);
}

}  // namespace plix
