// Calibration of the retention parameters: node ages known from elsewhere
// against the mean similarities of the run give S0 and R.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "database/store.h"
#include "report/aggregate.h"

namespace plix {

// The node that `name` names among the dated nodes (those with counted
// pairs): a listed branch's label as the report shows it, or leading
// components of one (the label starts with `name` and a comma). Returns the
// node number, 0 when no dated node matches, -1 when several do.
int find_dated_node(const BranchTable& branches, const NodeTally& tally, std::int32_t level,
                    std::string_view name);

// The mean similarity of node k, as the report prints it.
float node_mean(const NodeTally& tally, int k);

// The fit of log10(mean / 100) = log10(S0 / 100) + 2 log10(R / 100) t, with
// t the known age in thousands of years and the mean in percent. With one
// point S0 stays `run_s0` (the run's) and R is solved for; with two or more
// S0 and R come from the least-squares line. `problem` is empty on success.
struct RetentionFit {
  double s0 = 0, r = 0;          // exact percentages
  std::int32_t S0 = 0, R = 0;    // rounded to the integers of the parameter record
  std::string problem;
};
RetentionFit fit_retention(const float* means, const double* years, int count, std::int32_t run_s0);

}  // namespace plix
