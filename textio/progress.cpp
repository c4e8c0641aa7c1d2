#include "textio/progress.h"

#include <cstdio>
#include <cstring>

namespace plix {

double progress_clock() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void progress_begin(Progress& p, ByteSink& err, double total, double now) {
  p.sink = err.console ? &err : nullptr;
  p.total = total;
  p.start = now;
  p.last_shown = now;
  p.shown_length = 0;
}

std::size_t progress_text(char* buffer, std::size_t size, double done, double total,
                          double elapsed) {
  const double rate = elapsed > 0 ? done / elapsed : 0;
  const double left = rate > 0 ? (total - done) / rate : 0;
  const int n = std::snprintf(buffer, size, "%.0f of %.0f pairs, %.0f pairs/s, %.0f s left",
                              done, total, rate, left);
  if (n < 0) return 0;
  return static_cast<std::size_t>(n) < size ? static_cast<std::size_t>(n) : size - 1;
}

void progress_update(Progress& p, double done, double now) {
  if (p.sink == nullptr || now - p.start <= PROGRESS_DELAY_S) return;
  if (p.shown_length != 0 && now - p.last_shown < PROGRESS_INTERVAL_S) return;
  char line[160];
  line[0] = '\r';
  const std::size_t n = progress_text(line + 1, sizeof line - 1, done, p.total, now - p.start);
  // Blank out what a longer earlier line left on screen.
  std::size_t end = 1 + n;
  while (end < 1 + p.shown_length && end < sizeof line) line[end++] = ' ';
  // The indicator is a courtesy: a failed write to the terminal is ignored
  // here and left to the run's own writes to report.
  if (p.sink->write(line, end) == 0) p.shown_length = end - 1;
  p.last_shown = now;
}

void progress_end(Progress& p) {
  if (p.sink == nullptr || p.shown_length == 0) return;
  char line[162];
  const std::size_t n = p.shown_length < 160 ? p.shown_length : 160;
  line[0] = '\r';
  std::memset(line + 1, ' ', n);
  line[n + 1] = '\r';
  p.sink->write(line, n + 2);
  p.shown_length = 0;
}

}  // namespace plix
