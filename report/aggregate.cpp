// Closing the scan and tallying the cross-branch language pairs per node.
// aggregate_pairs runs the fast engine; aggregate_pairs_reference is the
// literal loop it must match byte for byte: the node and branch test comes
// before any similarity, and pairs are visited in slot order, which fixes
// the rounding of every node's sum.
#include <algorithm>

#include "distance/engine.h"
#include "distance/similarity.h"
#include "run/phases.h"
#include "textio/textio.h"
#include "textio/units.h"

namespace plix {

void finish_scan(RunState& run) {
  if (run.open_slot == 0) {
    run.language_count = 0;
    return;
  }
  run.language_count = run.open_slot;
  if (run.attested >= run.params.WORDS) {
    ++run.branches.member_count[run.store.branch_of[run.open_slot]];
  } else {
    run.language_count = run.open_slot - 1;
  }
}

void aggregate_pairs(RunState& run) {
  const int nmean = std::min(run.selection.meaning_count, MAX_MEANINGS);
  EngineOptions options;
  options.progress = &run.io.err;
  const EngineFault fault =
      engine_aggregate(run.store, run.branches, run.language_count, nmean, run.tally, options);
  if (fault.kind != FpFault::none) floating_point_error(run.io, fault.kind);
}

void aggregate_pairs_reference(RunState& run) {
  NodeTally& tally = run.tally;
  std::fill(std::begin(tally.pair_count), std::end(tally.pair_count), 0.0);
  std::fill(std::begin(tally.similarity_sum), std::end(tally.similarity_sum), 0.0);
  const std::int32_t* branch_of = run.store.branch_of;
  const std::int32_t* node_of = run.branches.node_of;
  // The store holds MAX_MEANINGS positions; selected positions beyond them
  // never receive words.
  const int nmean = std::min(run.selection.meaning_count, MAX_MEANINGS);
  for (int i = 1; i <= run.language_count - 1; ++i) {
    const std::int32_t bi = branch_of[i];
    const std::int32_t n = node_of[bi];
    for (int j = i + 1; j <= run.language_count; ++j) {
      const std::int32_t bj = branch_of[j];
      if (node_of[bj] != n || bj == bi) continue;
      tally.pair_count[n] += 1.0;
      FpFault fault = FpFault::none;
      const float s = language_similarity(run.store, i, j, nmean, fault);
      if (fault != FpFault::none) floating_point_error(run.io, fault);
      tally.similarity_sum[n] += static_cast<double>(s);
    }
  }
}

}  // namespace plix
