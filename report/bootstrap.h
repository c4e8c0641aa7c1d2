// Intervals on the tree's ages by resampling the meanings: each replicate
// draws the selected meanings with replacement, weighs each meaning by how
// often it was drawn, and dates every node again from the same word
// distances with those weights.
#pragma once

#include <cstdint>
#include <vector>

#include "database/settings.h"
#include "database/store.h"
#include "report/tree.h"
#include "textio/byte_stream.h"

namespace plix {

constexpr std::uint64_t DEFAULT_BOOTSTRAP_SEED = 1;

// The meaning weights of `replicates` replicates, nmean per replicate
// (weights[r * nmean + m - 1] for meaning m): nmean draws with replacement
// from a 64-bit Mersenne twister seeded with `seed`, so that a seed gives
// the same weights on every platform.
std::vector<std::uint16_t> draw_meaning_weights(std::uint64_t seed, int replicates, int nmean);

// The similarity of a language pair from its meaning-pair means (as
// meaning_pair_means gives them) with meaning i weighing w[i - 1]: a
// same-meaning mean counts w_i times, a mean of meanings i != j w_i * w_j
// times, summed in the literal loop's order. All weights 1 give
// language_similarity exactly.
float weighted_similarity(const float* means, int nmean, const std::uint16_t* weights,
                          FpFault& fault);

// Per node t and replicate r, the sum of the pair similarities and the
// number of pairs that have one: sum[t * replicates + r]. A pair without a
// similarity in one replicate (its shared meanings all undrawn) is left out
// of that replicate only.
struct ReplicateTally {
  int replicates = 0;
  std::vector<double> sum;
  std::vector<std::int32_t> count;
};
void tally_replicates(const LanguageStore& store, int nmean, const ClassificationTree& tree,
                      const std::vector<std::uint16_t>& weights, int replicates, ByteSink* progress,
                      ReplicateTally& tally);

// tree.intervals from the replicates: per node the 2.5 % and 97.5 %
// quantiles (nearest rank) of the replicate ages and means, and the share
// of replicates in which the node came out older than its nearest ancestor
// with pairs. A node gets an age interval only when every replicate dates it.
void summarize_replicates(const RunParameters& params, const ReplicateTally& tally,
                          ClassificationTree& tree);

}  // namespace plix
