#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "report/report.h"
#include "database/scanner.h"
#include "report/aggregate.h"
#include "run/parameters.h"
#include "run/run_state.h"
#include "run/selection.h"
#include "textio/units.h"

namespace plix {
namespace {

// S0 and R with the derived logarithms as the run parameters store them: the
// product with the single-precision 0.01 in double, log10 of it, rounded to
// single precision (the factor 2 applied before that rounding).
RunParameters parameters(int level, int s0, int r) {
  RunParameters p;
  p.LEVEL = level;
  p.S0 = s0;
  p.R = r;
  p.log_s0 = static_cast<float>(std::log10(s0 * static_cast<double>(0.01f)));
  p.two_log_r = static_cast<float>(std::log10(r * static_cast<double>(0.01f)) * 2.0);
  return p;
}

TEST(EstimateAge, WorkedExampleAndAgeTable) {
  const RunParameters p = parameters(1, 90, 72);
  EXPECT_NEAR(p.log_s0, -0.0457575f, 1e-7);
  EXPECT_NEAR(p.two_log_r, -0.2853350f, 1e-7);
  EXPECT_EQ(estimate_age(p, static_cast<float>(203.6 / 8.0)), 1922);
  EXPECT_EQ(estimate_age(p, 95.0f), -81);  // -81.79, truncated toward zero
  EXPECT_EQ(estimate_age(p, 90.0f), 0);
  EXPECT_EQ(estimate_age(p, 50.0f), 895);
  EXPECT_EQ(estimate_age(p, AGE_THRESHOLD), 14913);
  EXPECT_EQ(AGE_THRESHOLD, 0.004999999888241291f);
}

TEST(EstimateAge, AgesBeyondThirtyTwoBitsSaturate) {
  // R = 100 leaves two_log_r at about -1.9e-8.
  const RunParameters p = parameters(1, 90, 100);
  EXPECT_LT(p.two_log_r, 0.0f);
  EXPECT_EQ(estimate_age(p, 50.0f), INT32_MAX);
  EXPECT_EQ(estimate_age(p, 100.0f), INT32_MIN);
}

class Labels : public ::testing::Test {
 protected:
  void SetUp() override {
    table = std::make_unique<BranchTable>();
    ASSERT_TRUE(grow_branch_table(*table, 1));
  }
  std::string label(const std::string& key, int level) {
    std::memset(table->branch_key[1], ' ', RECORD_WIDTH);
    std::memcpy(table->branch_key[1], key.data(), key.size());
    char buffer[RECORD_WIDTH];
    const int length = branch_label(*table, 1, level, buffer);
    return std::string(buffer, length);
  }
  std::unique_ptr<BranchTable> table;
};

TEST_F(Labels, StopAtTheCommaAfterLevelPlusOneComponents) {
  EXPECT_EQ(label("ALPHA,NORTH,RIVER,abc,", 1), "ALPHA,NORTH ");
  EXPECT_EQ(label("ALPHA,NORTH,abc,", 0), "ALPHA ");
  EXPECT_EQ(label("ALPHA,NORTH,RIVER,abc,", 3), "ALPHA,NORTH,RIVER,abc ");
}

TEST_F(Labels, StopAtTheFirstBlank) {
  EXPECT_EQ(label("AL PHA,NORTH,abc,", 1), "AL ");
  // Fewer commas than components asked for: the whole key, final comma too.
  EXPECT_EQ(label("F,G1,aaa,", 5), "F,G1,aaa, ");
  // A negative level stops at once.
  EXPECT_EQ(label("F,G1,aaa,", -1), " ");
}

TEST_F(Labels, KeyThatNeverStopsGivesItsFourHundredCharacters) {
  std::string key(400, 'k');
  key[10] = ',';
  EXPECT_EQ(label(key, 1), key);
}

// write_report on tables filled by hand. No header lines are written first,
// so the first record finds no line end owed.
class Report : public ::testing::Test {
 protected:
  void SetUp() override {
    run = std::make_unique<RunState>(io);
    clear_branch_table(run->branches);
    run->params = parameters(1, 90, 72);
    ASSERT_TRUE(run->tally.pair_count.grow_to(16) && run->tally.similarity_sum.grow_to(16));
  }
  void branch(int b, int node, int members, const std::string& key) {
    BranchTable& t = run->branches;
    ASSERT_TRUE(grow_branch_table(t, b));
    t.node_of[b] = node;
    t.member_count[b] = members;
    std::memcpy(t.branch_key[b], key.data(), key.size());
    t.branch_count = std::max(t.branch_count, b);
    t.node_count = std::max(t.node_count, node);
  }
  void tally(int k, double pairs, double sum) {
    run->tally.pair_count[k] = pairs;
    run->tally.similarity_sum[k] = sum;
  }
  int report() {
    try {
      write_report(run->io, run->params, run->branches, run->tally);
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

TEST_F(Report, NoNodeWithPairsGivesOnlyTheStopLine) {
  branch(1, 1, 3, "A,B,abc,");
  branch(2, 2, 0, "C,D,def,");
  EXPECT_EQ(report(), 0);
  EXPECT_EQ(out.data, "Stop - Program terminated.\r\n");
}

TEST_F(Report, WorkedNodeListsBranchesWithMembersInBranchOrder) {
  branch(1, 1, 2, "BETA,ONE,aaa,");  // node 1 has no counted pair
  branch(2, 1, 1, "BETA,TWO,bbb,");
  branch(3, 2, 4, "ALPHA,NORTH,RIVER,abc,");
  branch(4, 2, 0, "ALPHA,EAST,qrs,");
  branch(5, 2, 2, "ALPHA,SOUTH,xyz,");
  tally(2, 8.0, 203.6);
  EXPECT_EQ(report(), 0);
  EXPECT_EQ(out.data,
            "\r\n"
            "     4  ALPHA,NORTH \r\n"
            "     2  ALPHA,SOUTH \r\n"
            "     8  PAIRS   25.45%   1922 BP\r\n"
            "Stop - Program terminated.\r\n");
}

TEST_F(Report, PairsLinesOfTheAgeTable) {
  const double means[] = {95.0, 90.0, 50.0, 0.004, static_cast<double>(AGE_THRESHOLD), -3.5};
  for (int k = 1; k <= 6; ++k) {
    branch(k, k, 1, "N,X,abc,");
    tally(k, 8.0, 8.0 * means[k - 1]);
  }
  EXPECT_EQ(report(), 0);
  // Each block: the separator (the line end owed by the line before it),
  // the branch line, the pairs line.
  const std::string block = "\r\n     1  N,X \r\n";
  EXPECT_EQ(out.data, block + "     8  PAIRS   95.00%    -81 BP\r\n" +  //
                          block + "     8  PAIRS   90.00%      0 BP\r\n" +  //
                          block + "     8  PAIRS   50.00%    895 BP\r\n" +  //
                          block + "     8  PAIRS     .00%\r\n" +            //
                          block + "     8  PAIRS     .00%  14913 BP\r\n" +  //
                          block + "     8  PAIRS   -3.50%" +                //
                          "\r\nStop - Program terminated.\r\n");
}

TEST_F(Report, CountsOfAMillionOrMoreAreWrittenInFull) {
  // Mean 50 gives 895 BP with S0 90, R 72; 0.004 gives no age. Below a
  // million the I7 field keeps a blank in front, which carriage control
  // takes; from a million on, a blank control column comes before the full
  // count, so every digit shows and no count starts a new page.
  const struct {
    double pairs, mean;
    const char* line;
  } cases[] = {
      {999999.0, 50.0, "999999  PAIRS   50.00%    895 BP"},
      {1000000.0, 50.0, "1000000  PAIRS   50.00%    895 BP"},
      {1198926.0, 50.0, "1198926  PAIRS   50.00%    895 BP"},
      {31996000.0, 50.0, "31996000  PAIRS   50.00%    895 BP"},
      // 70,000 languages of one node: past the int32 range, still exact.
      {2449965000.0, 50.0, "2449965000  PAIRS   50.00%    895 BP"},
      {1000000.0, 0.004, "1000000  PAIRS     .00%"},
  };
  std::string expected;
  int k = 0;
  for (const auto& c : cases) {
    ++k;
    branch(k, k, 1, "A,B,abc,");
    tally(k, c.pairs, c.pairs * c.mean);
    expected += std::string("\r\n\r\n     1  A,B \r\n") + c.line;
  }
  // A branch of a million members or more likewise.
  ++k;
  branch(k, k, 1234567, "A,B,abc,");
  tally(k, 5.0, 250.0);
  expected += "\r\n\r\n1234567  A,B \r\n     5  PAIRS   50.00%    895 BP";
  EXPECT_EQ(report(), 0);
  EXPECT_EQ(out.data, expected.substr(2) + "\r\nStop - Program terminated.\r\n");
}

TEST_F(Report, LongLabelsAndSaturatedAgesStayInTheirFields) {
  run->params = parameters(1, 90, 100);
  const std::string key(400, 'k');
  branch(1, 1, 12, key);
  tally(1, 3.0, 150.0);
  EXPECT_EQ(report(), 0);
  EXPECT_EQ(out.data, "\r\n    12  " + key + "\r\n     3  PAIRS   50.00%******* BP" +
                          "\r\nStop - Program terminated.\r\n");
}

}  // namespace
}  // namespace plix
