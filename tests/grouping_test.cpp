#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "database/grouping.h"
#include "run/run_state.h"
#include "textio/units.h"

namespace plix {
namespace {

// A run state with an empty branch table; each add() admits a language into
// the next slot the way the scanner does, without reading anything.
struct GroupingTest : ::testing::Test {
  StringSource in{""};
  StringSink out, err;
  TextIO io{in, out, err};
  std::unique_ptr<RunState> run = std::make_unique<RunState>(io);

  void SetUp() override {
    clear_branch_table(run->branches);
    run->scan.open_slot = 0;
  }

  // A header record: free text, '|', the classification text, '@'.
  static std::string header(const std::string& text) {
    std::string line = "Language|" + text + "@";
    line.resize(400, ' ');
    return line;
  }

  // Places a language with this header and code in the next slot; returns
  // its branch.
  int add(const std::string& line, const char* code) {
    EXPECT_EQ(line.size(), 400u);
    const int bar = static_cast<int>(line.find('|')) + 2;
    ++run->scan.open_slot;
    EXPECT_TRUE(run->store.branch_of.grow_to(run->scan.open_slot));
    assign_branch(run->scan_context(), line.data(), bar, code);
    return run->store.branch_of[run->scan.open_slot];
  }
  int node(int branch) const { return run->branches.node_of[branch]; }
  std::string key(int branch) const {
    std::string k(run->branches.branch_key[branch], 400);
    return k.substr(0, k.find_last_not_of(' ') + 1);
  }
};

TEST_F(GroupingTest, CommaCountingAtLevelOne) {
  run->params.LEVEL = 1;
  EXPECT_EQ(add(header("A,B"), "xx1"), 1);
  EXPECT_EQ(key(1), "A,B,xx1,");
  EXPECT_EQ(node(1), 1);
  // Shares "A,B,xx": two commas, d = 1, joins branch 1.
  EXPECT_EQ(add(header("A,B"), "xx2"), 1);
  EXPECT_EQ(key(1), "A,B,xx1,");  // the founder's key stays
  // Shares "A,": one comma, d = 0: a new branch in node 1.
  EXPECT_EQ(add(header("A,C"), "xx3"), 2);
  EXPECT_EQ(node(2), 1);
  // Shares nothing: a new branch in a new node.
  EXPECT_EQ(add(header("D,E"), "xx4"), 3);
  EXPECT_EQ(node(3), 2);
  EXPECT_EQ(run->branches.branch_count, 3);
  EXPECT_EQ(run->branches.node_count, 2);
}

TEST_F(GroupingTest, FirstJoinableBranchWinsAndLastSiblingNodeIsRemembered) {
  run->params.LEVEL = 1;
  add(header("A,B"), "aaa");  // branch 1, node 1
  add(header("C,D"), "bbb");  // branch 2, node 2
  add(header("A,E"), "ccc");  // branch 3, node 1
  // Exactly one comma with branches 1 and 3 (both node 1): node 1.
  EXPECT_EQ(add(header("A,F"), "ddd"), 4);
  EXPECT_EQ(node(4), 1);
  // Two commas shared with branch 3 and branch 4 alike: the first, 3.
  EXPECT_EQ(add(header("A,E"), "eee"), 3);
}

TEST_F(GroupingTest, LevelZeroPutsEveryBranchInNodeOne) {
  run->params.LEVEL = 0;
  EXPECT_EQ(add(header("A,B"), "xx1"), 1);
  EXPECT_EQ(add(header("A,C"), "xx2"), 1);  // shares its first component
  EXPECT_EQ(add(header("D,E"), "xx3"), 2);
  EXPECT_EQ(add(header("F"), "xx4"), 3);
  EXPECT_EQ(node(2), 1);
  EXPECT_EQ(node(3), 1);
  EXPECT_EQ(run->branches.node_count, 1);
}

TEST_F(GroupingTest, NegativeLevelPutsEveryLanguageInBranchOne) {
  run->params.LEVEL = -1;
  add(header("A,B"), "xx1");
  EXPECT_EQ(add(header("Z"), "yy2"), 1);
  EXPECT_EQ(add(header("Q,R,S"), "zz3"), 1);
  run->params.LEVEL = INT32_MIN;  // no overflow in the comparison
  EXPECT_EQ(add(header("W"), "ww4"), 1);
  EXPECT_EQ(run->branches.branch_count, 1);
}

TEST_F(GroupingTest, ComparisonIsByteExact) {
  run->params.LEVEL = 1;
  add(header("Alpha,Beta"), "one");
  EXPECT_EQ(add(header("alpha,Beta"), "two"), 2);   // case counts
  EXPECT_EQ(node(2), 2);
  EXPECT_EQ(add(header("Alpha ,Beta"), "thr"), 3);  // blanks count
  EXPECT_EQ(node(3), 3);
  // A difference after many identical 8-byte blocks is still found.
  const std::string long_path = "Longfamilyname,Longsubgroupname,Anotherlongname,";
  add(header(long_path + "X"), "la1");   // branch 4
  EXPECT_EQ(add(header(long_path + "Y"), "la2"), 4);  // 3 commas shared
  run->params.LEVEL = 3;
  EXPECT_EQ(add(header(long_path + "Z"), "la3"), 5);  // exactly 3: sibling
  EXPECT_EQ(node(5), node(4));
}

TEST_F(GroupingTest, KeyWithoutAtSignRunsToColumn400) {
  run->params.LEVEL = 1;
  std::string line = "Free text|A,B";
  line.resize(400, ' ');
  add(line, "abc");
  const std::string k(run->branches.branch_key[1], 400);
  // Text from column 11 to 400 is 390 characters, blanks included, then ",abc,".
  EXPECT_EQ(k.substr(0, 3), "A,B");
  EXPECT_EQ(k.substr(3, 387), std::string(387, ' '));
  EXPECT_EQ(k.substr(390, 5), ",abc,");
  EXPECT_EQ(k.substr(395), std::string(5, ' '));
}

TEST_F(GroupingTest, LongKeysAreCutAt400) {
  run->params.LEVEL = 1;
  // A bar in column 4 gives a 396-character text and a 401-character key.
  std::string line = "Abc|" + std::string(395, 'q') + "r";
  ASSERT_EQ(line.size(), 400u);
  add(line, "xyz");
  const std::string k(run->branches.branch_key[1], 400);
  EXPECT_EQ(k, std::string(395, 'q') + "r,xyz");
  // With a bar in column 1 the 399-character text keeps only one comma.
  std::string line2 = "|" + std::string(399, 'm');
  add(line2, "uvw");
  EXPECT_EQ(std::string(run->branches.branch_key[2], 400), std::string(399, 'm') + ",");
}

TEST_F(GroupingTest, BranchTableGrowsKeepingEveryBranch) {
  // Steps of 16 branches, and the index built anew as it doubles (past
  // 1023 and 2047 branches): every branch is still found afterwards.
  const TableStepForTesting steps(16);
  run->params.LEVEL = 1;
  const int n = 3000;
  auto family = [](int k, const char* group) {
    std::string path = "F";
    path.append(std::to_string(k)).append(",").append(group);
    return header(path);
  };
  for (int k = 1; k <= n; ++k) {
    ASSERT_EQ(add(family(k, "G"), "abc"), k);
    ASSERT_EQ(node(k), k);
  }
  for (int k = 1; k <= n; k += 97) {
    EXPECT_EQ(add(family(k, "G"), "xyz"), k);  // the same path joins its branch
    const int sibling = add(family(k, "H"), "xyz");  // another subgroup: a new branch in its node
    EXPECT_EQ(sibling, run->branches.branch_count);
    EXPECT_EQ(node(sibling), k);
  }
  EXPECT_EQ(key(1), "F1,G,abc,");
  EXPECT_EQ(key(n), "F3000,G,abc,");
  EXPECT_EQ(run->branches.node_count, n);
}

}  // namespace
}  // namespace plix
