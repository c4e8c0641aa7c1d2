// Position edits of input formats beyond the end of a short record: T goes
// to its column even past the record's end, and TL then counts back from
// that column; only X and TR stop at the record's end.
#include <gtest/gtest.h>

#include <string>

#include "tests/textio_harness.h"

namespace plix {
namespace {

char read_one_character(const std::string& format, const std::string& record) {
  testing::Harness h(record + "\n");
  char c = '?';
  EXPECT_EQ(h.run([&](TextIO& io) {
    begin_read(io, format);
    read_character(io, c);
    end_read(io);
  }),
            -1);
  return c;
}

TEST(InputPositions, TabulationPastTheRecordEndIsAColumnNotTheEnd) {
  // T10 is column 10 of a five-column record; TL8 from there is column 2.
  EXPECT_EQ(read_one_character("(T10,TL8,A1)", "12345"), '2');
  // TL3 from column 10 is column 7, beyond the data: a blank.
  EXPECT_EQ(read_one_character("(T10,TL3,A1)", "12345"), ' ');
  // X stops at the record end, so TL counts back from column 6.
  EXPECT_EQ(read_one_character("(20X,TL2,A1)", "12345"), '4');
  // An A2 field that starts beyond the data is a blank.
  EXPECT_EQ(read_one_character("(T9,A2)", "12345"), ' ');
}

TEST(InputPositions, FieldsAfterATabulationPastTheEnd) {
  testing::Harness h("12345\n");
  std::int32_t a = -1, b = -1;
  char c[3] = {'?', '?', '?'};
  ASSERT_EQ(h.run([&](TextIO& io) {
    begin_read(io, "(T9,I2,3A1,TL9,I2)");
    read_integer(io, a);
    read_characters(io, c, 3);
    read_integer(io, b);
    end_read(io);
  }),
            -1);
  EXPECT_EQ(a, 0);  // the field lies beyond the data: empty
  EXPECT_EQ(std::string(c, 3), "   ");
  // TL9 would pass column 1 and stops there: columns 1 and 2.
  EXPECT_EQ(b, 12);
}

}  // namespace
}  // namespace plix
