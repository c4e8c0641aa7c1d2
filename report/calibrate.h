// Calibration of the retention parameters: node ages known from elsewhere
// against the mean similarities of the tree's nodes give S0 and R.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "report/tree.h"

namespace plix {

// The full path of node t: the key components its languages share, joined
// by commas ("Austronesian,Malayo-Polynesian,Oceanic"); empty for the root.
std::string_view node_path(const ClassificationTree& tree, int t);

// The node `name` names: its full path, or, where no full path matches and
// only one node has it, its last component. `node` is -1 when none or
// several match; `candidates` then holds the nodes it could mean (those
// several, or nodes whose last component contains it, ignoring case), at
// most `most` of them, in node order.
struct NodeLookup {
  int node = -1;
  bool ambiguous = false;
  std::vector<int> candidates;
};
NodeLookup find_tree_node(const ClassificationTree& tree, std::string_view name, int most = 8);

// One node of known age: its mean similarity in percent, the age in years
// and its weight in the fit.
struct CalibrationPoint {
  float mean = 0;
  double years = 0;
  double weight = 1;
};

// The fit of log10(mean / 100) = log10(S0 / 100) + 2 log10(R / 100) t, with
// t the known age in thousands of years. With one point S0 stays `run_s0`
// (the run's) and R is solved for; with two or more S0 and R come from the
// weighted least-squares line. The standard errors are those of the line's
// coefficients carried over to S0 and R; they need a residual, so at least
// three points (NaN otherwise, and for S0 with one point). `problem` is
// empty on success.
struct RetentionFit {
  double s0 = 0, r = 0;          // exact percentages
  double s0_error = 0, r_error = 0;
  std::int32_t S0 = 0, R = 0;    // rounded to the integers of the parameter record
  std::string problem;
};
RetentionFit fit_retention(const CalibrationPoint* points, int count, std::int32_t run_s0);

}  // namespace plix
