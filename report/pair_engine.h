// The pair engine: tallies the cross-branch language pairs of every node
// with the similarity kernels, in batches on all processors the process may
// use, and reduces their similarities in the literal loop's order.
#pragma once

#include "database/store.h"
#include "distance/engine.h"
#include "report/aggregate.h"
#include "textio/byte_stream.h"
#include "textio/errors.h"

namespace plix {

struct EngineOptions {
  EngineIsa isa = best_engine_isa();
  int threads = 0;             // 0: one per processor of the affinity mask
  ByteSink* progress = nullptr;  // standard error, for the progress line
};

// The first faulting pair in loop order (first < second), if any.
struct EngineFault {
  int first = 0;
  int second = 0;
  FpFault kind = FpFault::none;
};

// Fills the tally as the literal pair loop does: for every node, the number
// of cross-branch pairs of retained languages 1..nlang and the sum of their
// similarities in the loop's order (i ascending, then j ascending). When a
// pair has no similarity, returns the first such pair in that order; the
// tally is then incomplete.
EngineFault engine_aggregate(const LanguageStore& store, const BranchTable& branches, int nlang,
                             int nmean, NodeTally& tally, const EngineOptions& options);

}  // namespace plix
