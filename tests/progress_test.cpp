// The progress line: silent off a terminal and for short loops, one line
// that is redrawn in place and erased at the end on a terminal.
#include <gtest/gtest.h>

#include <string>

#include "textio/progress.h"

namespace plix {
namespace {

TEST(Progress, NothingIsWrittenWhenStandardErrorIsNoTerminal) {
  StringSink err;
  err.console = false;
  Progress p;
  progress_begin(p, err, 1000, 10.0);
  for (double t = 10.0; t < 40.0; t += 0.5) progress_update(p, (t - 10) * 10, t);
  progress_end(p);
  EXPECT_EQ("", err.data);
}

TEST(Progress, ALoopOfUnderASecondShowsNothing) {
  StringSink err;
  err.console = true;
  Progress p;
  progress_begin(p, err, 1000, 5.0);
  progress_update(p, 400, 5.5);
  progress_update(p, 900, 6.0);  // exactly one second: not more than one
  progress_end(p);
  EXPECT_EQ("", err.data);
}

TEST(Progress, OneLineRedrawnInPlaceAndErasedAtTheEnd) {
  StringSink err;
  err.console = true;
  Progress p;
  progress_begin(p, err, 100, 0.0);
  progress_update(p, 50, 2.0);
  // 50 pairs in 2 s: 25 per second, 50 left take 2 s.
  EXPECT_EQ("\r50 of 100 pairs, 25 pairs/s, 2 s left", err.data);
  progress_update(p, 60, 2.1);  // too soon for a redraw
  EXPECT_EQ(std::string::npos, err.data.find("60 of"));
  progress_update(p, 99, 3.0);
  const std::string second = "\r99 of 100 pairs, 33 pairs/s, 0 s left";
  ASSERT_EQ(err.data.size(), 38 + second.size());
  EXPECT_EQ(second, err.data.substr(38));
  EXPECT_EQ(std::string::npos, err.data.find('\n'));
  const std::size_t before = err.data.size();
  progress_end(p);
  // Carriage return, blanks over the whole line, carriage return.
  EXPECT_EQ("\r" + std::string(37, ' ') + "\r", err.data.substr(before));
  progress_end(p);  // a second end writes nothing
  EXPECT_EQ(before + 39, err.data.size());
}

TEST(Progress, AShorterLineBlanksTheRestOfALongerOne) {
  StringSink err;
  err.console = true;
  Progress p;
  progress_begin(p, err, 100, 0.0);
  progress_update(p, 1, 1.5);  // 148 or 149 s left: a three-digit time
  const std::size_t first = err.data.size();
  err.data.clear();
  progress_update(p, 99, 100.0);  // "99 of 100 pairs, 1 pairs/s, 1 s left"
  const std::string text = "\r99 of 100 pairs, 1 pairs/s, 1 s left";
  ASSERT_LT(text.size(), first);
  EXPECT_EQ(first, err.data.size());
  EXPECT_EQ(text, err.data.substr(0, text.size()));
  EXPECT_EQ(std::string(first - text.size(), ' '), err.data.substr(text.size()));
  EXPECT_EQ(' ', err.data.back());
}

}  // namespace
}  // namespace plix
