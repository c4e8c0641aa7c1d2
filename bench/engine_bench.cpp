// Micro-benchmarks of the similarity of language pairs: the literal
// language_similarity against the engine's kernel paths, on word lists like
// those of a real database (words of two to nine sounds from some sixty
// codes, related languages, synonyms in the SYNONYMS 2 case).
//
//   build/bench/plix_bench --benchmark_filter=Pair
//
// items_per_second is language pairs per second; compare the literal and an
// engine path of one run. BM_EnginePairDiagonal and BM_Replicates time what
// --bootstrap adds: the same-meaning means the kernel leaves, and 200
// replicates of every pair.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "distance/engine.h"
#include "distance/similarity.h"
#include "tools/rng.h"

namespace plix {
namespace {

constexpr int NLANG = 264;
constexpr int NMEAN = 40;


// One ancestral list; every language changes a share of its sounds and
// replaces some words. synonyms_permille: meanings with a second word.
std::unique_ptr<LanguageStore> make_store(int synonyms_permille) {
  auto s = std::make_unique<LanguageStore>();
  if (!grow_store(*s, NLANG)) std::abort();
  Rng rng{12345};
  SoundCode ancestor[NMEAN][2][10];
  int alen[NMEAN][2];
  for (int m = 0; m < NMEAN; ++m)
    for (int k = 0; k < 2; ++k) {
      alen[m][k] = 2 + rng.below(8);
      for (int p = 0; p < alen[m][k]; ++p) ancestor[m][k][p] = (SoundCode)(1 + rng.below(60));
    }
  for (int l = 1; l <= NLANG; ++l) {
    s->branch_of[l] = l;
    for (int m = 1; m <= NMEAN; ++m) {
      for (int k = 0; k < 2; ++k) {
        const bool present = k == 0 ? rng.below(1000) >= 30 : rng.below(1000) < synonyms_permille;
        int n = present ? alen[m - 1][k] : 0;
        const bool replaced = rng.below(100) < 40;
        if (replaced && n) n = 2 + rng.below(8);
        if (k == 0 && word_length(*s, l, m, 1) == 0 && !present) n = 0;
        if (k == 1 && word_length(*s, l, m, 1) == 0) n = 0;
        word_length(*s, l, m, k + 1) = (std::int16_t)n;
        SoundCode* c = codes(*s, l, m) + (k ? SYNONYM2_OFFSET : 0);
        for (int p = 0; p < n; ++p)
          c[p] = replaced || rng.below(100) < 25 ? (SoundCode)(1 + rng.below(60))
                                                 : ancestor[m - 1][k][p];
      }
    }
  }
  return s;
}

const LanguageStore& store_for(int synonyms) {
  static std::unique_ptr<LanguageStore> s1 = make_store(0), s2 = make_store(250);
  return synonyms == 2 ? *s2 : *s1;
}

// One batch of the first ENGINE_BATCH_ROWS languages of `s` against all
// NLANG of them, with its outputs; with `diag`, the batch also leaves each
// pair's same-meaning means (as --bootstrap asks).
struct FullBatch {
  std::vector<std::int32_t> rows, texts;
  std::vector<float> out;
  std::vector<std::int32_t> count;
  std::vector<PairDiagonal> diagonals;
  PairBatch b;

  FullBatch(const LanguageStore& s, bool diag) {
    for (int l = 1; l <= ENGINE_BATCH_ROWS; ++l) rows.push_back(l);
    for (int l = 1; l <= NLANG; ++l) texts.push_back(l);
    out.resize(rows.size() * texts.size());
    count.resize(rows.size());
    diagonals.resize(diag ? out.size() : 0);
    b.store = &s;
    b.nmean = NMEAN;
    b.rows = rows.data();
    b.nrows = static_cast<int>(rows.size());
    b.texts = texts.data();
    b.ntexts = static_cast<int>(texts.size());
    b.out = out.data();
    b.out_stride = texts.size();
    b.out_count = count.data();
    b.diag = diag ? diagonals.data() : nullptr;
  }
};

// Times the full batch on `path`; items_per_second is language pairs per second.
void time_batch(benchmark::State& state, const KernelPath& path, const LanguageStore& s,
                bool diag = false) {
  KernelWork work(path);
  FullBatch f(s, diag);
  std::int64_t pairs = 0;
  for (auto _ : state) {
    path.run_batch(f.b, work.data());
    for (std::int32_t c : f.count) pairs += c;
    benchmark::DoNotOptimize(f.out.data());
  }
  state.SetItemsProcessed(pairs);
  state.SetLabel(path.name);
}

void BM_LiteralPair(benchmark::State& state) {
  const LanguageStore& s = store_for(static_cast<int>(state.range(0)));
  int a = 1, b = 2;
  for (auto _ : state) {
    FpFault f;
    benchmark::DoNotOptimize(language_similarity(s, a, b, NMEAN, f));
    if (++b > NLANG) b = ++a + 1;
    if (a >= NLANG) a = 1, b = 2;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LiteralPair)->Arg(1)->Arg(2);

void BM_EnginePair(benchmark::State& state) {
  const LanguageStore& s = store_for(static_cast<int>(state.range(0)));
  const EngineIsa isa = static_cast<EngineIsa>(state.range(1));
  if (!engine_isa_supported(isa)) {
    state.SkipWithError("path not supported here");
    return;
  }
  time_batch(state, kernel_path(isa), s);
}
BENCHMARK(BM_EnginePair)->Apply([](benchmark::internal::Benchmark* b) {
  for (int synonyms : {1, 2})
    for (EngineIsa isa : all_engine_isas) b->Args({synonyms, static_cast<int>(isa)});
});

// The same batch leaving the same-meaning means of every pair, SYNONYMS 1.
void BM_EnginePairDiagonal(benchmark::State& state) {
  const EngineIsa isa = static_cast<EngineIsa>(state.range(0));
  if (!engine_isa_supported(isa)) {
    state.SkipWithError("path not supported here");
    return;
  }
  time_batch(state, kernel_path(isa), store_for(1), true);
}
BENCHMARK(BM_EnginePairDiagonal)->DenseRange(0, 3);

// The replicates of --bootstrap on one path: 200 replicates of 40 meanings
// against the diagonals of the first 32 languages' pairs with all 264;
// items_per_second is language pairs per second (each with 200 replicates).
void BM_Replicates(benchmark::State& state) {
  const EngineIsa isa = static_cast<EngineIsa>(state.range(0));
  if (!engine_isa_supported(isa)) {
    state.SkipWithError("path not supported here");
    return;
  }
  const KernelPath& path = kernel_path(isa);
  const LanguageStore& s = store_for(1);
  KernelWork work(path);
  FullBatch f(s, true);
  path.run_batch(f.b, work.data());
  constexpr int R = 200;
  std::vector<double> weight(NMEAN * R);
  Rng rng{4};
  for (int r = 0; r < R; ++r)
    for (int k = 0; k < NMEAN; ++k) weight[rng.below(NMEAN) * R + r] += 1;
  const ReplicateWeights w{NMEAN, R, R, weight.data()};
  std::vector<double> sum(R);
  std::vector<std::int32_t> counted(R);
  std::int64_t pairs = 0;
  for (auto _ : state) {
    for (std::size_t r = 0; r < f.rows.size(); ++r) {
      path.add_replicates(f.diagonals.data() + r * f.texts.size(), f.count[r], w, sum.data(),
                          counted.data());
      pairs += f.count[r];
    }
    benchmark::DoNotOptimize(sum.data());
  }
  state.SetItemsProcessed(pairs);
  state.SetLabel(path.name);
}
BENCHMARK(BM_Replicates)->DenseRange(0, 3);

// Random words of one length in every meaning: 32 rows against 264 texts
// on the best path; items_per_second is language pairs per second. Words
// of up to 4 codes take 4-bit lanes on the 64-byte paths, words of 65 to
// 100 codes two 64-bit words per lane.
void BM_EngineLength(benchmark::State& state) {
  const int len = static_cast<int>(state.range(0));
  static std::unique_ptr<LanguageStore> s;
  if (!s) s = std::make_unique<LanguageStore>();
  if (!grow_store(*s, NLANG)) std::abort();
  Rng rng{777};
  for (int l = 1; l <= NLANG; ++l) {
    s->branch_of[l] = l;
    for (int m = 1; m <= MAX_MEANINGS; ++m) {
      word_length(*s, l, m, 1) = static_cast<std::int16_t>(m <= NMEAN ? len : 0);
      word_length(*s, l, m, 2) = 0;
      for (int p = 0; p < len; ++p) codes(*s, l, m)[p] = (SoundCode)(1 + rng.below(60));
    }
  }
  time_batch(state, kernel_path(best_engine_isa()), *s);
}
BENCHMARK(BM_EngineLength)->Arg(4)->Arg(5)->Arg(8)->Arg(16)->Arg(64)->Arg(65)->Arg(100);

}  // namespace
}  // namespace plix
