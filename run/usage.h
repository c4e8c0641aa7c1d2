// The command line: --help and --version, the only arguments recognised.
#pragma once

#include <string_view>

#include "textio/byte_stream.h"

namespace plix {

std::string_view usage_text();
std::string_view version_text();

// Answers the first --help or --version among the arguments on `out` and
// returns its exit status; returns -1 when neither is present (every other
// argument is ignored and the run proceeds).
int answer_arguments(int argc, const char* const* argv, ByteSink& out);

}  // namespace plix
