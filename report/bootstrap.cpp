#include "report/bootstrap.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "distance/similarity.h"
#include "report/report.h"
#include "textio/progress.h"

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

float weighted_similarity(const float* means, int nmean, const std::uint16_t* weights,
                          FpFault& fault) {
  double same_sum = 0.0, same_count = 0.0, diff_sum = 0.0, diff_count = 0.0;
  for (int i = 0; i < nmean; ++i) {
    if (weights[i] == 0) continue;  // its terms are all +0
    const float* row = means + static_cast<std::size_t>(i) * nmean;
    for (int j = 0; j < nmean; ++j) {
      if (weights[j] == 0 || row[j] < 0.0f) continue;
      if (i == j) {
        same_count += weights[i];
        same_sum += static_cast<double>(weights[i]) * row[j];
      } else {
        const double w = static_cast<double>(weights[i] * weights[j]);
        diff_count += w;
        diff_sum += w * row[j];
      }
    }
  }
  return similarity_from_sums(same_sum, same_count, diff_sum, diff_count, fault);
}

void tally_replicates(const LanguageStore& store, int nmean, const ClassificationTree& tree,
                      const std::vector<std::uint16_t>& weights, int replicates, ByteSink* progress,
                      ReplicateTally& tally) {
  const int n = tree.language_count;
  const std::size_t cells = tree.nodes.size() * static_cast<std::size_t>(replicates);
  tally.replicates = replicates;
  tally.sum.assign(cells, 0.0);
  tally.count.assign(cells, 0);
  std::vector<float> means(static_cast<std::size_t>(nmean) * nmean);
  Progress shown;
  const double total = n < 2 ? 0 : 0.5 * n * (n - 1);
  if (progress) progress_begin(shown, *progress, total, progress_clock());
  double done = 0;
  // Pairs in the literal loop's order, so that each node's sums are added
  // up as the plain tally adds them.
  for (int a = 1; a < n; ++a) {
    const std::int32_t* ca = tree.chain.data() + tree.chain_begin[a];
    const int ha = tree.chain_begin[a + 1] - tree.chain_begin[a];
    for (int b = a + 1; b <= n; ++b) {
      const std::int32_t* cb = tree.chain.data() + tree.chain_begin[b];
      const int hb = tree.chain_begin[b + 1] - tree.chain_begin[b];
      int d = 0;  // the deepest node that holds both
      while (d + 1 < ha && d + 1 < hb && ca[d + 1] == cb[d + 1]) ++d;
      const std::size_t base = static_cast<std::size_t>(ca[d]) * replicates;
      meaning_pair_means(store, a, b, nmean, means.data());
      for (int r = 0; r < replicates; ++r) {
        FpFault fault;
        const float s = weighted_similarity(means.data(), nmean,
                                            weights.data() + static_cast<std::size_t>(r) * nmean, fault);
        if (fault != FpFault::none) continue;
        tally.sum[base + r] += s;
        ++tally.count[base + r];
      }
    }
    done += n - a;
    if (progress) progress_update(shown, done, progress_clock());
  }
  if (progress) progress_end(shown);
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

void summarize_replicates(const RunParameters& params, const ReplicateTally& tally,
                          ClassificationTree& tree) {
  const int count = static_cast<int>(tree.nodes.size());
  const int R = tally.replicates;
  tree.intervals.assign(count, NodeInterval{});
  // Ages per replicate; INT32_MIN where a replicate does not date the node.
  constexpr std::int32_t UNDATED = INT32_MIN;
  std::vector<std::int32_t> age(static_cast<std::size_t>(count) * R, UNDATED);
  std::vector<float> mean(static_cast<std::size_t>(count) * R, 0.0f);
  std::vector<char> has_mean(static_cast<std::size_t>(count) * R, 0);
  for (int t = 0; t < count; ++t) {
    for (int r = 0; r < R; ++r) {
      const std::size_t at = static_cast<std::size_t>(t) * R + r;
      if (tally.count[at] == 0) continue;
      has_mean[at] = 1;
      mean[at] = static_cast<float>(tally.sum[at] / tally.count[at]);
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
