// The command line: --help and --version, the result-file options, the
// diagnostic modes --check and --calibrate, and the rejection of unknown
// options. Options are listed in one table in
// run/options.cpp; add new ones there.
#pragma once

#include <string>

#include "textio/byte_stream.h"

namespace plix {

// What the command line asks of a run; an empty file name: not requested.
struct RunOptions {
  std::string table;   // --table FILE: one TSV row per report block
  std::string pairs;   // --pairs FILE: one TSV row per counted pair
  std::string matrix;  // --matrix FILE: PHYLIP distance matrix, and FILE.names
  std::string nexus;   // --nexus FILE: NEXUS distances, and FILE.names
  std::string tree;    // --tree FILE: the dated classification tree, Newick, and FILE.names
  std::string svg;     // --svg FILE: the same tree as a picture
  bool check = false;  // --check: findings about the stream instead of the report
  std::string ages;    // --calibrate FILE: known node ages to fit S0 and R to

  bool wants_names() const { return !matrix.empty() || !nexus.empty() || wants_tree(); }
  bool wants_tree() const { return !tree.empty() || !svg.empty(); }
};

// Exit status of a command line that cannot be run.
constexpr int USAGE_STATUS = 2;

// Reads the arguments into `options`. The first --help or --version is
// answered on `out` and its exit status returned. An unknown argument that
// begins with '-', an option without its file name, one given twice, or
// two options naming one file, or a diagnostic mode with result files or
// with the other mode: a message naming it and the usage text on
// `err`, USAGE_STATUS. Otherwise returns -1 and the run proceeds; arguments
// that do not begin with '-' are ignored.
int parse_options(int argc, const char* const* argv, RunOptions& options, ByteSink& out,
                  ByteSink& err);

}  // namespace plix
