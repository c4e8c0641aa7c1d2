// Tallying the cross-branch language pairs of every node: the count and the
// sum of their similarities, which the report divides.
#pragma once

#include "database/store.h"

namespace plix {

struct TextIO;

// Per node; the pair engine makes nodes 0..node_count (and any node a
// language lies in) exist and clears them.
struct NodeTally {
  GrowingTable<double> pair_count{"the pair counts", "nodes"};
  GrowingTable<double> similarity_sum{"the similarity sums", "nodes"};
};

// Fills the tally of retained languages 1..language_count over meaning
// positions 1..meaning_count with the pair engine, showing the progress line
// on standard error; a pair without a similarity ends the run with its
// floating-point report. A sink, when given, receives every counted pair in
// loop order. With `replicate_sums`, the replicates of `replicate_weights`
// are summed in the same pass (see EngineOptions).
struct PairSink;
struct ReplicateWeights;
struct ReplicateSums;
void aggregate_pairs(TextIO& io, const LanguageStore& store, const BranchTable& branches,
                     int language_count, int meaning_count, NodeTally& tally,
                     PairSink* pairs = nullptr, const ReplicateWeights* replicate_weights = nullptr,
                     ReplicateSums* replicate_sums = nullptr);

// The literal pair loop the engine must match byte for byte, for tests.
void aggregate_pairs_reference(TextIO& io, const LanguageStore& store,
                               const BranchTable& branches, int language_count,
                               int meaning_count, NodeTally& tally);

}  // namespace plix
