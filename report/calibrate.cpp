#include "report/calibrate.h"

#include <cctype>
#include <cmath>
#include <limits>

#include "report/report.h"

namespace plix {

std::string_view node_path(const ClassificationTree& tree, int t) {
  const TreeNode& node = tree.nodes[t];
  if (node.depth == 0) return {};
  return {tree.keys.data() + static_cast<std::size_t>(node.label_slot - 1) * RECORD_WIDTH,
          static_cast<std::size_t>(node.label_begin + node.label_length)};
}

namespace {

bool contains_ignoring_case(std::string_view text, std::string_view part) {
  if (part.empty() || part.size() > text.size()) return false;
  for (std::size_t at = 0; at + part.size() <= text.size(); ++at) {
    std::size_t i = 0;
    while (i < part.size() &&
           std::tolower(static_cast<unsigned char>(text[at + i])) ==
               std::tolower(static_cast<unsigned char>(part[i])))
      ++i;
    if (i == part.size()) return true;
  }
  return false;
}

}  // namespace

NodeLookup find_tree_node(const ClassificationTree& tree, std::string_view name, int most) {
  NodeLookup found;
  const int count = static_cast<int>(tree.nodes.size());
  for (int t = 1; t < count; ++t) {
    if (node_path(tree, t) == name) {
      found.node = t;
      return found;
    }
  }
  std::vector<int> same;
  for (int t = 1; t < count; ++t)
    if (node_label(tree, tree.nodes[t]) == name) same.push_back(t);
  if (same.size() == 1) {
    found.node = same[0];
    return found;
  }
  found.ambiguous = !same.empty();
  if (found.ambiguous) {
    found.candidates = std::move(same);
  } else {
    for (int t = 1; t < count; ++t)
      if (contains_ignoring_case(node_label(tree, tree.nodes[t]), name)) found.candidates.push_back(t);
  }
  if (static_cast<int>(found.candidates.size()) > most) found.candidates.resize(most);
  return found;
}

RetentionFit fit_retention(const CalibrationPoint* points, int count, std::int32_t run_s0) {
  RetentionFit fit;
  constexpr double NONE = std::numeric_limits<double>::quiet_NaN();
  fit.s0_error = fit.r_error = NONE;
  if (count < 1) {
    fit.problem = "no known age names a dated node";
    return fit;
  }
  auto y_of = [](const CalibrationPoint& p) { return std::log10(static_cast<double>(p.mean) / 100.0); };
  double a = 0, b = 0;  // log10(S0 / 100) and 2 log10(R / 100)
  double a_error = NONE, b_error = NONE;
  if (count == 1) {
    const double t = points[0].years / 1000.0;
    if (!(t > 0.0)) {
      fit.problem = "a single known age must be above 0 years to fix a retention rate";
      return fit;
    }
    if (run_s0 <= 0) {
      fit.problem = "S0 of the run is not above 0";
      return fit;
    }
    a = std::log10(run_s0 / 100.0);
    b = (y_of(points[0]) - a) / t;
  } else {
    double w = 0, mean_t = 0, mean_y = 0;
    for (int i = 0; i < count; ++i) {
      w += points[i].weight;
      mean_t += points[i].weight * points[i].years / 1000.0;
      mean_y += points[i].weight * y_of(points[i]);
    }
    mean_t /= w;
    mean_y /= w;
    double stt = 0, sty = 0;
    for (int i = 0; i < count; ++i) {
      const double dt = points[i].years / 1000.0 - mean_t;
      stt += points[i].weight * dt * dt;
      sty += points[i].weight * dt * (y_of(points[i]) - mean_y);
    }
    if (!(stt > 0.0)) {
      fit.problem = "all known ages are equal: they fix no slope";
      return fit;
    }
    b = sty / stt;
    a = mean_y - b * mean_t;
    if (count > 2) {
      // The weights as inverse variances up to one factor, which the
      // residuals estimate.
      double residual = 0;
      for (int i = 0; i < count; ++i) {
        const double r = y_of(points[i]) - a - b * points[i].years / 1000.0;
        residual += points[i].weight * r * r;
      }
      const double sigma2 = residual / (count - 2);
      b_error = std::sqrt(sigma2 / stt);
      a_error = std::sqrt(sigma2 * (1.0 / w + mean_t * mean_t / stt));
    }
  }
  fit.s0 = 100.0 * std::pow(10.0, a);
  fit.r = 100.0 * std::pow(10.0, b / 2.0);
  // d(100 * 10^x) = 100 * 10^x * ln 10 * dx.
  fit.s0_error = fit.s0 * std::log(10.0) * a_error;
  fit.r_error = fit.r * std::log(10.0) * b_error / 2.0;
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
