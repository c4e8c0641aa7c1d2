// The indexes over the combination tables and the branch keys give the codes,
// branches and nodes of the scans in order they replace, at a cost counted in
// compared entries rather than timed.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <utility>

#include "database/encoder.h"
#include "database/grouping.h"
#include "run/run_state.h"
#include "textio/units.h"

namespace plix {
namespace {

struct IndexTest : ::testing::Test {
  StringSource in{""};
  StringSink out, err;
  TextIO io{in, out, err};
  std::unique_ptr<RunState> run = std::make_unique<RunState>(io);
  void SetUp() override {
    run->codes.last_code = 12;  // an inventory of 4 symbols
    run->codes.pairs.count = run->codes.triples.count = run->scan.open_slot = 0;
    clear_branch_table(run->branches);
  }
  // Admits a language with header `line` (bar in column bar) into a slot.
  int add(const std::string& line, int bar, const char* code) {
    run->scan.open_slot = run->scan.open_slot % 100 + 1;
    EXPECT_TRUE(run->store.branch_of.grow_to(100));
    assign_branch(run->scan_context(), line.data(), bar + 1, code);
    return run->store.branch_of[run->scan.open_slot];
  }
};

TEST_F(IndexTest, FullCombinationTablesAnswerInAFewComparisons) {
  // 2000 new pairs, then 2000 new triples, numbered 13, 14, ... as met. Met
  // again with both tables full, they keep their codes at about one compared
  // entry per lookup, where the scan compares a thousand on average.
  auto pair = [&](int k) { return pair_code(run->scan_context(), k / 50 + 1, k % 50 - 7); };
  auto triple = [&](int k) { return triple_code(run->scan_context(), k % 9, k / 9, -k); };
  auto compared = [&] {
    return run->codes.pairs.index.compared + run->codes.triples.index.compared;
  };
  for (int round = 0; round < 2; ++round) {
    const std::int64_t before = compared();
    for (int k = 0; k < MAX_COMBINATIONS; ++k) ASSERT_EQ(pair(k), 13 + k);
    for (int k = 0; k < MAX_COMBINATIONS; ++k) ASSERT_EQ(triple(k), 13 + MAX_COMBINATIONS + k);
    EXPECT_LE(compared() - before, 4 * MAX_COMBINATIONS);
  }
  run->codes.pairs.count = 0;  // emptied: indexed anew; (b, a) is not (a, b)
  EXPECT_EQ(pair_code(run->scan_context(), -7, 1), 13 + 2 * MAX_COMBINATIONS);
  EXPECT_EQ(pair_code(run->scan_context(), 1, -7), 14 + 2 * MAX_COMBINATIONS);
}

std::string header(const std::string& text, bool at, int bar) {
  std::string line(static_cast<std::size_t>(bar - 1), 'L');
  line.append("|").append(text).append(at ? "@" : "");
  line.resize(400, ' ');
  return line;
}

TEST_F(IndexTest, BranchesAndNodesAreThoseOfTheScanInOrder) {
  // Short components that share prefixes often, codes with commas, blanks,
  // headers without '@' and keys cut at 400 characters.
  const char* names[] = {"A", "B", "A B", "AB", "", "C"};
  const char* codes[] = {"xx1", "xx2", "x,y", ",,,"};
  for (std::int64_t level : {0, 1, 2, 3, 6, 500}) {
    SetUp();
    run->params.LEVEL = static_cast<std::int32_t>(level);
    std::mt19937 rng(static_cast<unsigned>(level));
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    for (int k = 0; k < 3000; ++k) {
      std::string text = pick(40) ? "" : std::string(390 + pick(10), 'q');
      for (int c = pick(5); c >= 0; --c) text += std::string(names[pick(6)]) + (c ? "," : "");
      const int bar = pick(30) ? 5 : 1 + pick(4);
      const std::string line = header(text, pick(8) != 0, bar);
      const char* code = codes[pick(4)];
      // The rule: the first branch whose key shares more than LEVEL commas
      // in its common prefix with the new key, else a new branch in the node
      // of the last one sharing exactly LEVEL, else in a new node.
      std::string key =
          line.substr(bar, line.find('@') == std::string::npos ? 400 : line.find('@') - bar);
      key = (key + "," + code + ",").substr(0, 400);
      const BranchTable& t = run->branches;
      int want = t.branch_count + 1, node = t.node_count + 1;
      for (int g = 1; g <= t.branch_count; ++g) {
        std::int64_t commas = 0;
        for (std::size_t i = 0; i < key.size() && key[i] == t.branch_key[g][i]; ++i)
          commas += key[i] == ',';
        if (commas == level) node = t.node_of[g];
        if (commas > level) {
          want = g, node = t.node_of[g];
          break;
        }
      }
      const int got = add(line, bar, code);
      ASSERT_EQ(std::pair(got, t.node_of[got]), std::pair(want, node)) << level << " " << k;
    }
  }
  // 8000 branches with keys of some 380 characters, then 20,000 headers that
  // join the last one: a compared key or two each, where the scan compares 8000.
  SetUp();
  run->params.LEVEL = 1;
  auto line = [](int b) {
    return header(std::to_string(b).append(1, ',').append(370, 'k'), true, 5);
  };
  const int branches = 8000;
  for (int b = 1; b <= branches; ++b) ASSERT_EQ(add(line(b), 5, "abc"), b);
  const std::int64_t before = run->branches.index.compared;
  for (int k = 0; k < 20000; ++k) ASSERT_EQ(add(line(branches), 5, "xyz"), branches);
  EXPECT_LE(run->branches.index.compared - before, 2 * 20000);
}

}  // namespace
}  // namespace plix
