// Resampled meanings: every replicate is the literal weighted formula on
// every kernel path, all weights 1 give the plain tree, the draws follow the seed, and a run with
// --bootstrap keeps its report and writes the intervals.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/files.h"
#include "database/scanner.h"
#include "distance/engine.h"
#include "report/bootstrap.h"
#include "report/tree.h"
#include "run/options.h"
#include "run/run_state.h"
#include "tests/weighted_reference.h"
#include "tests/whole_run.h"
#include "textio/textio.h"

namespace plix {
namespace {

namespace fs = std::filesystem;

std::string example(const std::string& name) {
  return slurp(fs::path(PLIX_SOURCE_DIR) / "examples" / name);
}

// The first 60 languages of generated.txt (three families, up to four
// levels deep), ended: small enough for the literal loops.
std::string generated_part() {
  const std::string all = example("generated.txt");
  std::size_t at = 0;
  for (int k = 0; k <= 60; ++k) at = all.find('@', at + 1);
  return all.substr(0, all.rfind('\n', at) + 1) + "\n";
}

// A stream read and its tree dated, as a run with --tree --bootstrap does
// it, with the weights `w` (draw_meaning_weights' layout) of R replicates:
// the run's level from the report's pass, or counted again by the tree's.
struct Dated {
  Dated(const std::string& input, const std::vector<std::uint16_t>& w, int R, bool take_level)
      : in(input), io(open_text_io(in, out, err)), run(std::make_unique<RunState>(*io)) {
    read_run_input(*run);
    finish_scan(run->scan_context());
    prepare_replicates(w, R, nmean(), replicates);
    const ReplicateWeights weights = replicates.weights();
    aggregate_pairs(*io, run->store, run->branches, run->scan.language_count,
                    run->selection.meaning_count, run->tally, nullptr, &weights, &replicates.level);
    build_tree(run->origins, run->scan.language_count, tree);
    const TreeReplicates asked{weights, take_level ? &replicates.level : nullptr, &sums};
    tally_tree(run->store, run->branches, run->tally, run->params.LEVEL, run->selection.meaning_count,
               nullptr, tree, 0, INT32_MAX, &asked);
  }
  int nmean() const { return std::min(run->selection.meaning_count, MAX_MEANINGS); }
  StringSource in;
  StringSink out, err;
  TextIOHandle io;
  std::unique_ptr<RunState> run;
  RunReplicates replicates;
  ClassificationTree tree;
  ReplicateSums sums;
};

// The number of meanings a stream selects.
int meanings_of(const std::string& input) {
  StringSource in(input);
  StringSink out, err;
  TextIOHandle io = open_text_io(in, out, err);
  auto run = std::make_unique<RunState>(*io);
  read_run_input(*run);
  return std::min(run->selection.meaning_count, MAX_MEANINGS);
}

// Sets the kernel path of the passes for its lifetime.
struct KernelVariable {
  explicit KernelVariable(EngineIsa isa) { setenv(KERNEL_VARIABLE, engine_isa_name(isa), 1); }
  ~KernelVariable() { unsetenv(KERNEL_VARIABLE); }
};

TEST(Bootstrap, ReplicatesAreTheLiteralWeightedFormulaOnEveryPath) {
  // families.txt has second synonyms; generated.txt four levels of nodes.
  for (const std::string& input : {example("families.txt"), generated_part()}) {
    constexpr int R = 5;
    const int nmean = meanings_of(input);
    std::vector<std::uint16_t> w = draw_meaning_weights(7, R, nmean);
    w[0] = 0;  // a meaning left out altogether, and one drawn often
    w[1] = 5;
    std::fill_n(w.begin() + nmean, nmean, 0);  // only meaning 2: pairs without it drop out
    w[nmean + 1] = static_cast<std::uint16_t>(nmean);
    // The literal loop over the pairs, each in the deepest node on both chains.
    const Dated plain(input, w, R, true);
    const ClassificationTree& tree = plain.tree;
    std::vector<double> sum(tree.nodes.size() * R, 0.0);
    std::vector<std::int32_t> count(tree.nodes.size() * R, 0);
    const int n = tree.language_count;
    for (int a = 1; a < n; ++a) {
      for (int b = a + 1; b <= n; ++b) {
        int node = 0;
        for (int k = tree.chain_begin[a]; k < tree.chain_begin[a + 1]; ++k)
          for (int m = tree.chain_begin[b]; m < tree.chain_begin[b + 1]; ++m)
            if (tree.chain[k] == tree.chain[m]) node = std::max(node, tree.chain[k]);
        float s[R];
        FpFault fault[R];
        literal_weighted(plain.run->store, a, b, nmean, w.data(), R, s, fault);
        for (int r = 0; r < R; ++r) {
          if (fault[r] != FpFault::none) continue;
          sum[node * R + r] += s[r];
          ++count[node * R + r];
        }
      }
    }
    for (EngineIsa isa : all_engine_isas) {
      if (!engine_isa_supported(isa)) continue;
      const KernelVariable path(isa);
      for (bool take_level : {true, false}) {
        const Dated d(input, w, R, take_level);
        for (std::size_t t = 0; t < tree.nodes.size(); ++t)
          for (int r = 0; r < R; ++r) {
            EXPECT_EQ(sum[t * R + r], d.sums.sum[t * d.sums.stride + r])
                << engine_isa_name(isa) << " node " << t << " replicate " << r;
            EXPECT_EQ(count[t * R + r], d.sums.count[t * d.sums.stride + r]);
          }
      }
    }
  }
}

TEST(Bootstrap, AllWeightsOneGiveThePlainTree) {
  for (const std::string& input : {example("families.txt"), generated_part()}) {
    const int nmean = meanings_of(input);
    Dated d(input, std::vector<std::uint16_t>(3 * nmean, 1), 3, true);
    for (std::size_t t = 0; t < d.tree.nodes.size(); ++t)
      for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(d.sums.sum[t * d.sums.stride + r], d.tree.nodes[t].similarity_sum) << " node " << t;
        EXPECT_EQ(d.sums.count[t * d.sums.stride + r], d.tree.nodes[t].pair_count) << " node " << t;
      }
    // Replicates that are all the plain run: intervals of width 0 at its
    // ages, outside the nesting always or never, as the plain ages are.
    summarize_replicates(d.run->params, d.sums, 3, d.tree);
    for (std::size_t t = 0; t < d.tree.nodes.size(); ++t) {
      const NodeDate date = node_date(d.run->params, d.tree.nodes[t]);
      EXPECT_EQ(d.tree.intervals[t].has_age, date.dated) << " node " << t;
      if (date.dated) {
        EXPECT_EQ(d.tree.intervals[t].age_low, date.age);
        EXPECT_EQ(d.tree.intervals[t].age_high, date.age);
      }
      int up = d.tree.nodes[t].parent;
      while (up > 0 && d.tree.nodes[up].pair_count == 0) up = d.tree.nodes[up].parent;
      const NodeDate above = up < 0 ? NodeDate{} : node_date(d.run->params, d.tree.nodes[up]);
      EXPECT_EQ(d.tree.intervals[t].outside_nesting,
                date.dated && above.dated && date.age > above.age ? 1.0 : 0.0);
    }
  }
}

TEST(Bootstrap, DrawsFollowTheSeed) {
  const std::vector<std::uint16_t> a = draw_meaning_weights(1, 50, 40);
  EXPECT_EQ(a, draw_meaning_weights(1, 50, 40));
  EXPECT_NE(a, draw_meaning_weights(2, 50, 40));
  std::vector<int> drawn(40, 0);
  for (int r = 0; r < 50; ++r) {
    int total = 0;
    for (int m = 0; m < 40; ++m) {
      total += a[r * 40 + m];
      drawn[m] += a[r * 40 + m];
    }
    EXPECT_EQ(total, 40);  // as many draws as meanings
  }
  // 50 draws per meaning on average: none is never or always drawn.
  EXPECT_GT(*std::min_element(drawn.begin(), drawn.end()), 20);
  EXPECT_LT(*std::max_element(drawn.begin(), drawn.end()), 90);
}

TEST(Bootstrap, RunKeepsItsReportAndWritesIntervals) {
  const fs::path dir = fs::temp_directory_path() / ("plix_bootstrap_" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string input = generated_part();
  auto run = [&](int replicates, std::uint64_t seed) {
    RunOptions options;
    options.table = (dir / "t.tsv").string();
    options.tree = (dir / "t.nwk").string();
    options.bootstrap = replicates;
    options.seed = seed;
    StringSource in(input);
    StringSink out, err;
    EXPECT_EQ(run_program(in, out, err, options), 0) << err.data;
    return std::pair(out.data, slurp(options.table));
  };
  const auto plain = run(0, 1), first = run(20, 1), again = run(20, 1), other = run(20, 2);
  EXPECT_EQ(first.first, plain.first);  // the report
  EXPECT_EQ(first.second, again.second);
  EXPECT_NE(first.second, other.second);
  std::istringstream rows(first.second);
  std::string row;
  std::getline(rows, row);
  int bounded = 0;
  while (std::getline(rows, row)) {
    std::vector<std::string> f;
    std::istringstream fields(row + "\t");
    for (std::string x; std::getline(fields, x, '\t');) f.push_back(x);
    ASSERT_EQ(f.size(), 18u) << row;
    if (f[13].empty()) continue;
    ++bounded;
    EXPECT_LE(std::stol(f[13]), std::stol(f[14])) << row;
    EXPECT_LE(std::stod(f[15]), std::stod(f[16])) << row;
    const double outside = std::stod(f[17]);
    EXPECT_TRUE(outside >= 0 && outside <= 1) << row;
  }
  EXPECT_GT(bounded, 0);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace plix
