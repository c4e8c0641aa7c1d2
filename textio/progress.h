// A one-line progress indicator for the pair loop on standard error. It is
// shown only when standard error is a terminal and the loop has run for more
// than a second, and it is erased again before anything else is written
// there or on standard output.
#pragma once

#include <chrono>
#include <cstddef>

#include "textio/byte_stream.h"

namespace plix {

struct Progress {
  ByteSink* sink = nullptr;  // null when nothing may be shown
  double total = 0;          // language pairs in the loop
  double start = 0;          // seconds, on the clock passed in
  double last_shown = 0;
  std::size_t shown_length = 0;  // characters of the line on screen, 0 = none
};

constexpr double PROGRESS_DELAY_S = 1.0;     // no line for shorter loops
constexpr double PROGRESS_INTERVAL_S = 0.25;  // between redraws

// Seconds on a monotonic clock.
double progress_clock();

// Starts the indicator for `total` pairs; it stays silent unless `err` is a
// terminal.
void progress_begin(Progress& p, ByteSink& err, double total, double now);
// `done` pairs finished at time `now`: draws or redraws the line when due.
void progress_update(Progress& p, double done, double now);
// Erases the line, if one is shown.
void progress_end(Progress& p);

// The text of the line (without the leading carriage return).
std::size_t progress_text(char* buffer, std::size_t size, double done, double total,
                          double elapsed);

}  // namespace plix
