// A whole run of the program over its three streams; returns the exit status.
#pragma once

#include "run/options.h"
#include "textio/byte_stream.h"

namespace plix {

int run_program(ByteSource& in, ByteSink& out, ByteSink& err, const RunOptions& options = {});

}  // namespace plix
