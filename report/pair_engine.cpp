#include "report/pair_engine.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "distance/processors.h"
#include "report/platform.h"
#include "textio/progress.h"

namespace plix {

void ReplicateSums::reset(std::size_t rows, int replicate_stride, const char* what) {
  stride = replicate_stride;
  const std::size_t cells = rows * static_cast<std::size_t>(stride);
  try {
    sum.assign(cells, 0.0);
    count.assign(cells, 0);
  } catch (const std::bad_alloc&) {
    throw EngineOutOfMemory{what, cells * (sizeof(double) + sizeof(std::int32_t))};
  }
}

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

// State of one batch in flight; its results lie in the result ring at ring
// positions [begin, end) (positions count up; the ring index is a position
// modulo the ring's size).
struct Slot {
  std::int64_t begin = 0, end = 0;
  std::int32_t out_count[ENGINE_BATCH_ROWS];
  int fault_row = 0, fault_text = 0;
  FpFault fault = FpFault::none;
  bool ready = false;
};

// Batches in flight at most: room for every worker to hold one batch while
// the one before them waits to be summed.
constexpr int SLOTS = 2 * ENGINE_MAX_THREADS + 2;

// Worker threads need little stack (the kernel keeps its tables in the work
// area). Each is given this size, so that a small stack limit of the user,
// which threads may take as their default, does not matter.
constexpr std::size_t WORKER_STACK_BYTES = std::size_t(1) << 20;

bool earlier(int row, int text, const EngineFault& f) {
  return f.kind == FpFault::none || row < f.first || (row == f.first && text < f.second);
}

// Hands the pairs of a reduced batch to the sink: row by row, each row's
// similarities (`results`, a row of `stride` floats per pattern) in the
// order of the text languages the kernel counted.
void emit_pairs(const Batch& b, const float* results, std::size_t stride,
                const std::int32_t* out_count, const std::int32_t* members,
                const LanguageStore& store, PairSink& sink) {
  for (int r = 0; r < b.nrows; ++r) {
    const int first = b.rows[r];
    const std::int32_t branch = store.branch_of[first];
    const float* o = results + static_cast<std::size_t>(r) * stride;
    int k = 0;
    for (int t = b.text_begin; t < b.text_end && k < out_count[r]; ++t) {
      const int second = members[t];
      if (second <= first || store.branch_of[second] == branch) continue;
      sink.pair(b.node, first, second, o[k++]);
    }
  }
}

// Results one batch leaves in the ring: a row per pattern, a column per text.
std::int64_t result_count(const Batch& b) {
  return static_cast<std::int64_t>(b.nrows) * (b.text_end - b.text_begin);
}

// Results of the result ring: never fewer than `least` times the largest
// batch needs, never more than all results together.
std::int64_t result_ring_size(const std::vector<Batch>& batches, std::size_t ring_results,
                              int least) {
  std::int64_t largest = 0, all = 0;
  for (const Batch& b : batches) {
    largest = std::max(largest, result_count(b));
    all += result_count(b);
  }
  return std::min(all, std::max(largest * least, static_cast<std::int64_t>(ring_results)));
}

// Worker threads: as asked, else one per usable processor; never more than
// there are batches, nor than ENGINE_MAX_THREADS.
int worker_count(const EngineOptions& options, int nbatch) {
  const int threads = options.threads > 0 ? options.threads : usable_cpu_count();
  return std::max(1, std::min({threads, nbatch, ENGINE_MAX_THREADS}));
}

// One work area per thread while memory lasts: when it runs short, fewer
// threads do the work; without even one work area there is no run.
std::vector<std::unique_ptr<KernelWork>> make_work_areas(const KernelPath& path, int threads) {
  std::vector<std::unique_ptr<KernelWork>> works;
  works.reserve(threads);
  for (int k = 0; k < threads; ++k) {
    try {
      works.push_back(std::make_unique<KernelWork>(path));
    } catch (const std::bad_alloc&) {
      if (k == 0) throw EngineOutOfMemory{"the work area of the pair engine", path.work_bytes + 64};
      break;
    }
  }
  return works;
}

// A worker thread per work area, as many as the system lets start: those it
// refuses are done without (none at all when it refuses the first).
template <typename Worker>
std::vector<WorkerThread> start_workers(const std::vector<std::unique_ptr<KernelWork>>& works,
                                        Worker& worker) {
  std::vector<WorkerThread> pool(works.size());
  std::size_t started = 0;
  while (started < works.size() &&
         pool[started].start([&worker, &work = *works[started]] { worker(work); },
                             WORKER_STACK_BYTES))
    ++started;
  pool.resize(started);
  return pool;
}

EngineFault aggregate_batches(const LanguageStore& store, const BranchTable& branches, int nlang,
                              int nmean, NodeTally& tally, const EngineOptions& options) {
  // Nodes 0..nnode and branches 0..nbranch: those of the table and any a
  // language lies in (a grouping made for the tree need not count them).
  int nnode = branches.node_count, nbranch = branches.branch_count;
  for (int i = 1; i <= nlang; ++i) {
    const int b = store.branch_of[i];
    nbranch = std::max(nbranch, b);
    nnode = std::max(nnode, branches.node_of[b]);
  }
  tally.pair_count.refill();
  tally.similarity_sum.refill();
  const auto last_node = static_cast<std::size_t>(nnode);
  if (!tally.pair_count.grow_to(last_node))
    throw EngineOutOfMemory{tally.pair_count.what(), tally.pair_count.bytes_for(last_node)};
  if (!tally.similarity_sum.grow_to(last_node))
    throw EngineOutOfMemory{tally.similarity_sum.what(), tally.similarity_sum.bytes_for(last_node)};
  if (options.replicate_sums != nullptr && options.replicate_weights != nullptr)
    options.replicate_sums->reset(static_cast<std::size_t>(last_node) + 1,
                                  options.replicate_weights->stride, "the replicate sums of the nodes");
  EngineFault first_fault;
  if (nlang < 2) return first_fault;

  // Members of every node in slot order, and the pairs each language heads:
  // the later members of its node minus the later members of its branch.
  std::vector<std::int32_t> node_begin(nnode + 2, 0), members(nlang), after_node(nnode + 1, 0),
      after_branch(nbranch + 1, 0), heads(nlang + 1, 0), member_index(nlang + 1, 0);
  for (int i = 1; i <= nlang; ++i) ++node_begin[branches.node_of[store.branch_of[i]] + 1];
  for (int n = 1; n <= nnode + 1; ++n) node_begin[n] += node_begin[n - 1];
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
  // A pair sink takes the pairs in slot order across nodes, so a batch then
  // also ends where the next heading language lies in another node.
  std::vector<std::int32_t> open(nnode + 1, -1);
  int previous_node = 0;
  for (int i = 1; i <= nlang; ++i) {
    if (heads[i] == 0) continue;
    const int n = branches.node_of[store.branch_of[i]];
    const bool cut = options.pairs != nullptr && n != previous_node;
    previous_node = n;
    if (open[n] < 0 || batches[open[n]].nrows == ENGINE_BATCH_ROWS || cut) {
      open[n] = static_cast<int>(batches.size());
      Batch b{};
      b.node = n;
      b.text_begin = member_index[i] + 1;
      b.text_end = node_begin[n + 1];
      batches.push_back(b);
    }
    Batch& b = batches[open[n]];
    b.rows[b.nrows++] = i;
    b.pairs += heads[i];
  }
  const int nbatch = static_cast<int>(batches.size());
  if (nbatch == 0) return first_fault;

  const KernelPath& path = kernel_path(options.isa);
  const int threads = worker_count(options, nbatch);
  const ReplicateWeights* weights =
      options.replicate_sums != nullptr ? options.replicate_weights : nullptr;
  const std::int64_t ring_size =
      weights == nullptr
          ? result_ring_size(batches, options.ring_floats, 1)
          // Results kept for replicates take a PairDiagonal each beside the
          // float: as many bytes as a plain ring, but room for two of the
          // largest batches, so that the kernels go on while one is summed.
          : result_ring_size(batches,
                             options.ring_floats * sizeof(float) /
                                 (sizeof(float) + sizeof(PairDiagonal)),
                             2);
  // Not zeroed: a page becomes resident only when results are written to it.
  std::unique_ptr<float[]> ring(new (std::nothrow) float[static_cast<std::size_t>(ring_size)]);
  if (!ring)
    throw EngineOutOfMemory{"the result ring of the pair engine",
                            static_cast<std::size_t>(ring_size) * sizeof(float)};
  std::unique_ptr<PairDiagonal[]> diag_ring;
  if (weights != nullptr) {
    diag_ring.reset(new (std::nothrow) PairDiagonal[static_cast<std::size_t>(ring_size)]);
    if (!diag_ring)
      throw EngineOutOfMemory{"the replicate ring of the pair engine",
                              static_cast<std::size_t>(ring_size) * sizeof(PairDiagonal)};
  }
  std::vector<Slot> slots(SLOTS);

  std::mutex mutex;
  std::condition_variable batch_done, slot_free;
  int next_claim = 0;  // guarded by mutex
  int reduced = 0;     // guarded by mutex
  std::int64_t ring_head = 0;  // guarded by mutex: ring position after the last claim
  std::int64_t ring_tail = 0;  // guarded by mutex: ring position up to which results are summed
  // Row of the earliest fault found so far: batches starting above it
  // cannot hold the first fault and are passed over.
  std::atomic<int> fault_limit{nlang + 1};

  // With the mutex held: gives batch t its slot and its place in the ring
  // and returns true, or returns false while there is no room for it.
  auto claim = [&](int t) {
    if (t >= reduced + SLOTS) return false;
    const std::int64_t n = result_count(batches[t]);
    std::int64_t begin = ring_head;
    if (begin % ring_size + n > ring_size) begin += ring_size - begin % ring_size;  // no wrap
    const std::int64_t tail = ring_tail == ring_head ? begin : ring_tail;
    if (begin + n - tail > ring_size) return false;
    Slot& s = slots[t % SLOTS];
    s.begin = begin;
    s.end = begin + n;
    ring_head = s.end;
    return true;
  };

  auto compute = [&](int t, KernelWork& work) {
    const Batch& b = batches[t];
    Slot& s = slots[t % SLOTS];
    s.fault = FpFault::none;
    if (b.rows[0] <= fault_limit.load(std::memory_order_relaxed)) {
      PairBatch pb;
      pb.store = &store;
      pb.nmean = nmean;
      pb.rows = b.rows;
      pb.nrows = b.nrows;
      pb.texts = members.data() + b.text_begin;
      pb.ntexts = b.text_end - b.text_begin;
      pb.out = ring.get() + s.begin % ring_size;
      if (diag_ring) pb.diag = diag_ring.get() + s.begin % ring_size;
      pb.out_stride = static_cast<std::size_t>(pb.ntexts);
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
  };

  const std::vector<std::unique_ptr<KernelWork>> works = make_work_areas(path, threads);

  auto worker = [&](KernelWork& work) {
    for (;;) {
      int t;
      {
        std::unique_lock<std::mutex> lock(mutex);
        slot_free.wait(lock, [&] { return next_claim >= nbatch || claim(next_claim); });
        if (next_claim >= nbatch) return;
        t = next_claim++;
      }
      compute(t, work);
    }
  };
  std::vector<WorkerThread> pool = start_workers(works, worker);

  // Ordered reduction on this thread: batch by batch, row by row, text by
  // text, which within every node is the literal loop order.
  Progress progress;
  if (options.progress != nullptr)
    progress_begin(progress, *options.progress, total_pairs, progress_clock());
  double pairs_done = 0;
  for (int t = 0; t < nbatch; ++t) {
    Slot& s = slots[t % SLOTS];
    if (pool.empty()) {
      {
        std::lock_guard<std::mutex> lock(mutex);
        claim(t);  // every earlier batch is summed: there is room
        next_claim = t + 1;
      }
      compute(t, *works[0]);
    }
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
      const float* results = ring.get() + s.begin % ring_size;
      const std::size_t stride = static_cast<std::size_t>(b.text_end - b.text_begin);
      double sum = tally.similarity_sum[b.node];
      for (int r = 0; r < b.nrows; ++r) {
        const float* o = results + static_cast<std::size_t>(r) * stride;
        for (int k = 0; k < s.out_count[r]; ++k) sum += static_cast<double>(o[k]);
      }
      tally.similarity_sum[b.node] = sum;
      if (weights != nullptr) {
        const PairDiagonal* diag = diag_ring.get() + s.begin % ring_size;
        const std::size_t at = static_cast<std::size_t>(b.node) * weights->stride;
        double* rsum = options.replicate_sums->sum.data() + at;
        std::int32_t* rcount = options.replicate_sums->count.data() + at;
        for (int r = 0; r < b.nrows; ++r)
          path.add_replicates(diag + static_cast<std::size_t>(r) * stride, s.out_count[r], *weights,
                              rsum, rcount);
      }
      if (options.pairs != nullptr)
        emit_pairs(b, results, stride, s.out_count, members.data(), store, *options.pairs);
    }
    pairs_done += b.pairs;
    if (options.progress != nullptr) progress_update(progress, pairs_done, progress_clock());
    {
      std::lock_guard<std::mutex> lock(mutex);
      s.ready = false;
      reduced = t + 1;
      ring_tail = s.end;
    }
    slot_free.notify_all();
  }
  for (WorkerThread& th : pool) th.join();
  progress_end(progress);
  return first_fault;
}

}  // namespace

EngineFault engine_aggregate(const LanguageStore& store, const BranchTable& branches, int nlang,
                             int nmean, NodeTally& tally, const EngineOptions& options) {
  try {
    return aggregate_batches(store, branches, nlang, nmean, tally, options);
  } catch (const std::bad_alloc&) {
    // The node and batch tables, which are made before any thread starts.
    const std::size_t tables = static_cast<std::size_t>(branches.node_count) + branches.branch_count;
    const std::size_t bytes = sizeof(std::int32_t) * (3 * (tables + 2) + 4 * (nlang + 1)) +
                              sizeof(Batch) * static_cast<std::size_t>(nlang);
    throw EngineOutOfMemory{"the node and batch tables of the pair engine", bytes};
  }
}

}  // namespace plix

namespace plix {

namespace {

// Every language its own branch while the kernels run, so that they count
// every pair; the branch numbers come back on every way out.
class OwnBranches {
 public:
  OwnBranches(LanguageStore& store, int nlang)
      : store_(store), saved_(store.branch_of.data(), store.branch_of.data() + nlang + 1) {
    for (int i = 0; i <= nlang; ++i) store.branch_of[i] = i;
  }
  ~OwnBranches() { std::copy(saved_.begin(), saved_.end(), store_.branch_of.data()); }

 private:
  LanguageStore& store_;
  std::vector<std::int32_t> saved_;
};

}  // namespace

EngineFault engine_all_pairs(LanguageStore& store, int nlang, int nmean, float* upper,
                             const EngineOptions& options) {
  EngineFault first_fault;
  if (nlang < 2) return first_fault;
  OwnBranches own(store, nlang);
  std::vector<std::int32_t> slots(nlang);
  for (int i = 0; i < nlang; ++i) slots[i] = i + 1;
  // Batches of consecutive languages 1..nlang-1, each against all above it.
  const int nbatch = (nlang - 1 + ENGINE_BATCH_ROWS - 1) / ENGINE_BATCH_ROWS;
  const KernelPath& path = kernel_path(options.isa);
  const int threads = worker_count(options, nbatch);

  std::mutex mutex;
  std::condition_variable finished;
  int next = 0, done = 0;  // guarded by mutex
  double pairs_done = 0;   // guarded by mutex
  std::vector<EngineFault> faults(nbatch);

  // Work areas and result rows are made before any thread starts: when
  // memory runs short fewer threads do the work, and without one of each
  // there is no pass.
  std::vector<std::unique_ptr<KernelWork>> works = make_work_areas(path, threads);
  const std::size_t out_floats = static_cast<std::size_t>(ENGINE_BATCH_ROWS) * (nlang - 1);
  std::vector<std::vector<float>> outs(works.size());
  for (std::size_t k = 0; k < works.size(); ++k) {
    try {
      outs[k].resize(out_floats);
    } catch (const std::bad_alloc&) {
      if (k == 0)
        throw EngineOutOfMemory{"the result rows of the all-pairs pass", out_floats * sizeof(float)};
      works.resize(k);
      outs.resize(k);
      break;
    }
  }

  auto worker = [&](KernelWork& work, std::vector<float>& out) {
    std::int32_t out_count[ENGINE_BATCH_ROWS];
    std::int32_t rows[ENGINE_BATCH_ROWS];
    for (;;) {
      int t;
      {
        std::lock_guard<std::mutex> lock(mutex);
        if (next == nbatch) return;
        t = next++;
      }
      const int first = 1 + t * ENGINE_BATCH_ROWS;
      const int nrows = std::min(ENGINE_BATCH_ROWS, nlang - first);
      for (int r = 0; r < nrows; ++r) rows[r] = first + r;
      PairBatch pb;
      pb.store = &store;
      pb.nmean = nmean;
      pb.rows = rows;
      pb.nrows = nrows;
      pb.texts = slots.data() + first;  // languages first+1..nlang
      pb.ntexts = nlang - first;
      pb.out = out.data();
      pb.out_stride = static_cast<std::size_t>(nlang - first);
      pb.out_count = out_count;
      path.run_batch(pb, work.data());
      double pairs = 0;
      for (int r = 0; r < nrows; ++r) {
        const int i = first + r;
        const auto row = out.begin() + static_cast<std::ptrdiff_t>(r * pb.out_stride);
        std::copy(row, row + out_count[r], upper + pair_index(nlang, i, i + 1));
        pairs += out_count[r];
      }
      {
        std::lock_guard<std::mutex> lock(mutex);
        faults[t] = {pb.fault_row, pb.fault_text, pb.fault};
        pairs_done += pairs;
        ++done;
      }
      finished.notify_one();
    }
  };
  // Threads the system refuses are done without; with none, this thread
  // computes every batch before it waits.
  std::vector<WorkerThread> pool(works.size());
  std::size_t started = 0;
  while (started < works.size() &&
         pool[started].start([&worker, &work = *works[started], &out = outs[started]] {
           worker(work, out);
         }, WORKER_STACK_BYTES))
    ++started;
  pool.resize(started);
  if (pool.empty()) worker(*works[0], outs[0]);

  Progress progress;
  if (options.progress != nullptr)
    progress_begin(progress, *options.progress, 0.5 * nlang * (nlang - 1.0), progress_clock());
  {
    std::unique_lock<std::mutex> lock(mutex);
    while (done < nbatch) {
      finished.wait_for(lock, std::chrono::milliseconds(100));
      const double shown = pairs_done;
      lock.unlock();
      if (options.progress != nullptr) progress_update(progress, shown, progress_clock());
      lock.lock();
    }
  }
  for (WorkerThread& th : pool) th.join();
  progress_end(progress);
  // Batches hold ascending rows: the first faulting batch holds the first fault.
  for (const EngineFault& f : faults)
    if (f.kind != FpFault::none) return f;
  return first_fault;
}

}  // namespace plix
