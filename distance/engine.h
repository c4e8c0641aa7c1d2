// The batch interface of the similarity kernels: the same similarities as
// language_similarity, bit for bit, computed for many language pairs at once
// with bit-parallel edit distances in SIMD lanes, and the choice of the
// kernel path for this processor. report/pair_engine.h drives them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "database/store.h"
#include "textio/errors.h"

namespace plix {

// Instruction-set paths of the kernel, best last.
enum class EngineIsa { portable = 0, avx2 = 1, avx512 = 2, avx512_bitalg = 3 };

// Every path, in the order above.
constexpr EngineIsa all_engine_isas[] = {EngineIsa::portable, EngineIsa::avx2, EngineIsa::avx512,
                                         EngineIsa::avx512_bitalg};

// The best path this processor runs.
EngineIsa best_engine_isa();
// Whether this processor runs the given path.
bool engine_isa_supported(EngineIsa isa);
const char* engine_isa_name(EngineIsa isa);

// The environment variable that names the path a run takes.
constexpr const char* KERNEL_VARIABLE = "PLIX62C_KERNEL";

// The path a run takes: the one `variable` names (the variable's value, null
// when unset), else the processor's best. A value that names no path, or a
// path this processor lacks, leaves `error` set to a message that lists the
// paths it has, and the processor's best in `isa`.
struct KernelChoice {
  EngineIsa isa = EngineIsa::portable;
  bool from_variable = false;
  std::string error;
};
KernelChoice choose_engine_isa(const char* variable);
// choose_engine_isa of this process's PLIX62C_KERNEL: the path runs take.
KernelChoice run_kernel_choice();

// Number of processors in the process's affinity mask (at least 1).
int affinity_cpu_count();

// What the kernel can leave per counted pair for resampling the meanings:
// the pair's different-meaning sum and count, and its same-meaning mean of
// every meaning both languages attest (-1 where one of them lacks it).
struct PairDiagonal {
  double diff_sum;
  double diff_count;
  float same[MAX_MEANINGS];
};

// Meaning weights of the replicates of --bootstrap: meaning i (1..nmean)
// weighs weight[(i - 1) * stride + r] in replicate r; the columns from
// `replicates` up to `stride` (a multiple of REPLICATE_STRIDE) are 0.
constexpr int REPLICATE_STRIDE = 8;
struct ReplicateWeights {
  int nmean = 0;
  int replicates = 0;
  int stride = 0;
  const double* weight = nullptr;
};

// One batch of language pairs for the kernel: every pattern language of
// `rows` (ascending, all in one node) against every text language of
// `texts` (ascending) that lies above it and in another branch.
struct PairBatch {
  const LanguageStore* store = nullptr;
  int nmean = 0;
  const std::int32_t* rows = nullptr;
  int nrows = 0;
  const std::int32_t* texts = nullptr;
  int ntexts = 0;
  // Outputs: row r's similarities in text order at out[r * out_stride + k],
  // out_count[r] of them; the first faulting pair in (row, text) order.
  float* out = nullptr;
  std::size_t out_stride = 0;
  std::int32_t* out_count = nullptr;
  // When set, each counted pair's PairDiagonal at diag[r * out_stride + k].
  PairDiagonal* diag = nullptr;
  int fault_row = 0;   // slot of the first language of the faulting pair, 0 = none
  int fault_text = 0;  // slot of the second language
  FpFault fault = FpFault::none;
};

// A kernel path: its per-thread work storage, the batch routine, and the
// replicate routine: for pairs[0..npairs) in order, each replicate r's
// similarity of the pair, similarity_from_sums of
//   same_sum = sum of w_i * same[i], same_count = sum of w_i
// over the meanings the pair shares, and its diff_sum and diff_count, added
// into sum[r] with count[r] raised by one; a replicate without a value (no
// shared meaning drawn) is left out. The weighted sums are exact in any
// order: means are multiples of 2^-32 of at most 1, the weights whole
// numbers that add up to at most 40.
struct KernelPath {
  const char* name;
  std::size_t work_bytes;  // one work area per thread, 64-byte aligned, zeroed once
  void (*run_batch)(PairBatch& batch, unsigned char* work);
  void (*add_replicates)(const PairDiagonal* pairs, int npairs, const ReplicateWeights& weights,
                         double* sum, std::int32_t* count);
};

const KernelPath& kernel_path(EngineIsa isa);

// Languages per pattern batch drawn from one node.
constexpr int ENGINE_BATCH_ROWS = 32;

// A kernel's per-thread work area: zeroed pages, 64-byte aligned.
class KernelWork {
 public:
  explicit KernelWork(const KernelPath& path);
  ~KernelWork();
  KernelWork(const KernelWork&) = delete;
  KernelWork& operator=(const KernelWork&) = delete;
  unsigned char* data() const { return aligned_; }

 private:
  void* block_ = nullptr;
  unsigned char* aligned_ = nullptr;
};

}  // namespace plix
