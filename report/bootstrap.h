// Intervals on the tree's ages by resampling the meanings: each replicate
// draws the selected meanings with replacement, weighs each meaning by how
// often it was drawn, and dates every node again from the same word
// distances with those weights.
#pragma once

#include <cstdint>
#include <vector>

#include "database/settings.h"
#include "database/store.h"
#include "distance/engine.h"
#include "report/pair_engine.h"
#include "report/tree.h"

namespace plix {

constexpr std::uint64_t DEFAULT_BOOTSTRAP_SEED = 1;

// The meaning weights of `replicates` replicates, nmean per replicate
// (weights[r * nmean + m - 1] for meaning m): nmean draws with replacement
// from a 64-bit Mersenne twister seeded with `seed`, so that a seed gives
// the same weights on every platform.
std::vector<std::uint16_t> draw_meaning_weights(std::uint64_t seed, int replicates, int nmean);

// The replicates of a run as the kernels take them: the weights of
// draw_meaning_weights, meaning by meaning, each row padded with zeros to
// a multiple of REPLICATE_STRIDE; and the sums of the run's own LEVEL,
// which the report's pass over the pairs fills.
//
// A replicate weighs only the same-meaning terms of a pair's similarity:
// same_sum and same_count are sums over the meanings the pair shares of
// w_i * mean_ii and w_i, while the background of different meanings keeps
// its sum and count over all meaning pairs (see the README).
struct RunReplicates {
  int replicates = 0;
  int nmean = 0;
  int stride = 0;
  std::vector<double> weight;
  ReplicateSums level;
  ReplicateWeights weights() const { return {nmean, replicates, stride, weight.data()}; }
};
void prepare_replicates(std::uint64_t seed, int replicates, int nmean, RunReplicates& run);
// The same from weights laid out as draw_meaning_weights gives them.
void prepare_replicates(const std::vector<std::uint16_t>& weights, int replicates, int nmean,
                        RunReplicates& run);

// tree.intervals from the replicates: per node the 2.5 % and 97.5 %
// quantiles (nearest rank) of the replicate ages and means, and the share
// of replicates in which the node came out older than its nearest ancestor
// with pairs. A node gets an age interval only when every replicate dates it.
// `sums` holds the tree's nodes, as tally_tree fills them.
void summarize_replicates(const RunParameters& params, const ReplicateSums& sums, int replicates,
                          ClassificationTree& tree);

}  // namespace plix
