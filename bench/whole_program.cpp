// Whole-run figures on one input stream: reads the stream, runs the phases
// up to the end of the scan, then times
//   - the literal language_similarity on a sample of counted pairs,
//   - the engine on one thread over the languages of the sample,
//   - the engine on every processor of the affinity mask over all pairs,
// prints the share of meaning slots that the kernel's slot sharing saves
// (rows of a batch with the same words for a meaning), and checks that the engine's tally equals the literal one on the sample's
// languages. Run by bench/whole_program.sh.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "distance/engine.h"
#include "report/pair_engine.h"
#include "distance/similarity.h"
#include "database/scanner.h"
#include "report/aggregate.h"
#include "report/report.h"
#include "run/parameters.h"
#include "run/run_state.h"
#include "run/selection.h"
#include "textio/units.h"

namespace {

using namespace plix;

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool counted(const RunState& run, int i, int j) {
  const int bi = run.store.branch_of[i], bj = run.store.branch_of[j];
  return bi != bj && run.branches.node_of[bi] == run.branches.node_of[bj];
}

// Share of the meaning slots of the engine's batches (up to
// ENGINE_BATCH_ROWS languages of one node that head counted pairs, in slot
// order) whose words equal those of an earlier row of the batch.
double shared_slot_share(const RunState& run, int nlang, int nmean) {
  const LanguageStore& st = run.store;
  const int nnode = run.branches.node_count, nbranch = run.branches.branch_count;
  std::vector<int> after_node(nnode + 1, 0), after_branch(nbranch + 1, 0);
  std::vector<char> heads(nlang + 1, 0);
  for (int i = nlang; i >= 1; --i) {
    const int b = st.branch_of[i], n = run.branches.node_of[b];
    heads[i] = after_node[n] > after_branch[b];
    ++after_node[n];
    ++after_branch[b];
  }
  std::vector<std::vector<int>> open(nnode + 1);
  auto same_words = [&](int a, int b, int m) {
    for (int syn = 1; syn <= 2; ++syn) {
      const int l = word_length(st, a, m, syn);
      if (l != word_length(st, b, m, syn) ||
          std::memcmp(synonym_codes(st, a, m, syn), synonym_codes(st, b, m, syn),
                      l * sizeof(SoundCode)) != 0)
        return false;
    }
    return true;
  };
  long slots = 0, shared = 0;
  for (int i = 1; i <= nlang; ++i) {
    if (!heads[i]) continue;
    std::vector<int>& batch = open[run.branches.node_of[st.branch_of[i]]];
    if (batch.size() == ENGINE_BATCH_ROWS) batch.clear();
    for (int m = 1; m <= nmean; ++m) {
      if (word_length(st, i, m, 1) == 0) continue;
      ++slots;
      for (int r : batch)
        if (same_words(i, r, m)) {
          ++shared;
          break;
        }
    }
    batch.push_back(i);
  }
  return slots > 0 ? static_cast<double>(shared) / slots : 0.0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s INPUT [SAMPLE_LANGUAGES]\n", argv[0]);
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  const int sample_langs = argc > 2 ? std::atoi(argv[2]) : 1500;
  StringSource in(text.str());
  StringSink out, err;
  TextIO io(in, out, err);
  auto run = std::make_unique<RunState>(io);
  try {
    read_run_input(*run);
    finish_scan(run->scan_context());
  } catch (const RunEnd&) {
    std::fprintf(stderr, "the run ended before the pair loop\n");
    return 1;
  }
  const int nlang = run->scan.language_count;
  const int nmean = std::min(run->selection.meaning_count, MAX_MEANINGS);
  const int m = std::min(nlang, sample_langs);

  // Literal: every 7th counted pair among the first m languages.
  std::vector<std::pair<int, int>> sample;
  long counted_m = 0;
  for (int i = 1; i < m; ++i)
    for (int j = i + 1; j <= m; ++j)
      if (counted(*run, i, j) && counted_m++ % 7 == 0 && sample.size() < 4000) sample.emplace_back(i, j);
  double t0 = now(), sink = 0;
  for (auto [i, j] : sample) {
    FpFault f;
    sink += language_similarity(run->store, i, j, nmean, f);
  }
  const double literal_us = (now() - t0) / sample.size() * 1e6;

  // Engine, one thread, the first m languages; and the literal tally there.
  auto tally = std::make_unique<NodeTally>(), want = std::make_unique<NodeTally>();
  EngineOptions one;
  one.threads = 1;
  t0 = now();
  engine_aggregate(run->store, run->branches, m, nmean, *tally, one);
  const double engine1_us = (now() - t0) / counted_m * 1e6;

  // The literal tally over the same languages, only when small enough.
  bool checked = false, same = true;
  if (counted_m <= 200000) {
    const auto nodes = static_cast<std::size_t>(run->branches.node_count);
    if (!want->pair_count.grow_to(nodes) || !want->similarity_sum.grow_to(nodes)) return 1;
    for (int i = 1; i < m; ++i)
      for (int j = i + 1; j <= m; ++j)
        if (counted(*run, i, j)) {
          const int n = run->branches.node_of[run->store.branch_of[i]];
          FpFault f;
          want->pair_count[n] += 1.0;
          want->similarity_sum[n] += language_similarity(run->store, i, j, nmean, f);
        }
    same = std::memcmp(want->similarity_sum.data(), tally->similarity_sum.data(),
                       (nodes + 1) * sizeof(double)) == 0;
    checked = true;
  }

  // Engine, all processors, all pairs.
  EngineOptions all;
  t0 = now();
  engine_aggregate(run->store, run->branches, nlang, nmean, *tally, all);
  const double all_s = now() - t0;
  double pairs = 0;
  for (int n = 1; n <= run->branches.node_count; ++n) pairs += tally->pair_count[n];

  std::printf("languages %d, counted pairs %.0f, path %s, threads %d\n", nlang, pairs,
              engine_isa_name(all.isa), affinity_cpu_count());
  std::printf("slot sharing saves %.1f %% of the meaning slots\n",
              100.0 * shared_slot_share(*run, nlang, nmean));
  std::printf("literal reference: %.2f us per pair (%zu sampled pairs)\n", literal_us,
              sample.size());
  std::printf("engine, 1 thread:  %.3f us per pair (%ld pairs), %.0fx the reference\n", engine1_us,
              counted_m, literal_us / engine1_us);
  std::printf("engine, %d threads: %.2f s for all pairs, %.3g pairs/s\n", affinity_cpu_count(),
              all_s, pairs / all_s);
  if (checked) std::printf("engine tally equals the literal one: %s\n", same ? "yes" : "NO");
  return same && sink == sink ? 0 : 1;
}
