// The command line: --help and --version, the result-file options, the
// diagnostic modes --check and --calibrate, and the rejection of unknown
// options. Options are listed in one table in
// run/options.cpp; add new ones there.
#pragma once

#include <cstdint>
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
  std::string bootstrap_text, seed_text;  // --bootstrap N, --seed S as given
  int bootstrap = 0;           // replicates that resample the meanings; 0: none
  std::uint64_t seed = 1;      // of the replicates' draws

  bool wants_names() const { return !matrix.empty() || !nexus.empty() || wants_tree(); }
  bool wants_tree() const { return !tree.empty() || !svg.empty(); }
  // The dated tree of every level: for the tree files, the NEXUS TREES
  // block, and the intervals of the node table.
  bool needs_tree() const { return wants_tree() || !nexus.empty() || bootstrap > 0; }
};

// Most replicates of --bootstrap.
constexpr std::uint64_t MAX_BOOTSTRAP = 100000;

// Exit status of a command line that cannot be run.
constexpr int USAGE_STATUS = 2;

// Reads the arguments into `options`. The first --help or --version is
// answered on `out` and its exit status returned. An unknown argument that
// begins with '-', an option without its file name (the next argument is
// not taken when it begins with '-': --table=-name), one given twice, or
// two options naming one file (as text), or a diagnostic mode with result files or
// with the other mode: a message naming it and the usage text on
// `err`, USAGE_STATUS. Otherwise returns -1 and the run proceeds; arguments
// that do not begin with '-' are ignored.
int parse_options(int argc, const char* const* argv, RunOptions& options, ByteSink& out,
                  ByteSink& err);

// Compares the result files as files, after parse_options and before
// anything is read: two names of one existing file (same device and inode),
// two spellings of one name yet to be made (same folder, same name), or a
// result that is the regular file open as standard input (`in_fd`) or
// output (`out_fd`, -1: not compared) would lose data when the results are
// renamed into place. Returns -1, or USAGE_STATUS after a message naming
// both spellings and the usage text on `err`.
int refuse_shared_files(const RunOptions& options, int in_fd, int out_fd, ByteSink& err);

}  // namespace plix
