// The parameter record, the derived reals and the two header lines.
#include "run/parameters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "database/scanner.h"
#include "report/aggregate.h"
#include "report/report.h"
#include "run/run_state.h"
#include "run/selection.h"
#include "tests/textio_harness.h"

namespace plix {
namespace {

struct ParameterRun {
  explicit ParameterRun(std::string input)
      : h(std::move(input)), run(std::make_unique<RunState>(h.io)) {}
  int read() {
    return h.run([&](TextIO&) { read_run_parameters(run->io, run->params, run->scan.record_number); });
  }
  int read_and_write() {
    return h.run([&](TextIO& io) {
      read_run_parameters(run->io, run->params, run->scan.record_number);
      write_header_lines(run->io, run->params);
      stop_run(io);
    });
  }
  testing::Harness h;
  std::unique_ptr<RunState> run;
};

TEST(RunParameters, SixFieldsAndTheDerivedReals) {
  ParameterRun p("     0    28  1000     1    92    72\n");
  ASSERT_EQ(p.read(), -1) << p.h.err.data;
  const RunParameters& r = p.run->params;
  EXPECT_EQ(r.SYNONYMS, 1);
  EXPECT_EQ(r.WORDS, 28);
  EXPECT_EQ(r.DATE, 1000);
  EXPECT_EQ(r.LEVEL, 1);
  EXPECT_EQ(r.S0, 92);
  EXPECT_EQ(r.R, 72);
  EXPECT_EQ(r.date_limit, -1000.0f);
  // 72 times the float 0.01 (0.0099999997764825820922851562) is
  // 0.71999998390674591, nearer the float below 0.72 than 0.72f itself.
  EXPECT_EQ(r.r_fraction, std::nextafter(0.72f, 0.0f));
  // 92 * 0.0099999997764825821 = 0.91999997943639755
  EXPECT_FLOAT_EQ(r.s0_fraction, 0.91999997943639755f);
  EXPECT_NEAR(r.log_s0, -0.036212182, 1e-7);
  EXPECT_NEAR(r.two_log_r, -0.285335, 1e-5);
}

TEST(RunParameters, ColumnsAfterThirtySixAndShortRecords) {
  ParameterRun p("     2    30     0     2    86    80garbage 12.5 ###\n");
  ASSERT_EQ(p.read(), -1);
  EXPECT_EQ(p.run->params.R, 80);
  EXPECT_EQ(p.run->params.date_limit, 0.0f);
  ParameterRun s("     2    30  1000  45");  // no line end, fields cut short
  ASSERT_EQ(s.read(), 1);                    // S0 is 0: log10 of 0
  EXPECT_EQ(s.run->params.LEVEL, 45);
  EXPECT_EQ(s.h.err.data, "\r\nrun-time error M6202: MATH\r\n- log10: SING error: S0 is 0 in "
                          "record 1, the parameter record\r\n");
  EXPECT_EQ(s.h.out.data, "");
}

TEST(RunParameters, NegatedDateWithoutOverflowAndRetentionOfOneHundred) {
  ParameterRun r("     1    28-21474     1    92   100\n");
  ASSERT_EQ(r.read(), -1);
  EXPECT_EQ(r.run->params.date_limit, 21474.0f);
  // log10(100 * float 0.01) = log10(0.99999997764825821): about -1.94e-8, not 0.
  EXPECT_NEAR(r.run->params.two_log_r, -1.9413e-8, 1e-11);
  EXPECT_LT(r.run->params.two_log_r, 0.0f);
  // The smallest DATE does not fit six columns; its negation is still exact.
  r.run->params.DATE = INT32_MIN;
  ASSERT_EQ(r.h.run([&](TextIO&) { derive_run_parameters(r.run->io, r.run->params); }), -1);
  EXPECT_EQ(r.run->params.date_limit, 2147483648.0f);
}

TEST(RunParameters, RejectedSynonymsAndBadLogarithms) {
  for (const char* synonyms : {"     3", "    -1", "   100"}) {
    ParameterRun p(std::string(synonyms) + "    28  1000     1    92    72\n");
    EXPECT_EQ(p.read(), 1);
    EXPECT_EQ(p.h.out.data, "");
    EXPECT_EQ(p.h.err.data.rfind("plix62c: record 1, the parameter record: SYNONYMS is ", 0), 0u)
        << p.h.err.data;
    EXPECT_NE(p.h.err.data.find(std::to_string(std::stoi(synonyms))), std::string::npos);
  }
  ParameterRun negative("     1    28  1000     1   -92    72\n");
  EXPECT_EQ(negative.read(), 1);
  EXPECT_EQ(negative.h.err.data, "\r\nrun-time error M6201: MATH\r\n- log10: DOMAIN error: S0 is -92 "
                                 "in record 1, the parameter record\r\n");
  ParameterRun zero_r("     1    28  1000     1    92     0\n");
  EXPECT_EQ(zero_r.read(), 1);
  EXPECT_EQ(zero_r.h.err.data, "\r\nrun-time error M6202: MATH\r\n- log10: SING error: R is 0 in "
                               "record 1, the parameter record\r\n");
}

TEST(RunParameters, MissingOrUnreadableRecord) {
  ParameterRun empty("");
  EXPECT_EQ(empty.read(), 1);
  EXPECT_EQ(empty.h.err.data, testing::read_report(6501, "end of file encountered: the parameter "
                                                       "record is missing: the input is empty"));
  EXPECT_EQ(empty.h.out.data, "");
  ParameterRun bad("     1  28.5  1000     1    92    72\n");
  EXPECT_EQ(bad.read(), 1);
  EXPECT_EQ(bad.h.err.data,
            testing::read_report(6101, "invalid integer in record 1, the parameter record"));
}

TEST(HeaderLines, ExamplesAndCarriageControlOfTheFirstField) {
  ParameterRun p("     0    28  1000     1    92    72\n");
  ASSERT_EQ(p.read_and_write(), 0);
  EXPECT_EQ(p.h.out.data,
            "1 SYNONYMS, 28 WORDS, DATE > 1000, LEVEL  1\r\n"
            "S0 = 92%, R = .72\r\n"
            "Stop - Program terminated.\r\n");

  auto header = [](std::int32_t synonyms, std::int32_t words, std::int32_t date,
                   std::int32_t level) {
    testing::Harness h;
    auto run = std::make_unique<RunState>(h.io);
    run->params.SYNONYMS = synonyms;
    run->params.WORDS = words;
    run->params.DATE = date;
    run->params.LEVEL = level;
    run->params.S0 = 86;
    run->params.r_fraction = 1.0f;
    EXPECT_EQ(h.run([&](TextIO&) { write_header_lines(run->io, run->params); }), -1);
    return h.out.data;
  };
  EXPECT_EQ(header(2, 30, 1000, 2),
            "2 SYNONYMS, 30 WORDS, DATE > 1000, LEVEL  2\r\nS0 = 86%, R =1.00");
  EXPECT_EQ(header(10, 30, 1000, 2).substr(0, 20), "\r\n\f\r \r0 SYNONYMS, 30");
  EXPECT_EQ(header(25, 30, 1000, 2).substr(0, 14), "5 SYNONYMS, 30");
  EXPECT_EQ(header(100, 30, 1000, 2).substr(0, 14), "* SYNONYMS, 30");
  EXPECT_EQ(header(1, 1000, -99999, 1000).substr(0, 45),
            "1 SYNONYMS,*** WORDS, DATE >*****, LEVEL***\r\n");
}

}  // namespace
}  // namespace plix
