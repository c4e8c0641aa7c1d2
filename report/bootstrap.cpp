#include "report/bootstrap.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "report/report.h"

namespace plix {

std::vector<std::uint16_t> draw_meaning_weights(std::uint64_t seed, int replicates, int nmean) {
  std::vector<std::uint16_t> weights(static_cast<std::size_t>(replicates) * nmean, 0);
  if (nmean <= 0) return weights;
  std::mt19937_64 draw(seed);
  // Unbiased draws from 0..nmean-1 by rejection: the distributions of the
  // standard library differ between implementations, the engine does not.
  const std::uint64_t n = static_cast<std::uint64_t>(nmean);
  const std::uint64_t limit = UINT64_MAX - UINT64_MAX % n;
  for (int r = 0; r < replicates; ++r) {
    std::uint16_t* w = weights.data() + static_cast<std::size_t>(r) * nmean;
    for (int k = 0; k < nmean; ++k) {
      std::uint64_t x;
      do x = draw(); while (x >= limit);
      ++w[x % n];
    }
  }
  return weights;
}

void prepare_replicates(const std::vector<std::uint16_t>& weights, int replicates, int nmean,
                        RunReplicates& run) {
  run.replicates = replicates;
  run.nmean = nmean;
  run.stride = (replicates + REPLICATE_STRIDE - 1) / REPLICATE_STRIDE * REPLICATE_STRIDE;
  run.weight.assign(static_cast<std::size_t>(nmean) * run.stride, 0.0);
  for (int r = 0; r < replicates; ++r)
    for (int i = 0; i < nmean; ++i)
      run.weight[static_cast<std::size_t>(i) * run.stride + r] =
          weights[static_cast<std::size_t>(r) * nmean + i];
}

void prepare_replicates(std::uint64_t seed, int replicates, int nmean, RunReplicates& run) {
  prepare_replicates(draw_meaning_weights(seed, replicates, nmean), replicates, nmean, run);
}

namespace {

// The nearest-rank q-quantile of sorted values.
template <typename T>
T quantile(const std::vector<T>& sorted, double q) {
  const std::size_t n = sorted.size();
  std::size_t rank = static_cast<std::size_t>(std::ceil(q * static_cast<double>(n)));
  rank = std::clamp<std::size_t>(rank, 1, n);
  return sorted[rank - 1];
}

}  // namespace

void summarize_replicates(const RunParameters& params, const ReplicateSums& sums, int replicates,
                          ClassificationTree& tree) {
  const int count = static_cast<int>(tree.nodes.size());
  const int R = replicates;
  tree.intervals.assign(count, NodeInterval{});
  // Ages per replicate; INT32_MIN where a replicate does not date the node.
  constexpr std::int32_t UNDATED = INT32_MIN;
  std::vector<std::int32_t> age(static_cast<std::size_t>(count) * R, UNDATED);
  std::vector<float> mean(static_cast<std::size_t>(count) * R, 0.0f);
  std::vector<char> has_mean(static_cast<std::size_t>(count) * R, 0);
  for (int t = 0; t < count; ++t) {
    for (int r = 0; r < R; ++r) {
      const std::size_t at = static_cast<std::size_t>(t) * R + r;
      const std::size_t in = static_cast<std::size_t>(t) * sums.stride + r;
      if (sums.count[in] == 0) continue;
      has_mean[at] = 1;
      mean[at] = static_cast<float>(sums.sum[in] / sums.count[in]);
      if (mean[at] < AGE_THRESHOLD) continue;
      const std::int32_t a = estimate_age(params, mean[at]);
      if (printable_age(a)) age[at] = a;
    }
  }
  std::vector<std::int32_t> ages;
  std::vector<float> means;
  for (int t = 0; t < count; ++t) {
    if (tree.nodes[t].pair_count == 0 || R == 0) continue;
    NodeInterval& interval = tree.intervals[t];
    const std::size_t first = static_cast<std::size_t>(t) * R;
    means.clear();
    ages.clear();
    for (int r = 0; r < R; ++r) {
      if (has_mean[first + r]) means.push_back(mean[first + r]);
      if (age[first + r] != UNDATED) ages.push_back(age[first + r]);
    }
    if (static_cast<int>(means.size()) == R) {
      std::sort(means.begin(), means.end());
      interval.similarity_low = quantile(means, 0.025);
      interval.similarity_high = quantile(means, 0.975);
    }
    if (static_cast<int>(ages.size()) == R) {
      std::sort(ages.begin(), ages.end());
      interval.has_age = true;
      interval.age_low = quantile(ages, 0.025);
      interval.age_high = quantile(ages, 0.975);
    }
    int up = tree.nodes[t].parent;
    while (up > 0 && tree.nodes[up].pair_count == 0) up = tree.nodes[up].parent;
    if (up < 0 || tree.nodes[up].pair_count == 0) continue;
    int older = 0;
    const std::size_t above = static_cast<std::size_t>(up) * R;
    for (int r = 0; r < R; ++r)
      older += age[first + r] != UNDATED && age[above + r] != UNDATED && age[first + r] > age[above + r];
    interval.outside_nesting = static_cast<double>(older) / R;
  }
}

}  // namespace plix
