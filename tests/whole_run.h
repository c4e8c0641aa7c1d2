// A whole run of the program in-process, its standard streams in memory: the
// one helper of the tests, the fuzzers and the benchmarks.
#pragma once

#include <cstddef>
#include <string>

#include "run/run.h"
#include "textio/byte_stream.h"

namespace plix {

struct RunResult {
  int status;
  std::string out, err;
};

inline RunResult run_whole(ByteSource& in) {
  StringSink out, err;
  const int status = run_program(in, out, err);
  return {status, out.data, err.data};
}

// The input delivered in pieces of at most `chunk` bytes, as a pipe may.
inline RunResult run_whole(const std::string& input, std::size_t chunk = 1 << 16) {
  StringSource in(input, chunk);
  return run_whole(in);
}

}  // namespace plix
