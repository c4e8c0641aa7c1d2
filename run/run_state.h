// All state of one run, assembled from the parts each subsystem owns.
// Created once when a run starts; nothing in it is allocated per record,
// language or pair. Each phase receives the parts it reads and writes.
#pragma once

#include <memory>

#include "database/codes.h"
#include "database/scan_state.h"
#include "database/settings.h"
#include "database/store.h"
#include "report/aggregate.h"
#include "report/bootstrap.h"
#include "textio/byte_stream.h"
#include "textio/textio.h"

namespace plix {

struct TextIO;

struct RunState {
  explicit RunState(TextIO& io) : io(io) {}
  TextIO& io;
  RunParameters params;        // run/parameters.h
  MeaningSelection selection;  // run/selection.h
  CodeTables codes;            // inventory: run/selection.h; combinations: database/encoder.h
  ScanState scan;              // database/scanner.h
  BranchTable branches;        // database/grouping.h
  LanguageStore store;         // database/encoder.h
  LanguageOrigins origins;     // database/scanner.h
  NodeTally tally;             // report/aggregate.h
  RunReplicates replicates;    // report/bootstrap.h: --bootstrap's, when it is given

  // The parts the database phases work on.
  ScanContext scan_context() { return {io, params, selection, codes, scan, branches, store, origins}; }
};

// The phases that read the input stream, from the parameter record through
// the end of the database scan, with the header lines written on the way.
void read_run_input(RunState& run);  // run/driver.cpp

// The tables of a run, made once (run/driver.cpp); without the memory for
// them the run ends with the out-of-memory message (RunEnd, status 1).
std::unique_ptr<RunState> make_run_state(TextIO& io);

// A run that writes no report (--check, --calibrate): its text I/O over the
// input and standard error, the report discarded, and its tables.
struct QuietRun {
  DiscardSink report;
  TextIOHandle io;
  std::unique_ptr<RunState> run;
};
// Opens q (run/driver.cpp): 0, or the status the run ends with, its
// message written.
int open_quiet_run(ByteSource& in, ByteSink& err, QuietRun& q);

}  // namespace plix
