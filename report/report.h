// The dated report: one block per node with counted pairs, the age estimate
// and the branch labels of its lines.
#pragma once

#include <cstdint>
#include <string_view>

#include "database/settings.h"
#include "database/store.h"
#include "report/aggregate.h"

namespace plix {

struct TextIO;

// A mean below this single-precision value (0.004999999888) gets no age.
constexpr float AGE_THRESHOLD = 0.005f;

// Years before present for a mean similarity in percent, from log_s0 and
// two_log_r: t = ((log10(mean) - 2) - log_s0) / two_log_r in double, then
// t * 1000 + 0.5 truncated toward zero. Values beyond 32 bits saturate at
// the int32 limits (the I7 field then shows asterisks).
std::int32_t estimate_age(const RunParameters& params, float mean);

// Whether the report's I7 field shows the age as a number rather than
// asterisks. An age it cannot show is no age in any result file either.
constexpr bool printable_age(std::int32_t age) { return age >= -999999 && age <= 9999999; }

// Writes the label of branch b into `label` and returns its length: the key
// up to its (level + 1)-th comma or its first blank, followed by one blank.
// A key that neither stops gives its 400 characters.
int branch_label(const BranchTable& table, int b, std::int32_t level, char (&label)[RECORD_WIDTH]);

// The first level + 1 components of branch b's key, whole (blanks
// included), without the comma after them; the whole key (without its
// final comma) when it has fewer. The result files name branches so: the
// report's labels stop at the first blank, so that "Big River,G1" and
// "Big River,G2" both print as "Big".
std::string_view branch_components(const BranchTable& table, int b, std::int32_t level);

// Writes a block for every node with counted pairs and ends the run with
// the stop line.
[[noreturn]] void write_report(TextIO& io, const RunParameters& params, const BranchTable& branches,
                               const NodeTally& tally);

}  // namespace plix
