#include "report/report.h"

#include <cmath>
#include <cstdio>

#include "textio/textio.h"

namespace plix {

namespace {

// Truncation toward zero that saturates instead of leaving the int32 range
// (and maps a NaN to 0 rather than converting it).
std::int32_t truncate_saturating(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return INT32_MAX;
  if (value <= -2147483648.0) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

// A node's count of pairs, which passes the int32 range from some 65,536
// languages in one node on; the double holds it exactly below 2^53.
std::int64_t pair_total(double count) {
  if (std::isnan(count)) return 0;
  if (count >= 9223372036854775807.0) return INT64_MAX;
  return static_cast<std::int64_t>(count);
}

int decimal_digits(std::int64_t value) {
  int digits = 0;
  for (std::int64_t v = value; v > 0; v /= 10) ++digits;
  return digits;
}

// The pairs line. A count below 1,000,000 leaves at least one blank in front
// of it in I7, and that blank is the carriage control. A larger count would
// fill the field and give its first digit to carriage control, so it is
// written in full behind a blank control column; the line grows by its extra
// digits.
void write_pairs_line(TextIO& io, std::int64_t pairs, float mean, const std::int32_t* age) {
  char format[64];
  if (pairs < 1000000) {
    begin_write(io,
                age != nullptr ? "(I7,'  PAIRS',F8.2,'%',I7,' BP')" : "(I7,'  PAIRS',F8.2,'%')");
  } else {
    const int digits = decimal_digits(pairs);
    const int n = std::snprintf(format, sizeof format, "(1X,I%d,'  PAIRS',F8.2,'%%'%s)", digits,
                                age != nullptr ? ",I7,' BP'" : "");
    begin_write(io, std::string_view(format, static_cast<std::size_t>(n)));
  }
  write_integer(io, pairs);
  write_real(io, mean);
  if (age != nullptr) write_integer(io, *age);
  end_write(io);
}

}  // namespace

std::int32_t estimate_age(const RunParameters& params, float mean) {
  const double t = ((std::log10(static_cast<double>(mean)) - 2.0) -
                    static_cast<double>(params.log_s0)) /
                   static_cast<double>(params.two_log_r);
  return truncate_saturating(t * 1000.0 + 0.5);
}

int branch_label(const BranchTable& table, int b, std::int32_t level, char (&label)[RECORD_WIDTH]) {
  const char* key = table.branch_key[b];
  std::int32_t commas = 0;
  for (int m = 1; m <= RECORD_WIDTH; ++m) {
    label[m - 1] = ' ';
    const char c = key[m - 1];
    if (c == ',') ++commas;
    if (commas > level || c == ' ') return m;
    label[m - 1] = c;
  }
  return RECORD_WIDTH;
}

std::string_view branch_components(const BranchTable& table, int b, std::int32_t level) {
  const char* key = table.branch_key[b];
  std::size_t n = RECORD_WIDTH;
  while (n > 0 && key[n - 1] == ' ') --n;  // blank beyond the key's length
  if (level < 0) return {};
  std::int64_t commas = 0;
  for (std::size_t m = 0; m < n; ++m)
    if (key[m] == ',' && ++commas > level) return {key, m};
  if (n > 0 && key[n - 1] == ',') --n;
  return {key, n};
}

void write_report(TextIO& io, const RunParameters& params, const BranchTable& branches,
                  const NodeTally& tally) {
  char label[RECORD_WIDTH];
  for (int k = 1; k <= branches.node_count; ++k) {
    if (tally.pair_count[k] == 0.0) continue;
    begin_write(io, "(12I6)");
    end_write(io);
    for (int b = 1; b <= branches.branch_count; ++b) {
      if (branches.node_of[b] != k || branches.member_count[b] == 0) continue;
      const int length = branch_label(branches, b, params.LEVEL, label);
      const std::int32_t members = branches.member_count[b];
      // A count of 1,000,000 or more is written as the pairs line's is.
      if (members < 1000000) {
        begin_write(io, "(I7,2X,400A1)");
      } else {
        char format[32];
        const int n = std::snprintf(format, sizeof format, "(1X,I%d,2X,400A1)", decimal_digits(members));
        begin_write(io, std::string_view(format, static_cast<std::size_t>(n)));
      }
      write_integer(io, members);
      for (int m = 0; m < length; ++m) write_character(io, label[m]);
      end_write(io);
    }
    const float mean = static_cast<float>(tally.similarity_sum[k] / tally.pair_count[k]);
    const std::int64_t pairs = pair_total(tally.pair_count[k]);
    if (mean >= AGE_THRESHOLD) {
      const std::int32_t age = estimate_age(params, mean);
      write_pairs_line(io, pairs, mean, &age);
    } else {
      write_pairs_line(io, pairs, mean, nullptr);
    }
  }
  stop_run(io);
}

}  // namespace plix
