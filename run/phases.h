// The phases of a run, in the order the driver calls them.
#pragma once

#include "run/run_state.h"

namespace plix {

void read_run_parameters(RunState& run);     // run/parameters.cpp
void write_header_lines(RunState& run);      // run/parameters.cpp
void read_meaning_selection(RunState& run);  // run/selection.cpp
void read_sound_inventory(RunState& run);    // run/selection.cpp
void scan_database(RunState& run);           // database/scanner.cpp
void finish_scan(RunState& run);             // report/aggregate.cpp
void aggregate_pairs(RunState& run);         // report/aggregate.cpp
void aggregate_pairs_reference(RunState& run);  // the literal pair loop, for tests
[[noreturn]] void write_report(RunState& run);  // report/report.cpp

// The phases that read the input stream, from the parameter record through
// the end of the database scan, with the header lines written on the way.
void read_run_input(RunState& run);  // run/driver.cpp

}  // namespace plix
