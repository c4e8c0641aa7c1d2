#include "report/calibrate.h"

#include <cmath>

#include "report/report.h"

namespace plix {

int find_dated_node(const BranchTable& branches, const NodeTally& tally, std::int32_t level,
                    std::string_view name) {
  int found = 0;
  char label[RECORD_WIDTH];
  for (int b = 1; b <= branches.branch_count; ++b) {
    const int k = branches.node_of[b];
    if (branches.member_count[b] == 0 || tally.pair_count[k] == 0.0 || k == found) continue;
    int length = branch_label(branches, b, level, label);
    if (length > 0 && label[length - 1] == ' ') --length;  // the blank the report adds
    const std::string_view shown(label, static_cast<std::size_t>(length));
    const bool match = shown == name || (shown.size() > name.size() && shown.substr(0, name.size()) == name &&
                                         shown[name.size()] == ',');
    if (!match) continue;
    if (found != 0) return -1;
    found = k;
  }
  return found;
}

float node_mean(const NodeTally& tally, int k) {
  return static_cast<float>(tally.similarity_sum[k] / tally.pair_count[k]);
}

RetentionFit fit_retention(const float* means, const double* years, int count, std::int32_t run_s0) {
  RetentionFit fit;
  if (count < 1) {
    fit.problem = "no known age names a dated node";
    return fit;
  }
  double a = 0, b = 0;  // log10(S0 / 100) and 2 log10(R / 100)
  if (count == 1) {
    const double t = years[0] / 1000.0;
    if (t == 0.0) {
      fit.problem = "a single known age of 0 years fixes no retention rate";
      return fit;
    }
    if (run_s0 <= 0) {
      fit.problem = "S0 of the run is not above 0";
      return fit;
    }
    a = std::log10(run_s0 / 100.0);
    b = (std::log10(static_cast<double>(means[0]) / 100.0) - a) / t;
  } else {
    double mean_t = 0, mean_y = 0;
    for (int i = 0; i < count; ++i) {
      mean_t += years[i] / 1000.0;
      mean_y += std::log10(static_cast<double>(means[i]) / 100.0);
    }
    mean_t /= count;
    mean_y /= count;
    double stt = 0, sty = 0;
    for (int i = 0; i < count; ++i) {
      const double dt = years[i] / 1000.0 - mean_t;
      stt += dt * dt;
      sty += dt * (std::log10(static_cast<double>(means[i]) / 100.0) - mean_y);
    }
    if (stt == 0.0) {
      fit.problem = "all known ages are equal: they fix no slope";
      return fit;
    }
    b = sty / stt;
    a = mean_y - b * mean_t;
  }
  fit.s0 = 100.0 * std::pow(10.0, a);
  fit.r = 100.0 * std::pow(10.0, b / 2.0);
  fit.S0 = static_cast<std::int32_t>(std::floor(fit.s0 + 0.5));
  fit.R = static_cast<std::int32_t>(std::floor(fit.r + 0.5));
  if (!(b < 0.0)) {
    fit.problem = "the similarities do not fall with age: no retention rate below 100 fits";
  } else if (fit.S0 < 1 || fit.S0 > 999 || fit.R < 1 || fit.R > 99) {
    fit.problem = "the fitted values do not fit the parameter record (S0 1..999, R 1..99)";
  }
  return fit;
}

}  // namespace plix
