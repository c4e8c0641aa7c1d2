#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "database/scanner.h"
#include "report/aggregate.h"
#include "report/report.h"
#include "run/parameters.h"
#include "run/run_state.h"
#include "run/selection.h"
#include "textio/units.h"

namespace plix {
namespace {

using Words = std::vector<std::vector<SoundCode>>;  // synonym 1 of meanings 1, 2, ...

// Word lists with known similarities: P with P scores 100, P with Q 50. Z
// attests only meaning 3, so a comparison of Z with anything faults.
const Words P = {{1}, {2}};
const Words Q = {{1}, {3}};
const Words Z = {{}, {}, {5}};

class Aggregation : public ::testing::Test {
 protected:
  void SetUp() override {
    run = std::make_unique<RunState>(io);
    clear_branch_table(run->branches);
    run->selection.meaning_count = 3;
    run->params.WORDS = 2;
    run->scan.open_slot = 0;
    run->scan.attested = 0;
    run->scan.language_count = 0;
  }
  void branch(int b, int node) {
    ASSERT_TRUE(grow_branch_table(run->branches, b));
    run->branches.node_of[b] = node;
    run->branches.branch_count = std::max(run->branches.branch_count, b);
    run->branches.node_count = std::max(run->branches.node_count, node);
  }
  void language(int slot, int b, const Words& words) {
    ASSERT_TRUE(grow_store(run->store, slot));
    run->store.branch_of[slot] = b;
    for (int m = 1; m <= MAX_MEANINGS; ++m) {
      word_length(run->store, slot, m, 1) = 0;
      word_length(run->store, slot, m, 2) = 0;
    }
    for (std::size_t m = 0; m < words.size(); ++m) {
      word_length(run->store, slot, static_cast<int>(m) + 1, 1) =
          static_cast<std::int16_t>(words[m].size());
      for (std::size_t k = 0; k < words[m].size(); ++k)
        codes(run->store, slot, static_cast<int>(m) + 1)[k] = words[m][k];
    }
    run->scan.language_count = std::max(run->scan.language_count, slot);
  }
  // Runs aggregate_pairs; returns the status when the run ends inside it, -1 otherwise.
  int aggregate() {
    try {
      aggregate_pairs(run->io, run->store, run->branches, run->scan.language_count,
                      run->selection.meaning_count, run->tally);
    } catch (const RunEnd& end) {
      return end.status;
    }
    return -1;
  }

  StringSource in{""};
  StringSink out, err;
  TextIO io{in, out, err};
  std::unique_ptr<RunState> run;
};

TEST_F(Aggregation, FinishScanKeepsOrDropsTheOpenLanguage) {
  finish_scan(run->scan_context());  // nothing admitted
  EXPECT_EQ(run->scan.language_count, 0);
  branch(1, 1);
  branch(2, 1);
  ASSERT_TRUE(grow_store(run->store, 3));
  run->store.branch_of[3] = 2;
  run->branches.member_count[2] = 1;
  run->scan.open_slot = 3;
  run->scan.attested = 1;  // WORDS - 1: dropped
  finish_scan(run->scan_context());
  EXPECT_EQ(run->scan.language_count, 2);
  EXPECT_EQ(run->branches.member_count[2], 1);
  run->scan.attested = 2;  // WORDS: retained
  finish_scan(run->scan_context());
  EXPECT_EQ(run->scan.language_count, 3);
  EXPECT_EQ(run->branches.member_count[2], 2);
  EXPECT_EQ(run->branches.member_count[1], 0);
}

TEST_F(Aggregation, CountsCrossBranchPairsOfOneNodeOnly) {
  branch(1, 1);
  branch(2, 1);
  branch(3, 2);
  branch(4, 3);
  branch(5, 1);
  // Node 1: branch 1 with four languages, branch 2 with two, branch 5 with one.
  for (int slot : {1, 3, 4, 6}) language(slot, 1, P);
  for (int slot : {2, 5}) language(slot, 2, Q);
  language(8, 5, P);
  // Languages that would fault if compared: the two of branch 3 with each
  // other, and with those of the other nodes.
  language(7, 3, Z);
  language(9, 3, Z);
  language(10, 4, P);
  ASSERT_TRUE(run->tally.pair_count.grow_to(50) && run->tally.similarity_sum.grow_to(50));
  run->tally.pair_count[50] = 7.0;  // stale values are cleared
  run->tally.similarity_sum[2] = 3.0;
  ASSERT_EQ(aggregate(), -1);
  // 4 x 2 + 4 x 1 + 2 x 1 pairs: P-Q at 50, P-P at 100, Q-P at 50.
  EXPECT_EQ(run->tally.pair_count[1], 14.0);
  EXPECT_EQ(run->tally.similarity_sum[1], 8 * 50.0 + 4 * 100.0 + 2 * 50.0);
  for (std::size_t n = 2; n < run->tally.pair_count.rows(); ++n) {
    EXPECT_EQ(run->tally.pair_count[n], 0.0) << n;
    EXPECT_EQ(run->tally.similarity_sum[n], 0.0) << n;
  }
  ASSERT_EQ(aggregate(), -1);  // a second pass gives the same tally
  EXPECT_EQ(run->tally.pair_count[1], 14.0);
  EXPECT_EQ(run->tally.similarity_sum[1], 900.0);
}

TEST_F(Aggregation, NegativeSimilaritiesAreAddedAsReturned) {
  branch(1, 1);
  branch(2, 1);
  language(1, 1, {{3}, {1}});
  // Same-meaning distance 1 against a different-meaning distance 0.5: -100.
  language(2, 2, {{1, 2}});
  language(3, 2, {{1, 2}});
  ASSERT_EQ(aggregate(), -1);
  EXPECT_EQ(run->tally.pair_count[1], 2.0);
  EXPECT_EQ(run->tally.similarity_sum[1], -200.0);
}

TEST_F(Aggregation, NoPairWithFewerThanTwoLanguages) {
  branch(1, 1);
  branch(2, 1);
  language(1, 1, Z);
  language(2, 2, Z);
  run->scan.language_count = 1;
  ASSERT_EQ(aggregate(), -1);
  EXPECT_EQ(run->tally.pair_count[1], 0.0);
  run->scan.language_count = 0;
  ASSERT_EQ(aggregate(), -1);
  EXPECT_EQ(run->tally.pair_count[1], 0.0);
}

TEST_F(Aggregation, FirstFaultingPairInLoopOrderEndsTheRun) {
  const Words R = {{2}, {1}};  // against P every different-meaning pair is 0
  for (int b = 1; b <= 3; ++b) branch(b, 1);
  language(1, 1, P);
  language(2, 2, Z);  // (1, 2): no common meaning, 0 / 0
  language(3, 3, R);  // (1, 3): nonzero over 0
  EXPECT_EQ(aggregate(), 1);
  EXPECT_EQ(err.data, "\r\nrun-time error M6101: MATH\r\n- floating-point error: invalid\r\n");
  EXPECT_EQ(out.data, "");

  err.data.clear();
  language(2, 2, R);
  language(3, 3, Z);
  EXPECT_EQ(aggregate(), 1);
  EXPECT_EQ(err.data,
            "\r\nrun-time error M6103: MATH\r\n- floating-point error: divide by zero\r\n");
  EXPECT_EQ(out.data, "");
}

}  // namespace
}  // namespace plix
