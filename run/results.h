// The result files a run writes besides its report: opened before the input
// is read, so that a file that cannot be made fails the run at once; filled
// after the pair aggregation; renamed into place only after the report's
// stop line. A run that ends in any error leaves none of them.
#pragma once

#include "database/origins.h"
#include <memory>

#include "report/names.h"
#include "report/pair_engine.h"
#include "run/options.h"
#include "textio/result_file.h"

namespace plix {

struct RunState;
struct TextIO;

struct ResultFiles {
  ResultFile table, pairs, matrix, matrix_names, nexus, nexus_names, tree, tree_names, svg;
  LanguageNames names;  // for the distance files and the tree

  ResultFile* all[9] = {&table, &pairs, &matrix, &matrix_names, &nexus, &nexus_names,
                        &tree, &tree_names, &svg};
};

// Creates the temporary file of every requested result; one that cannot be
// made ends the run with a message naming it.
void open_result_files(TextIO& io, const RunOptions& options, ResultFiles& files);

// Closes a complete result file; a failed write ends the run with a message
// naming it.
void close_result_file(TextIO& io, ResultFile& file);

// The sink that writes the pair list during the aggregation, when asked for.
std::unique_ptr<PairSink> pair_list_sink(RunState& run, ResultFiles& files);

// Closes the pair list; writes and closes the results that follow from the
// tally and the store.
void write_result_files(RunState& run, const RunOptions& options, ResultFiles& files);

// Puts every closed result file in place, or none: the files they replace
// are kept as links until the last rename and the folders are flushed to
// the disk; a step that fails puts back what was replaced. Returns 0, or 1
// after a message on `err` naming the file that failed and those put back.
int commit_result_files(ResultFiles& files, ByteSink& err);

}  // namespace plix
