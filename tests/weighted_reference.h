// The literal replicate formula of resampled meanings, straight from the
// words, shared by the tests of the kernels and of the tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "database/store.h"
#include "distance/similarity.h"

namespace plix {

// The similarities of languages a < b in R replicates, meaning i weighing
// w[r * nmean + i - 1] in replicate r: the pair loop of the similarity,
// each same-meaning mean counted w_i times in its sum and count, the means
// of different meanings once each. out[r], and fault[r] as
// similarity_from_sums sets it.
inline void literal_weighted(const LanguageStore& store, int a, int b, int nmean,
                             const std::uint16_t* w, int R, float* out, FpFault* fault) {
  std::vector<double> ss(R, 0.0), sc(R, 0.0);
  double ds = 0, dc = 0;
  std::int32_t x[MAX_CODES], y[MAX_CODES];
  // The order of the similarity: A1B1, A2B1 (added in front), A1B2, A2B2.
  const int order[4][2] = {{1, 1}, {2, 1}, {1, 2}, {2, 2}};
  for (int i = 1; i <= nmean; ++i) {
    if (word_length(store, a, i, 1) == 0) continue;
    for (int j = 1; j <= nmean; ++j) {
      if (word_length(store, b, j, 1) == 0) continue;
      float sum = 0, count = 0;
      for (const auto& [p, q] : order) {
        const int n1 = word_length(store, a, i, p), n2 = word_length(store, b, j, q);
        if (n1 == 0 || n2 == 0) continue;
        for (int k = 0; k < n1; ++k) x[k] = synonym_codes(store, a, i, p)[k];
        for (int k = 0; k < n2; ++k) y[k] = synonym_codes(store, b, j, q)[k];
        const float d = word_distance(x, n1, y, n2);
        sum = p == 2 && q == 1 ? d + sum : sum + d;
        count = count + 1.0f;
      }
      const float mean = sum / count;
      if (i == j) {
        for (int r = 0; r < R; ++r) {
          const double weight = w[static_cast<std::size_t>(r) * nmean + i - 1];
          sc[r] += weight;
          ss[r] += weight * mean;
        }
      } else {
        dc += 1.0;
        ds += mean;
      }
    }
  }
  for (int r = 0; r < R; ++r) out[r] = similarity_from_sums(ss[r], sc[r], ds, dc, fault[r]);
}

}  // namespace plix
