#include "distance/engine.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "report/progress.h"

namespace plix {

const KernelPath& kernel_path_portable();
#if defined(__x86_64__)
const KernelPath& kernel_path_avx2();
const KernelPath& kernel_path_avx512();
const KernelPath& kernel_path_avx512_bitalg();
#endif

bool engine_isa_supported(EngineIsa isa) {
  switch (isa) {
    case EngineIsa::portable: return true;
#if defined(__x86_64__)
    case EngineIsa::avx2: return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2");
    case EngineIsa::avx512:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
             __builtin_cpu_supports("bmi2");
    case EngineIsa::avx512_bitalg:
      return engine_isa_supported(EngineIsa::avx512) && __builtin_cpu_supports("avx512bitalg") &&
             __builtin_cpu_supports("avx512vpopcntdq");
#endif
    default: return false;
  }
}

EngineIsa best_engine_isa() {
  if (engine_isa_supported(EngineIsa::avx512_bitalg)) return EngineIsa::avx512_bitalg;
  if (engine_isa_supported(EngineIsa::avx512)) return EngineIsa::avx512;
  if (engine_isa_supported(EngineIsa::avx2)) return EngineIsa::avx2;
  return EngineIsa::portable;
}

const char* engine_isa_name(EngineIsa isa) { return kernel_path(isa).name; }

const KernelPath& kernel_path(EngineIsa isa) {
#if defined(__x86_64__)
  if (isa == EngineIsa::avx512_bitalg && engine_isa_supported(isa))
    return kernel_path_avx512_bitalg();
  if (isa == EngineIsa::avx512 && engine_isa_supported(isa)) return kernel_path_avx512();
  if (isa == EngineIsa::avx2 && engine_isa_supported(isa)) return kernel_path_avx2();
#endif
  (void)isa;
  return kernel_path_portable();
}

int affinity_cpu_count() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return n;
  }
  const unsigned hw = std::thread::hardware_concurrency();
  return hw > 0 ? static_cast<int>(hw) : 1;
}

KernelWork::KernelWork(const KernelPath& path) {
  // calloc hands out fresh zero pages for a block this size, so only the
  // parts a run touches become resident.
  block_ = std::calloc(1, path.work_bytes + 64);
  if (block_ == nullptr) throw std::bad_alloc();
  const auto at = reinterpret_cast<std::uintptr_t>(block_);
  aligned_ = reinterpret_cast<unsigned char*>((at + 63) / 64 * 64);
}

KernelWork::~KernelWork() { std::free(block_); }

namespace {

// The pattern rows of one batch and where its node's text languages start.
struct Batch {
  std::int32_t node;
  std::int32_t nrows;
  std::int32_t rows[ENGINE_BATCH_ROWS];
  std::int32_t text_begin;  // index into the node's members, after rows[0]
  std::int32_t text_end;
  double pairs;  // counted pairs of its rows
};

// Output storage of one batch in flight.
struct Slot {
  std::vector<float> out;
  std::int32_t out_count[ENGINE_BATCH_ROWS];
  int fault_row = 0, fault_text = 0;
  FpFault fault = FpFault::none;
  bool ready = false;
};

// Worker threads need little stack (the kernel keeps its tables in the work
// area). Their size is set here, so that a small stack limit of the user,
// which threads take as their default, does not matter.
constexpr std::size_t WORKER_STACK_BYTES = std::size_t(1) << 20;

void set_worker_stack_size() {
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return;
  if (pthread_attr_setstacksize(&attr, WORKER_STACK_BYTES) == 0) pthread_setattr_default_np(&attr);
  pthread_attr_destroy(&attr);
}

bool earlier(int row, int text, const EngineFault& f) {
  return f.kind == FpFault::none || row < f.first || (row == f.first && text < f.second);
}

}  // namespace

EngineFault engine_aggregate(const LanguageStore& store, const BranchTable& branches, int nlang,
                             int nmean, NodeTally& tally, const EngineOptions& options) {
  for (int n = 0; n <= MAXBRANCH; ++n) {
    tally.pair_count[n] = 0.0;
    tally.similarity_sum[n] = 0.0;
  }
  EngineFault first_fault;
  if (nlang < 2) return first_fault;

  // Members of every node in slot order, and the pairs each language heads:
  // the later members of its node minus the later members of its branch.
  std::vector<std::int32_t> node_begin(MAXBRANCH + 2, 0), members(nlang), after_node(MAXBRANCH + 1, 0),
      after_branch(MAXBRANCH + 1, 0), heads(nlang + 1, 0), member_index(nlang + 1, 0);
  for (int i = 1; i <= nlang; ++i) ++node_begin[branches.node_of[store.branch_of[i]] + 1];
  for (int n = 1; n <= MAXBRANCH + 1; ++n) node_begin[n] += node_begin[n - 1];
  {
    std::vector<std::int32_t> fill(node_begin.begin(), node_begin.end() - 1);
    for (int i = 1; i <= nlang; ++i) {
      const int n = branches.node_of[store.branch_of[i]];
      member_index[i] = fill[n];
      members[fill[n]++] = i;
    }
  }
  double total_pairs = 0;
  for (int i = nlang; i >= 1; --i) {
    const int b = store.branch_of[i];
    const int n = branches.node_of[b];
    heads[i] = after_node[n] - after_branch[b];
    ++after_node[n];
    ++after_branch[b];
    tally.pair_count[n] += heads[i];
    total_pairs += heads[i];
  }

  // Batches of up to ENGINE_BATCH_ROWS heading languages of one node, in the
  // order of their first rows.
  std::vector<Batch> batches;
  batches.reserve(nlang);
  std::vector<std::int32_t> open(MAXBRANCH + 1, -1);
  int max_texts = 0;
  for (int i = 1; i <= nlang; ++i) {
    if (heads[i] == 0) continue;
    const int n = branches.node_of[store.branch_of[i]];
    if (open[n] < 0 || batches[open[n]].nrows == ENGINE_BATCH_ROWS) {
      open[n] = static_cast<int>(batches.size());
      Batch b{};
      b.node = n;
      b.text_begin = member_index[i] + 1;
      b.text_end = node_begin[n + 1];
      max_texts = std::max(max_texts, b.text_end - b.text_begin);
      batches.push_back(b);
    }
    Batch& b = batches[open[n]];
    b.rows[b.nrows++] = i;
    b.pairs += heads[i];
  }
  const int nbatch = static_cast<int>(batches.size());
  if (nbatch == 0) return first_fault;

  const KernelPath& path = kernel_path(options.isa);
  int threads = options.threads > 0 ? options.threads : affinity_cpu_count();
  threads = std::max(1, std::min(threads, nbatch));
  const int ring = 2 * threads + 2;
  std::vector<Slot> slots(ring);
  for (Slot& s : slots) s.out.resize(static_cast<std::size_t>(ENGINE_BATCH_ROWS) * max_texts);

  std::mutex mutex;
  std::condition_variable batch_done, slot_free;
  int next_claim = 0;  // guarded by mutex
  int reduced = 0;     // guarded by mutex
  // Row of the earliest fault found so far: batches starting above it
  // cannot hold the first fault and are passed over.
  std::atomic<int> fault_limit{nlang + 1};

  std::vector<std::unique_ptr<KernelWork>> works;
  for (int k = 0; k < threads; ++k) works.push_back(std::make_unique<KernelWork>(path));

  auto worker = [&](KernelWork& work) {
    for (;;) {
      int t;
      {
        std::unique_lock<std::mutex> lock(mutex);
        slot_free.wait(lock, [&] { return next_claim >= nbatch || next_claim < reduced + ring; });
        if (next_claim >= nbatch) return;
        t = next_claim++;
      }
      const Batch& b = batches[t];
      Slot& s = slots[t % ring];
      s.fault = FpFault::none;
      if (b.rows[0] <= fault_limit.load(std::memory_order_relaxed)) {
        PairBatch pb;
        pb.store = &store;
        pb.nmean = nmean;
        pb.rows = b.rows;
        pb.nrows = b.nrows;
        pb.texts = members.data() + b.text_begin;
        pb.ntexts = b.text_end - b.text_begin;
        pb.out = s.out.data();
        pb.out_stride = static_cast<std::size_t>(max_texts);
        pb.out_count = s.out_count;
        path.run_batch(pb, work.data());
        s.fault = pb.fault;
        s.fault_row = pb.fault_row;
        s.fault_text = pb.fault_text;
        if (pb.fault != FpFault::none) {
          int limit = fault_limit.load();
          while (pb.fault_row < limit && !fault_limit.compare_exchange_weak(limit, pb.fault_row)) {
          }
        }
      } else {
        for (int r = 0; r < b.nrows; ++r) s.out_count[r] = 0;
      }
      {
        std::lock_guard<std::mutex> lock(mutex);
        s.ready = true;
      }
      batch_done.notify_one();
    }
  };

  set_worker_stack_size();
  std::vector<std::thread> pool;
  pool.reserve(threads);
  for (int k = 0; k < threads; ++k) pool.emplace_back(worker, std::ref(*works[k]));

  // Ordered reduction on this thread: batch by batch, row by row, text by
  // text, which within every node is the literal loop order.
  Progress progress;
  if (options.progress != nullptr)
    progress_begin(progress, *options.progress, total_pairs, progress_clock());
  double pairs_done = 0;
  for (int t = 0; t < nbatch; ++t) {
    Slot& s = slots[t % ring];
    {
      std::unique_lock<std::mutex> lock(mutex);
      while (!s.ready) {
        if (options.progress == nullptr) {
          batch_done.wait(lock);
        } else {
          batch_done.wait_for(lock, std::chrono::milliseconds(100));
          lock.unlock();
          progress_update(progress, pairs_done, progress_clock());
          lock.lock();
        }
      }
    }
    const Batch& b = batches[t];
    if (s.fault != FpFault::none && earlier(s.fault_row, s.fault_text, first_fault)) {
      first_fault.first = s.fault_row;
      first_fault.second = s.fault_text;
      first_fault.kind = s.fault;
    }
    if (first_fault.kind == FpFault::none) {
      double sum = tally.similarity_sum[b.node];
      for (int r = 0; r < b.nrows; ++r) {
        const float* o = s.out.data() + static_cast<std::size_t>(r) * max_texts;
        for (int k = 0; k < s.out_count[r]; ++k) sum += static_cast<double>(o[k]);
      }
      tally.similarity_sum[b.node] = sum;
    }
    pairs_done += b.pairs;
    if (options.progress != nullptr) progress_update(progress, pairs_done, progress_clock());
    {
      std::lock_guard<std::mutex> lock(mutex);
      s.ready = false;
      reduced = t + 1;
    }
    slot_free.notify_all();
  }
  for (std::thread& th : pool) th.join();
  progress_end(progress);
  return first_fault;
}

}  // namespace plix
