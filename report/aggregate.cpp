// Closing the scan and tallying the cross-branch language pairs per node.
// This is the literal loop: the node and branch test comes before any
// similarity, and pairs are visited in slot order, which fixes the rounding
// of every node's sum.
#include <algorithm>

#include "distance/similarity.h"
#include "run/phases.h"
#include "textio/textio.h"

namespace plix {

void finish_scan(RunState& run) {
  if (run.CURLANG == 0) {
    run.NLANG = 0;
    return;
  }
  run.NLANG = run.CURLANG;
  if (run.ATTESTED >= run.params.WORDS) {
    ++run.branches.member_count[run.store.branch_of[run.CURLANG]];
  } else {
    run.NLANG = run.CURLANG - 1;
  }
}

void aggregate_pairs(RunState& run) {
  NodeTally& tally = run.tally;
  std::fill(std::begin(tally.pair_count), std::end(tally.pair_count), 0.0);
  std::fill(std::begin(tally.similarity_sum), std::end(tally.similarity_sum), 0.0);
  const std::int32_t* branch_of = run.store.branch_of;
  const std::int32_t* node_of = run.branches.node_of;
  // The store holds MAXMEANING positions; selected positions beyond them
  // never receive words.
  const int nmean = std::min(run.selection.NMEAN, MAXMEANING);
  for (int i = 1; i <= run.NLANG - 1; ++i) {
    const std::int32_t bi = branch_of[i];
    const std::int32_t n = node_of[bi];
    for (int j = i + 1; j <= run.NLANG; ++j) {
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
