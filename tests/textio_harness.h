// In-memory streams around one set of record units, for the textio tests.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "textio/units.h"

namespace plix::testing {

struct Harness {
  explicit Harness(std::string input = {}, std::size_t chunk = 1 << 16)
      : in(std::move(input), chunk), io(in, out, err) {}

  // Runs f(io); returns the status of the end of the run, or -1 when f
  // returned normally (the output held so far is then written out).
  template <typename F>
  int run(F&& f) {
    try {
      f(io);
      flush_output(io);
    } catch (const RunEnd& end) {
      return end.status;
    }
    return -1;
  }

  StringSource in;
  StringSink out, err;
  TextIO io;
};

// The report on standard error of a failed read.
inline std::string read_report(int number, const std::string& message) {
  return "\r\nrun-time error F" + std::to_string(number) + ": READ(CON)\r\n- " + message + "\r\n";
}

}  // namespace plix::testing
