// Tallying the cross-branch language pairs per node. aggregate_pairs runs
// the pair engine; aggregate_pairs_reference is the
// literal loop it must match byte for byte: the node and branch test comes
// before any similarity, and pairs are visited in slot order, which fixes
// the rounding of every node's sum.
#include "report/aggregate.h"

#include <algorithm>

#include "distance/similarity.h"
#include "report/pair_engine.h"
#include "textio/textio.h"

namespace plix {

void aggregate_pairs(TextIO& io, const LanguageStore& store, const BranchTable& branches,
                     int language_count, int meaning_count, NodeTally& tally, PairSink* pairs,
                     const ReplicateWeights* replicate_weights, ReplicateSums* replicate_sums) {
  const int nmean = std::min(meaning_count, MAX_MEANINGS);
  EngineOptions options;
  options.progress = &error_stream(io);
  options.pairs = pairs;
  options.replicate_weights = replicate_weights;
  options.replicate_sums = replicate_sums;
  EngineFault fault;
  try {
    fault = engine_aggregate(store, branches, language_count, nmean, tally, options);
  } catch (const EngineOutOfMemory& e) {
    out_of_memory(io, e.what, e.bytes);
  }
  if (fault.kind != FpFault::none) floating_point_error(io, fault.kind);
}

void aggregate_pairs_reference(TextIO& io, const LanguageStore& store,
                               const BranchTable& branches, int language_count,
                               int meaning_count, NodeTally& tally) {
  int nodes = branches.node_count;
  for (int i = 1; i <= language_count; ++i) nodes = std::max(nodes, branches.node_of[store.branch_of[i]]);
  tally.pair_count.refill();
  tally.similarity_sum.refill();
  tally.pair_count.grow_to(io, static_cast<std::size_t>(nodes));
  tally.similarity_sum.grow_to(io, static_cast<std::size_t>(nodes));
  const std::int32_t* branch_of = store.branch_of.data();
  const std::int32_t* node_of = branches.node_of.data();
  // The store holds MAX_MEANINGS positions; selected positions beyond them
  // never receive words.
  const int nmean = std::min(meaning_count, MAX_MEANINGS);
  for (int i = 1; i <= language_count - 1; ++i) {
    const std::int32_t bi = branch_of[i];
    const std::int32_t n = node_of[bi];
    for (int j = i + 1; j <= language_count; ++j) {
      const std::int32_t bj = branch_of[j];
      if (node_of[bj] != n || bj == bi) continue;
      tally.pair_count[n] += 1.0;
      FpFault fault = FpFault::none;
      const float s = language_similarity(store, i, j, nmean, fault);
      if (fault != FpFault::none) floating_point_error(io, fault);
      tally.similarity_sum[n] += static_cast<double>(s);
    }
  }
}

}  // namespace plix
