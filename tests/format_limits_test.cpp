// Run-time formats at the edges of the notation: misplaced commas, numbers
// up to 2147483647, deep nesting, huge repeat counts of control edits,
// columns past the in-place window, Ctrl-Z at the end of long lines and
// radix digits that overflow. Each case is one format of at most 72 columns
// compiled and used for one integer read, as a meaning-number record is.
#include <gtest/gtest.h>

#include <string>

#include "tests/textio_harness.h"

namespace plix {
namespace {

struct Case {
  std::string format;
  std::string input;
  std::int32_t value;  // the integer read when error is 0
  int error;           // the run-time error number, or 0
  std::size_t kept;    // bytes of a long line a read may keep aside, at most
};

const std::string kLong(69999, ' ');  // blanks up to column 69,999

TEST(FormatLimits, OneIntegerReadPerFormat) {
  const Case cases[] = {
      // A comma right after '(' or another comma, blanks between or not.
      {"(,I3)", "  1\n", 0, 6988, 0},
      {"(I3,,I2)", "  1\n", 0, 6988, 0},
      {"(I3, ,I2)", "  1\n", 0, 6988, 0},
      {"((,I3))", "  1\n", 0, 6988, 0},
      // Still accepted: a comma before ')', no comma between items, bare X,
      // an empty group, a TAB as a blank, T past the record end.
      {"(I3,)", "  1\n", 1, 0, 0},
      {"(2(I3,))", "  1\n", 1, 0, 0},
      {"(1XI3)", "9 12\n", 12, 0, 0},
      {"(X,I3)", "9 12\n", 12, 0, 0},
      {"((),I3)", " 12\n", 12, 0, 0},
      {"(\tI3\t)", " 12\n", 12, 0, 0},
      {"(T10,I3)", "  5\n", 0, 0, 0},
      // Numbers up to 2147483647 as written; larger ones are 6984.
      {"(I100000000)", "  42\n", 42, 0, 0},
      {"(100000000X,I3)", "  7\n", 0, 0, 0},
      {"(I3,100000000X)", "  7\n", 7, 0, 0},
      {"(2147483647X,TL3,I3)", "  7\n", 7, 0, 0},
      {"(2147483648X,I3)", "  7\n", 0, 6984, 0},
      {"(I2147483648)", "  7\n", 0, 6984, 0},
      // 35 groups deep fill the 72 columns.
      {std::string(35, '(').append("I3").append(35, ')'), " 12\n", 12, 0, 0},
      // Huge repeats of control edits read normally and at once.
      {"(2100000(TL1),I3)", "  5\n", 5, 0, 0},
      {"(2147483647(2147483647(X,TL1)),I3)", " 12\n", 12, 0, 0},
      // From column 9 each pass goes back one column until column 1.
      {"(T9,1000000000(TL1,2X,TL2),I1)", "123456789\n", 1, 0, 0},
      // Past the end of a 9-column record only TL moves: 99,999,999 passes
      // of TL10 from column 1,000,000,000 end at column 10, TL1 then at 9.
      {"(T1000000000,99999999(TL10),TL1,I1)", "123456789\n", 9, 0, 0},
      // 99,999,999 passes leave column 15; the last one reaches the record
      // (TL10 to column 5) and its X moves on to column 6.
      {"(T1000000005,100000000(TL10,X),I1)", "123456789\n", 6, 0, 0},
      // Modes set inside such a group stay set: BZ makes " 1 " read 10.
      {"(1000000000(BZ,X,TL1),I3)", " 1 \n", 10, 0, 0},
      {"(1000000000(''),I3)", " 1 \n", 0, 6509, 0},
      {"(5X)", " 1 \n", 0, 6986, 0},
      // Columns past 65,536 read what the record holds; a read keeps only
      // what its format can reach of a long line.
      {"(T70000,I3)", kLong + "  1\n", 1, 0, 70002},
      {"(T2000000000,I3)", kLong + "  1\n", 0, 0, 70002},
      {"(T70000,TL69999,I3)", "  4" + kLong.substr(3) + "  1\n", 4, 0, 70002},
      {"(I3)", "  1" + kLong + "\n", 1, 0, 3},
      // Ctrl-Z as the last byte of a line, long or short: end of file.
      {"(12I6)", std::string(69999, 'x') + "\x1a\n", 0, 6501, 72},
      {"(12I6)", std::string(69999, 'x') + "\x1a\r\n", 0, 6501, 72},
      {"(12I6)", std::string(99, 'x') + "\x1a\n", 0, 6501, 0},
      // Digits before '#' are a radix however many there are.
      {"(I20)", "99999999999#5\n", 0, 6303, 0},
      {"(I20)", "99999999999\n", 0, 6100, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    ASSERT_LE(c.format.size(), 72u);
    const std::string text = c.format + std::string(72 - c.format.size(), ' ');
    for (std::size_t chunk : {std::size_t{1} << 16, std::size_t{4093}}) {
      testing::Harness h(c.input, chunk);
      std::int32_t value = -1;
      const int status = h.run([&](TextIO& io) {
        begin_read(io, characters_to_text(text.data(), 72));
        read_integer(io, value);
        end_read(io);
      });
      if (c.error == 0) {
        EXPECT_EQ(status, -1) << h.err.data;
        EXPECT_EQ(value, c.value);
      } else {
        EXPECT_EQ(status, 1);
        EXPECT_EQ(h.err.data.substr(0, 35),
                  "\r\nrun-time error F" + std::to_string(c.error) + ": READ(CON)\r\n");
      }
      if (c.error == 6988) {
        EXPECT_EQ(h.err.data.substr(35), "- misplaced comma in format\r\n");
      }
      EXPECT_LE(h.io.input->long_record.capacity(), 2 * c.kept);
    }
  }
}

}  // namespace
}  // namespace plix
