// Formatted input: field rules, character items, record ends and the stream.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "run/run.h"
#include "tests/textio_harness.h"

namespace plix {
namespace {

using testing::Harness;

// Reads one record with `format` into `count` integers; returns the status
// (-1 when the read completed).
int read_integers(Harness& h, const char* format, std::int32_t* values, int count) {
  return h.run([&](TextIO& io) {
    begin_read(io, format);
    for (int i = 0; i < count; ++i) read_integer(io, values[i]);
    end_read(io);
  });
}

std::int32_t one_integer(const std::string& record, const char* format = "(I6)") {
  Harness h(record + "\n");
  std::int32_t v = -999;
  EXPECT_EQ(read_integers(h, format, &v, 1), -1) << h.err.data;
  return v;
}

int integer_error(const std::string& record, const char* format = "(I6)") {
  Harness h(record + "\n");
  std::int32_t v;
  int status = read_integers(h, format, &v, 1);
  EXPECT_EQ(status, 1);
  // "\r\nrun-time error F6101: READ(CON)..." -> 6101
  return h.err.data.size() > 22 ? std::stoi(h.err.data.substr(18, 4)) : 0;
}

float one_real(const std::string& record, const char* format = "(F12.0)") {
  Harness h(record + "\n");
  float v = -999;
  EXPECT_EQ(h.run([&](TextIO& io) {
    begin_read(io, format);
    read_real(io, v);
    end_read(io);
  }),
            -1)
      << h.err.data;
  return v;
}

int real_error(const std::string& record, const char* format = "(F12.0)") {
  Harness h(record + "\n");
  float v;
  EXPECT_EQ(h.run([&](TextIO& io) {
    begin_read(io, format);
    read_real(io, v);
    end_read(io);
  }),
            1);
  return h.err.data.size() > 22 ? std::stoi(h.err.data.substr(18, 4)) : 0;
}

TEST(IntegerInput, SixFieldsOfSixColumnsWithShortRecords) {
  std::int32_t v[6];
  Harness a("     2    30  1000\n");
  ASSERT_EQ(read_integers(a, "(12I6)", v, 6), -1);
  EXPECT_EQ(std::vector<std::int32_t>(v, v + 6), (std::vector<std::int32_t>{2, 30, 1000, 0, 0, 0}));
  Harness b("     2    30  1000  45\n");
  ASSERT_EQ(read_integers(b, "(12I6)", v, 6), -1);
  EXPECT_EQ(v[3], 45);
  EXPECT_EQ(v[4], 0);
}

TEST(IntegerInput, BlanksSignsAndLeadingZeros) {
  EXPECT_EQ(one_integer("  1 2 "), 12);
  EXPECT_EQ(one_integer("  -7  "), -7);
  EXPECT_EQ(one_integer("007"), 7);
  EXPECT_EQ(one_integer("      "), 0);
  EXPECT_EQ(one_integer(""), 0);
  EXPECT_EQ(one_integer("  -   "), 0);
  EXPECT_EQ(one_integer("+\t5"), 5);
  EXPECT_EQ(one_integer("1234567", "(I3)"), 123);
}

TEST(IntegerInput, CommaEndsTheField) {
  std::int32_t v[3];
  Harness h("1,2\n");
  ASSERT_EQ(read_integers(h, "(2I6)", v, 2), -1);
  EXPECT_EQ(v[0], 1);
  EXPECT_EQ(v[1], 2);
  Harness k("12,,7\n");
  ASSERT_EQ(read_integers(k, "(3I6)", v, 3), -1);
  EXPECT_EQ(v[0], 12);
  EXPECT_EQ(v[1], 0);
  EXPECT_EQ(v[2], 7);
}

TEST(IntegerInput, BlanksCountAsZerosAfterBZ) {
  EXPECT_EQ(one_integer("  1 2 ", "(BZ,I6)"), 1020);
  EXPECT_EQ(one_integer("1 2 ", "(BZ,I4,BN)"), 1020);
  EXPECT_EQ(one_integer("  1 2 ", "(BZ,BN,I6)"), 12);
}

TEST(IntegerInput, Limits) {
  EXPECT_EQ(one_integer("2147483647", "(I11)"), 2147483647);
  EXPECT_EQ(one_integer("-2147483648", "(I11)"), INT32_MIN);
  EXPECT_EQ(integer_error("2147483648", "(I11)"), 6100);
  EXPECT_EQ(integer_error("-2147483649", "(I11)"), 6100);
  EXPECT_EQ(integer_error("99999999999999999999", "(I20)"), 6100);
}

TEST(IntegerInput, InvalidCharacters) {
  EXPECT_EQ(integer_error("1.5"), 6101);
  EXPECT_EQ(integer_error("12A"), 6101);
  EXPECT_EQ(integer_error("5-"), 6101);
  EXPECT_EQ(integer_error("+-5"), 6101);
}

TEST(IntegerInput, RadixForm) {
  EXPECT_EQ(one_integer("2#101"), 5);
  EXPECT_EQ(one_integer("#ff"), 255);
  EXPECT_EQ(one_integer("-16#1A", "(I7)"), -26);
  EXPECT_EQ(one_integer("36#Z"), 35);
  EXPECT_EQ(integer_error("2#102"), 6101);
  EXPECT_EQ(integer_error("16#F#F", "(I7)"), 6302);
  EXPECT_EQ(integer_error("37#1"), 6303);
  EXPECT_EQ(integer_error("1#1"), 6303);
}

TEST(RealInput, FieldRules) {
  EXPECT_EQ(one_real("1234"), 1234.0f);
  EXPECT_EQ(one_real("  12.5"), 12.5f);
  EXPECT_EQ(one_real("-3000"), -3000.0f);
  EXPECT_EQ(one_real("1.5E3"), 1500.0f);
  EXPECT_EQ(one_real("1.5e+3"), 1500.0f);
  EXPECT_EQ(one_real("1.5D3"), 1500.0f);
  EXPECT_EQ(one_real("15-1"), 1.5f);
  EXPECT_EQ(one_real(""), 0.0f);
  EXPECT_EQ(one_real("            "), 0.0f);
  EXPECT_EQ(one_real("-.5"), -0.5f);
  EXPECT_EQ(one_real(".25"), 0.25f);
  EXPECT_EQ(one_real("+"), 0.0f);
  EXPECT_EQ(one_real("1 2.5"), 12.5f);
}

TEST(RealInput, ImpliedFractionDigitsAndScale) {
  EXPECT_EQ(one_real("1234", "(F8.2)"), 12.34f);
  EXPECT_EQ(one_real("12.5", "(F8.2)"), 12.5f);   // the point overrides d
  EXPECT_EQ(one_real("15E1", "(F8.1)"), 15.0f);   // 1.5 times 10
  EXPECT_EQ(one_real("250", "(2P,F8.0)"), 2.5f);  // no exponent: divided by 10^2
  EXPECT_EQ(one_real("25E1", "(2P,F8.0)"), 250.0f);
  EXPECT_EQ(one_real("1 5", "(BZ,F8.0)"), 105.0f);
  EXPECT_EQ(one_real("1.5E 2", "(BZ,F8.0)"), 150.0f);  // no zero right after E
  EXPECT_EQ(one_real("3.25", "(E10.3)"), 3.25f);
  EXPECT_EQ(one_real("3.25", "(G10.3)"), 3.25f);
}

TEST(RealInput, RangeAndErrors) {
  EXPECT_EQ(one_real("1E-400", "(F12.0)"), 0.0f);
  EXPECT_EQ(one_real("3.4E38", "(F12.0)"), 3.4e38f);
  EXPECT_EQ(real_error("3.5E38"), 6104);
  EXPECT_EQ(real_error("1E400"), 6102);
  EXPECT_EQ(real_error("1.2.3"), 6103);
  EXPECT_EQ(real_error("12X"), 6103);
  EXPECT_EQ(real_error("1E"), 6103);
  EXPECT_EQ(real_error("E5"), 6103);
}

TEST(RealInput, ManyDigitsRoundAsTheFullNumber) {
  // 0.1 followed by 900 zeros and a 1 lies just above 0.1 and still rounds
  // to the float nearest 0.1.
  std::string field = "0.1" + std::string(900, '0') + "1";
  EXPECT_EQ(one_real(field, "(F1000.0)"), 0.1f);
  EXPECT_EQ(one_real(std::string(30, '0') + "7", "(F40.0)"), 7.0f);
}

TEST(NumericInput, CtrlZInAFieldIsEndOfFile) {
  Harness h(
      "12\x1a"
      "4\n");
  std::int32_t v;
  EXPECT_EQ(read_integers(h, "(I6)", &v, 1), 1);
  EXPECT_EQ(h.err.data, testing::read_report(6501, "end of file encountered"));
}

std::string read_a1(Harness& h, int count, const char* format = "(400A1)") {
  std::string s(static_cast<std::size_t>(count), '?');
  int status = h.run([&](TextIO& io) {
    begin_read(io, format);
    read_characters(io, s.data(), count);
    end_read(io);
  });
  EXPECT_EQ(status, -1) << h.err.data;
  return s;
}

TEST(CharacterInput, ShortRecordsArePaddedWithBlanks) {
  Harness h(std::string(30, 'x') + "\n\n");
  EXPECT_EQ(read_a1(h, 400), std::string(30, 'x') + std::string(370, ' '));
  EXPECT_EQ(read_a1(h, 400), std::string(400, ' '));
}

TEST(CharacterInput, TabAndCtrlZAreOrdinaryCharacters) {
  Harness h(
      "a\tb\x1a"
      "c\n");
  EXPECT_EQ(read_a1(h, 6),
            "a\tb\x1a"
            "c ");
}

TEST(CharacterInput, CrInsideALineEndsTheData) {
  Harness h("abcdefghi\rjklmn\nnext\n");
  EXPECT_EQ(read_a1(h, 400), "abcdefghi" + std::string(391, ' '));
  EXPECT_EQ(read_a1(h, 4), "next");
}

TEST(CharacterInput, CrLfAndLfLineEndsAndAFinalLineWithoutLineEnd) {
  Harness a("one\r\ntwo\nthree");
  EXPECT_EQ(read_a1(a, 6), "one   ");
  EXPECT_EQ(read_a1(a, 6), "two   ");
  EXPECT_EQ(read_a1(a, 6), "three ");
}

TEST(CharacterInput, SingleItemsAndWideFields) {
  Harness h("abcdef\n");
  char a = 0, b = 0, c = 0;
  ASSERT_EQ(h.run([&](TextIO& io) {
    begin_read(io, "(A1,A3,A4)");
    read_character(io, a);
    read_character(io, b);  // skips two columns, takes 'd'
    read_character(io, c);  // skips three columns, finds the record end
    end_read(io);
  }),
            -1);
  EXPECT_EQ(a, 'a');
  EXPECT_EQ(b, 'd');
  EXPECT_EQ(c, ' ');
}

TEST(CharacterInput, FigureRecordOfTwentyFiveColumns) {
  Harness h(std::string(18, ' ') + "  -1500\n" + std::string(18, ' ') + "      1234.5" +
            std::string(9, ' ') + "ABC\n");
  float figure = 1;
  char code[3] = {'?', '?', '?'};
  auto figure_read = [&](TextIO& io) {
    begin_read(io, "(18X,F12.0,9X,3A1)");
    read_real(io, figure);
    read_characters(io, code, 3);
    end_read(io);
  };
  ASSERT_EQ(h.run(figure_read), -1);
  EXPECT_EQ(figure, -1500.0f);
  EXPECT_EQ(std::string(code, 3), "   ");
  ASSERT_EQ(h.run(figure_read), -1);
  EXPECT_EQ(figure, 1234.5f);
  EXPECT_EQ(std::string(code, 3), "ABC");
}

TEST(CharacterInput, EachReadConsumesOneRecord) {
  Harness h("a123 rest\nb\n");
  char c = 0;
  auto symbol = [&](TextIO& io) {
    begin_read(io, "(A1,I4)");
    read_character(io, c);
    end_read(io);
  };
  ASSERT_EQ(h.run(symbol), -1);
  EXPECT_EQ(c, 'a');
  ASSERT_EQ(h.run(symbol), -1);
  EXPECT_EQ(c, 'b');
  EXPECT_EQ(h.run(symbol), 1);
  EXPECT_EQ(h.err.data, testing::read_report(6501, "end of file encountered"));
}

TEST(Stream, PiecesOfAPipeReadAsTheWholeStream) {
  std::string input;
  for (int i = 0; i < 50; ++i)
    input +=
        std::string(static_cast<std::size_t>(i * 7 % 300), 'a' + i % 26) + (i % 3 ? "\n" : "\r\n");
  input += "tail";
  std::vector<std::string> expected;
  {
    Harness whole(input);
    for (int i = 0; i < 51; ++i) expected.push_back(read_a1(whole, 400));
  }
  for (std::size_t chunk : {1u, 2u, 7u, 131u, 132u, 133u, 4096u}) {
    Harness h(input, chunk);
    for (int i = 0; i < 51; ++i) ASSERT_EQ(read_a1(h, 400), expected[i]) << chunk << " " << i;
  }
  EXPECT_EQ(expected[50], "tail" + std::string(396, ' '));
}

TEST(Stream, LineEndingInCtrlZIsEndOfFileWhereverTheLineFalls) {
  // A final line without line end counts too, the stream's end completing it.
  for (const char* rest : {"\x1a\r\nthird\n", "\x1a\nthird\n", "\x1a"}) {
    for (std::size_t chunk : {1u, 3u, 1000u}) {
      Harness h(std::string("first\nsecond") + rest, chunk);
      EXPECT_EQ(read_a1(h, 5), "first");
      std::string s(5, '?');
      EXPECT_EQ(h.run([&](TextIO& io) {
        begin_read(io, "(400A1)");
        read_characters(io, s.data(), 5);
        end_read(io);
      }),
                1);
      EXPECT_EQ(h.err.data, testing::read_report(6501, "end of file encountered"));
    }
  }
}

// A whole run over a pipe that delivers its bytes in pieces reads the same
// as over a file: the same report, the same status.
TEST(Stream, WholeRunIsTheSameForEveryPieceSize) {
  std::ifstream file(std::string(PLIX_SOURCE_DIR) + "/examples/small.txt", std::ios::binary);
  std::stringstream content;
  content << file.rdbuf();
  ASSERT_FALSE(content.str().empty());
  StringSource whole(content.str());
  StringSink whole_out, whole_err;
  int whole_status = run_program(whole, whole_out, whole_err);
  EXPECT_EQ(whole_out.data.rfind("1 SYNONYMS,", 0), 0u);
  for (std::size_t chunk : {1u, 5u, 131u, 132u, 133u}) {
    StringSource in(content.str(), chunk);
    StringSink out, err;
    EXPECT_EQ(run_program(in, out, err), whole_status) << chunk;
    EXPECT_EQ(out.data, whole_out.data) << chunk;
    EXPECT_EQ(err.data, whole_err.data) << chunk;
  }
}

TEST(Stream, ReadFailureAndEmptyStream) {
  struct Broken final : ByteSource {
    long read(char*, std::size_t) override { return -1; }
  } broken;
  StringSink out, err;
  TextIO io(broken, out, err);
  char c;
  try {
    begin_read(io, "(A1)");
    read_character(io, c);
    FAIL();
  } catch (const RunEnd& end) {
    EXPECT_EQ(end.status, 1);
  }
  EXPECT_EQ(err.data, testing::read_report(6500, "standard input cannot be read"));
}

TEST(Stream, LinesLongerThanTheWindowKeepWhatAReadReachesAndSkipTheRest) {
  std::string line(RECORD_WINDOW + 5000, 'q');
  line[0] = 'p';
  line[RECORD_WINDOW - 1] = 'r';
  line[RECORD_WINDOW] = 's';  // first column beyond the window, still read
  for (std::size_t chunk : {1000u, 1u << 16}) {
    Harness h(line + "\nafter\n", chunk);
    std::string s(3, '?');
    ASSERT_EQ(h.run([&](TextIO& io) {
      begin_read(io, "(A1,T65536,2A1)");
      read_characters(io, s.data(), 3);
      end_read(io);
    }),
              -1);
    EXPECT_EQ(s, "prs");
    EXPECT_EQ(read_a1(h, 5), "after");
  }
  Harness z(line + "\x1a\r\nafter\n");
  std::string s(1, '?');
  EXPECT_EQ(z.run([&](TextIO& io) {
    begin_read(io, "(A1)");
    read_characters(io, s.data(), 1);
    end_read(io);
  }),
            1);
  EXPECT_EQ(z.err.data, testing::read_report(6501, "end of file encountered"));
}

}  // namespace
}  // namespace plix
