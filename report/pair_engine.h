// The pair engine: tallies the cross-branch language pairs of every node
// with the similarity kernels, in batches on all processors the process may
// use, and reduces their similarities in the literal loop's order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "database/store.h"
#include "distance/engine.h"
#include "report/aggregate.h"
#include "textio/byte_stream.h"
#include "textio/errors.h"

namespace plix {

// Receives every counted pair with its similarity, in the literal loop's
// order (first ascending, then second ascending), on the calling thread.
struct PairSink {
  virtual ~PairSink() = default;
  virtual void pair(int node, int first, int second, float similarity) = 0;
};

// Most worker threads of one run, whatever the machine: with the result
// ring below, the engine's memory stays bounded on any number of processors.
constexpr int ENGINE_MAX_THREADS = 32;
// Results of the batches in flight share one ring of this many floats
// (16 MB); a batch of r rows against t texts takes r * t of them until its
// results are summed. A batch of 32 rows against 49,999 texts (50,000
// languages in one node) needs 6.4 MB; a ring is never smaller than the
// largest batch of its run.
constexpr std::size_t ENGINE_RING_FLOATS = std::size_t(4) << 20;

// Per node of the tally and replicate of --bootstrap, the sum of the
// pairs' replicate similarities in the literal loop's order and how many
// pairs have one: sum[node * stride + r].
struct ReplicateSums {
  int stride = 0;
  std::vector<double> sum;
  std::vector<std::int32_t> count;
  // Zeroed sums for `rows` nodes of `stride` replicates; EngineOutOfMemory
  // naming `what` when they cannot be had.
  void reset(std::size_t rows, int stride, const char* what);
};

struct EngineOptions {
  // PLIX62C_KERNEL's path, else the processor's best; the program refuses a
  // value that names no path this processor has before a run starts.
  EngineIsa isa = run_kernel_choice().isa;
  // 0: one per usable processor (affinity mask and CPU quota). Never more
  // than ENGINE_MAX_THREADS, nor than there are batches of work.
  int threads = 0;
  ByteSink* progress = nullptr;  // standard error, for the progress line
  PairSink* pairs = nullptr;     // engine_aggregate: every counted pair, until a fault
  std::size_t ring_floats = ENGINE_RING_FLOATS;  // at least the largest batch is used
  // engine_aggregate with both set: the replicates of these weights,
  // summed into `replicate_sums` (made for nodes 0..nnode) beside the tally.
  const ReplicateWeights* replicate_weights = nullptr;
  ReplicateSums* replicate_sums = nullptr;
};

// Thrown by engine_aggregate when memory for its tables or work areas
// cannot be had: what it is, and how many bytes were asked for.
struct EngineOutOfMemory {
  const char* what;
  std::size_t bytes;
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
// tally is then incomplete. Worker threads that cannot be started are done
// without (the calling thread alone can do every batch); memory that cannot
// be had for the first work area or the engine's tables throws
// EngineOutOfMemory before any thread starts.
EngineFault engine_aggregate(const LanguageStore& store, const BranchTable& branches, int nlang,
                             int nmean, NodeTally& tally, const EngineOptions& options);

// Similarities of every pair of languages 1..nlang, whatever their nodes and
// branches, by the same kernels: the pair (i, j), i < j, goes to
// upper[pair_index(nlang, i, j)], which has room for nlang * (nlang - 1) / 2
// values. Returns the first pair without a similarity in (i, j) order, if
// any. Refused threads and short memory are handled as in engine_aggregate
// (EngineOutOfMemory when not even one thread's work area can be had). The
// store's branch numbers are changed while it runs and restored before it
// returns.
EngineFault engine_all_pairs(LanguageStore& store, int nlang, int nmean, float* upper,
                             const EngineOptions& options);

inline std::size_t pair_index(int nlang, int i, int j) {
  const std::size_t row = static_cast<std::size_t>(i - 1);
  return row * static_cast<std::size_t>(nlang) - row * (row + 1) / 2 +
         static_cast<std::size_t>(j - i - 1);
}

}  // namespace plix
