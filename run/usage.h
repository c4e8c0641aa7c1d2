// The command line: --help and --version, the only arguments recognised.
#pragma once

#include <string>
#include <string_view>

#include "textio/byte_stream.h"

namespace plix {

std::string_view usage_text();
// The name and version, and the kernel path a run would take and why.
std::string version_text();

// Answers the first --help or --version among the arguments on `out` and
// returns its exit status; returns -1 when neither is present (every other
// argument is ignored and the run proceeds). A failed write is reported on
// `err` as every failed write to standard output is, with status 1.
int answer_arguments(int argc, const char* const* argv, ByteSink& out, ByteSink& err);

}  // namespace plix
