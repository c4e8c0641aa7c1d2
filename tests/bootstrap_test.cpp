// Resampled meanings: every replicate is the literal weighted formula, all
// weights 1 give the plain tree, the draws follow the seed, and a run with
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
#include "distance/similarity.h"
#include "report/bootstrap.h"
#include "report/tree.h"
#include "run/options.h"
#include "run/run_state.h"
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

// A stream read and its tree dated, as a run with --tree does it.
struct Dated {
  explicit Dated(const std::string& input)
      : in(input), io(open_text_io(in, out, err)), run(std::make_unique<RunState>(*io)) {
    read_run_input(*run);
    finish_scan(run->scan_context());
    aggregate_pairs(*io, run->store, run->branches, run->scan.language_count,
                    run->selection.meaning_count, run->tally);
    build_tree(run->origins, run->scan.language_count, tree);
    tally_tree(run->store, run->branches, run->tally, run->params.LEVEL, run->selection.meaning_count,
               nullptr, tree);
  }
  int nmean() const { return std::min(run->selection.meaning_count, MAX_MEANINGS); }
  StringSource in;
  StringSink out, err;
  TextIOHandle io;
  std::unique_ptr<RunState> run;
  ClassificationTree tree;
};

// The similarity of languages a < b with meaning i weighing w[i - 1],
// straight from the words: the pair loop of the similarity, each
// same-meaning mean counted w_i times and each other one w_i * w_j times.
float literal_weighted(const LanguageStore& store, int a, int b, int nmean, const std::uint16_t* w,
                       FpFault& fault) {
  double ss = 0, sc = 0, ds = 0, dc = 0;
  std::int32_t x[MAX_CODES], y[MAX_CODES];
  // The order of the similarity: A1B1, A2B1 (added in front), A1B2, A2B2.
  const int order[4][2] = {{1, 1}, {2, 1}, {1, 2}, {2, 2}};
  for (int i = 1; i <= nmean; ++i) {
    if (word_length(store, a, i, 1) == 0) continue;
    for (int j = 1; j <= nmean; ++j) {
      if (word_length(store, b, j, 1) == 0) continue;
      float sum = 0, count = 0;
      for (const auto& [p, q] : order) {
        const int n1 = word_length(store, a, i, p), n2 = word_length(store, b, j, q);
        if (n1 == 0 || n2 == 0) continue;
        for (int k = 0; k < n1; ++k) x[k] = synonym_codes(store, a, i, p)[k];
        for (int k = 0; k < n2; ++k) y[k] = synonym_codes(store, b, j, q)[k];
        const float d = word_distance(x, n1, y, n2);
        sum = p == 2 && q == 1 ? d + sum : sum + d;
        count = count + 1.0f;
      }
      const float mean = sum / count;
      if (i == j) {
        sc += w[i - 1];
        ss += static_cast<double>(w[i - 1]) * mean;
      } else {
        dc += static_cast<double>(w[i - 1]) * w[j - 1];
        ds += static_cast<double>(w[i - 1]) * w[j - 1] * mean;
      }
    }
  }
  return similarity_from_sums(ss, sc, ds, dc, fault);
}

TEST(Bootstrap, ReplicatesAreTheLiteralWeightedFormula) {
  // families.txt has second synonyms; generated.txt four levels of nodes.
  for (const std::string& name : {std::string("families.txt"), std::string("generated.txt")}) {
    Dated d(name == "families.txt" ? example(name) : generated_part());
    const int nmean = d.nmean(), R = 4;
    std::vector<std::uint16_t> weights = draw_meaning_weights(7, R, nmean);
    weights[0] = 0;  // a meaning left out altogether, and one drawn often
    weights[1] = 5;
    ReplicateTally tally;
    tally_replicates(d.run->store, nmean, d.tree, weights, R, nullptr, tally);
    std::vector<double> sum(tally.sum.size(), 0.0);
    std::vector<std::int32_t> count(tally.count.size(), 0);
    const int n = d.tree.language_count;
    for (int a = 1; a < n; ++a) {
      for (int b = a + 1; b <= n; ++b) {
        // The deepest node on both chains.
        int node = 0;
        for (int k = d.tree.chain_begin[a]; k < d.tree.chain_begin[a + 1]; ++k)
          for (int m = d.tree.chain_begin[b]; m < d.tree.chain_begin[b + 1]; ++m)
            if (d.tree.chain[k] == d.tree.chain[m]) node = std::max(node, d.tree.chain[k]);
        for (int r = 0; r < R; ++r) {
          FpFault fault;
          const float s = literal_weighted(d.run->store, a, b, nmean, &weights[r * nmean], fault);
          if (fault != FpFault::none) continue;
          sum[node * R + r] += s;
          ++count[node * R + r];
        }
      }
    }
    EXPECT_EQ(tally.sum, sum) << name;
    EXPECT_EQ(tally.count, count) << name;
  }
}

TEST(Bootstrap, AllWeightsOneGiveThePlainTree) {
  for (const std::string& name : {std::string("families.txt"), std::string("generated.txt")}) {
    Dated d(name == "families.txt" ? example(name) : generated_part());
    const std::vector<std::uint16_t> ones(d.nmean(), 1);
    ReplicateTally tally;
    tally_replicates(d.run->store, d.nmean(), d.tree, ones, 1, nullptr, tally);
    for (std::size_t t = 0; t < d.tree.nodes.size(); ++t) {
      EXPECT_EQ(tally.sum[t], d.tree.nodes[t].similarity_sum) << name << " node " << t;
      EXPECT_EQ(tally.count[t], d.tree.nodes[t].pair_count) << name << " node " << t;
    }
    // Replicates that are all the plain run: intervals of width 0 at its
    // ages, outside the nesting always or never, as the plain ages are.
    ReplicateTally same;
    tally_replicates(d.run->store, d.nmean(), d.tree, std::vector<std::uint16_t>(3 * d.nmean(), 1), 3,
                     nullptr, same);
    summarize_replicates(d.run->params, same, d.tree);
    for (std::size_t t = 0; t < d.tree.nodes.size(); ++t) {
      const NodeDate date = node_date(d.run->params, d.tree.nodes[t]);
      EXPECT_EQ(d.tree.intervals[t].has_age, date.dated) << name << " node " << t;
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
