// The format notation: compilation, interpretation with a logging sink, and
// run-time formats driving reads.
#include <gtest/gtest.h>

#include <string>

#include "tests/textio_harness.h"
#include "textio/format.h"

namespace plix {
namespace {

std::string name(Op op) {
  switch (op) {
    case Op::I:
      return "I";
    case Op::F:
      return "F";
    case Op::E:
      return "E";
    case Op::D:
      return "D";
    case Op::G:
      return "G";
    case Op::A:
      return "A";
    case Op::L:
      return "L";
    case Op::X:
      return "X";
    case Op::T:
      return "T";
    case Op::TL:
      return "TL";
    case Op::TR:
      return "TR";
    default:
      return "?";
  }
}

struct Log final : FormatActions {
  void position(Op op, std::int32_t n) override { text += name(op) + std::to_string(n) + " "; }
  void next_record() override { text += "/ "; }
  void literal(const char* t, std::int32_t n) override {
    text += '\'';
    text.append(t, static_cast<std::size_t>(n));
    text += "' ";
  }
  [[noreturn]] void error(ErrorCode code) override { throw static_cast<int>(code); }
  std::string text;
};

std::string describe(const DataEdit& e) {
  std::string s = name(e.op);
  if (e.op != Op::A || e.has_width) s += std::to_string(e.w);
  if (e.op == Op::F || e.op == Op::E || e.op == Op::D || e.op == Op::G) {
    s += '.';
    s += std::to_string(e.d);
  }
  s += ' ';
  return s;
}

// The actions and data edits of `items` transfers, "|", then the actions of
// the end of the list; a syntax error shows as "E<number>".
std::string trace(const char* format, int items) {
  static FormatProgram program;
  compile_format(format, program);
  FormatCursor cursor;
  start_format(cursor);
  Log log;
  try {
    for (int i = 0; i < items; ++i) log.text += describe(next_data_edit(program, cursor, log));
    log.text += "| ";
    finish_format(program, cursor, log);
  } catch (int code) {
    log.text += "E" + std::to_string(code) + " ";
  }
  log.text.pop_back();
  return log.text;
}

TEST(FormatInterpreter, TheSystemsOwnFormats) {
  EXPECT_EQ(trace("(12I6)", 6), "I6 I6 I6 I6 I6 I6 |");
  EXPECT_EQ(trace("(12I6)", 0), "|");
  EXPECT_EQ(trace("(A1,I4)", 1), "A1 |");
  EXPECT_EQ(trace("(18X,F12.0,9X,3A1)", 4), "X18 F12.0 X9 A1 A1 A1 |");
  EXPECT_EQ(trace("(I7,'  PAIRS',F8.2,'%',I7,' BP')", 3), "I7 '  PAIRS' F8.2 '%' I7 | ' BP'");
  EXPECT_EQ(trace("(I7,'  PAIRS',F8.2,'%')", 2), "I7 '  PAIRS' F8.2 | '%'");
  EXPECT_EQ(trace("(I2,' SYNONYMS,',I3)", 2), "I2 ' SYNONYMS,' I3 |");
}

TEST(FormatInterpreter, GroupsRepeatsAndReversion) {
  EXPECT_EQ(trace("(2(I1,'x'),A1)", 3), "I1 'x' I1 'x' A1 |");
  EXPECT_EQ(trace("(2(1X,2(A1)))", 4), "X1 A1 A1 X1 A1 A1 |");
  EXPECT_EQ(trace("(I1,I2)", 3), "I1 I2 / I1 |");
  // Reversion goes to the last top-level group, with its repeat count.
  EXPECT_EQ(trace("(I1,2(A1,'-'))", 6), "I1 A1 '-' A1 '-' / A1 '-' A1 '-' / A1 | '-'");
  EXPECT_EQ(trace("(I1,2/I1)", 2), "I1 / / I1 |");
  EXPECT_EQ(trace("(I1,/)", 1), "I1 | /");
  EXPECT_EQ(trace("(I1,:,' tail')", 1), "I1 |");
  EXPECT_EQ(trace("(I1,:,' tail')", 2), "I1 ' tail' / I1 |");
  EXPECT_EQ(trace("(T5,TL2,TR3,X,I1)", 1), "T5 TL2 TR3 X1 I1 |");
}

TEST(FormatCompiler, NotationDetails) {
  EXPECT_EQ(trace("( 2 i 3 , a 1 )", 3), "I3 I3 A1 |");
  EXPECT_EQ(trace("  (I3)  trailing text is ignored", 1), "I3 |");
  EXPECT_EQ(trace("(I3I4)", 2), "I3 I4 |");
  EXPECT_EQ(trace("(I3,I4,)", 2), "I3 I4 |");
  EXPECT_EQ(trace("('it''s',\"q\"\"\",2H a,I1)", 1), "'it's' 'q\"' ' a' I1 |");
  EXPECT_EQ(trace("(' (a, b) ',I1)", 1), "' (a, b) ' I1 |");
  EXPECT_EQ(trace("(E10.3E2,D9.2,G8.1,L2,A)", 5), "E10.3 D9.2 G8.1 L2 A |");
  EXPECT_EQ(trace("(I5.3)", 1), "I5 |");
}

TEST(FormatCompiler, ModesTravelWithEachDataEdit) {
  static FormatProgram program;
  compile_format("(BZ,I3,BN,2PF5.1,SP,I2,SS,I2,-1P,S,F3.0)", program);
  FormatCursor c;
  start_format(c);
  Log log;
  DataEdit a = next_data_edit(program, c, log);
  DataEdit b = next_data_edit(program, c, log);
  DataEdit p = next_data_edit(program, c, log);
  DataEdit s = next_data_edit(program, c, log);
  DataEdit f = next_data_edit(program, c, log);
  EXPECT_TRUE(a.blank_zero);
  EXPECT_FALSE(b.blank_zero);
  EXPECT_EQ(b.scale, 2);
  EXPECT_EQ(p.sign, SignMode::plus);
  EXPECT_EQ(s.sign, SignMode::suppress);
  EXPECT_EQ(f.scale, -1);
  EXPECT_EQ(f.sign, SignMode::processor);
}

TEST(FormatCompiler, SyntaxErrorsAreReportedWhereInterpretationReachesThem) {
  EXPECT_EQ(trace("I3)", 1), "E6970");
  EXPECT_EQ(trace("", 1), "E6970");
  EXPECT_EQ(trace("(I3,I4", 2), "I3 I4 | E6971");
  EXPECT_EQ(trace("(I3,I4", 1), "I3 |");  // finishing stops at I4, before the end
  EXPECT_EQ(trace("(A1,I4,Z9)", 1), "A1 |");
  EXPECT_EQ(trace("(A1,I4,Z9)", 2), "A1 I4 | E6972");
  EXPECT_EQ(trace("(I3,:,Q)", 1), "I3 |");
  EXPECT_EQ(trace("(Q)", 1), "E6972");
  EXPECT_EQ(trace("(BQ)", 1), "E6972");
  EXPECT_EQ(trace("(I)", 1), "E6973");
  EXPECT_EQ(trace("(I0)", 1), "E6973");
  EXPECT_EQ(trace("(A0)", 1), "E6973");
  EXPECT_EQ(trace("(F8)", 1), "E6974");
  EXPECT_EQ(trace("(F8.)", 1), "E6975");
  EXPECT_EQ(trace("(I5.)", 1), "E6975");
  EXPECT_EQ(trace("(0I3)", 1), "E6976");
  EXPECT_EQ(trace("(0(I3))", 1), "E6976");
  EXPECT_EQ(trace("(2T5,I3)", 1), "E6977");
  EXPECT_EQ(trace("(3:)", 1), "E6977");
  EXPECT_EQ(trace("(T,I3)", 1), "E6978");
  EXPECT_EQ(trace("(T0,I3)", 1), "E6978");
  EXPECT_EQ(trace("(0X,I3)", 1), "E6978");
  EXPECT_EQ(trace("(-2I3)", 1), "E6979");
  EXPECT_EQ(trace("(P,I3)", 1), "E6979");
  EXPECT_EQ(trace("('abc)", 1), "E6980");
  EXPECT_EQ(trace("(5Hab)", 1), "E6981");
  EXPECT_EQ(trace("(H)", 1), "E6981");
  // Nesting is bounded only by the descriptor table.
  EXPECT_EQ(trace(("(" + std::string(MAX_NESTING + 1, '(') + "I1" + std::string(MAX_NESTING + 2, ')'))
                      .c_str(),
                  1),
            "E6983");
  EXPECT_EQ(trace("(2147483648I3)", 1), "E6984");
  EXPECT_EQ(trace("(E10.3E)", 1), "E6985");
}

TEST(FormatCompiler, TableCapacityEndsInASyntaxErrorNotAnOverrun) {
  std::string many = "(";
  for (int i = 0; i < 300; ++i) many += "I1,";
  many += ")";
  std::string t = trace(many.c_str(), 300);
  EXPECT_EQ(t.substr(t.size() - 5), "E6983");
  EXPECT_EQ(t.size(), 3u * (MAX_DESCRIPTORS - 1) + 5);
  std::string long_literal = "('" + std::string(MAX_LITERALS + 1, 'x') + "')";
  EXPECT_EQ(trace(long_literal.c_str(), 0), "| E6983");
}

TEST(FormatInterpreter, FormatsThatCannotTransferAnItemEndInsteadOfLooping) {
  EXPECT_EQ(trace("(5X)", 1), "E6986");
  EXPECT_EQ(trace("()", 1), "E6986");
  EXPECT_EQ(trace("(I3,(X))", 2), "I3 X1 E6986");
}

// Run-time formats driving reads.
TEST(RunTimeFormat, ReadsColumnsOfEveryRecord) {
  char text[72];
  std::string f = "(I3)" + std::string(68, ' ');
  for (int i = 0; i < 72; ++i) text[i] = f[static_cast<std::size_t>(i)];
  testing::Harness h(" 12xx\n  7\n100 5\n");
  std::int32_t v[3];
  for (auto& x : v) {
    ASSERT_EQ(h.run([&](TextIO& io) {
      begin_read(io, characters_to_text(text, 72));
      read_integer(io, x);
      end_read(io);
    }),
              -1);
  }
  EXPECT_EQ(v[0], 12);
  EXPECT_EQ(v[1], 7);
  EXPECT_EQ(v[2], 100);
}

TEST(RunTimeFormat, PositionsSlashesAndReversionOnInput) {
  testing::Harness h("0123456789\n12345\n  1\n  2\n  3\n  4\nnext\n");
  std::int32_t a = -1, b = -1, c = -1;
  ASSERT_EQ(h.run([&](TextIO& io) {
    begin_read(io, "(T5,I2,TL4,I2)");
    read_integer(io, a);
    read_integer(io, b);
    end_read(io);
  }),
            -1);
  EXPECT_EQ(a, 45);
  EXPECT_EQ(b, 23);
  ASSERT_EQ(h.run([&](TextIO& io) {
    begin_read(io, "(10X,I2,T99,I2)");
    read_integer(io, a);
    read_integer(io, b);
    end_read(io);
  }),
            -1);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 0);
  ASSERT_EQ(h.run([&](TextIO& io) {
    begin_read(io, "(I3/I3)");
    read_integer(io, a);
    read_integer(io, b);
    read_integer(io, c);  // reversion: the third record
    end_read(io);
  }),
            -1);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
  EXPECT_EQ(c, 3);
  char s[4];
  ASSERT_EQ(h.run([&](TextIO& io) {
    begin_read(io, "(4A1)");
    read_characters(io, s, 4);
    end_read(io);
  }),
            -1);
  // The end of that read went on over '/' to the fourth record.
  EXPECT_EQ(std::string(s, 4), "next");
}

int read_status(const std::string& input, const char* format, char item, std::string* err) {
  testing::Harness h(input);
  int status = h.run([&](TextIO& io) {
    std::int32_t i;
    float r;
    char c;
    begin_read(io, format);
    if (item == 'i') read_integer(io, i);
    if (item == 'r') read_real(io, r);
    if (item == 'c') read_character(io, c);
    end_read(io);
  });
  *err = h.err.data;
  return status;
}

TEST(RunTimeFormat, ErrorsOfInputFormats) {
  std::string err;
  EXPECT_EQ(read_status("5\n", "('x',I3)", 'i', &err), 1);
  EXPECT_EQ(err, testing::read_report(6509, "literal in a format used for input"));
  EXPECT_EQ(read_status("5\n", "(2Hab,I3)", 'i', &err), 1);
  EXPECT_EQ(err.substr(0, 35), "\r\nrun-time error F6509: READ(CON)\r\n");
  EXPECT_EQ(read_status("5\n", "(F3.0)", 'i', &err), 1);
  EXPECT_EQ(err, testing::read_report(6207, "integer item needs an I edit descriptor"));
  EXPECT_EQ(read_status("5\n", "(I3)", 'r', &err), 1);
  EXPECT_EQ(err.substr(0, 35), "\r\nrun-time error F6206: READ(CON)\r\n");
  EXPECT_EQ(read_status("5\n", "(I3)", 'c', &err), 1);
  EXPECT_EQ(err.substr(0, 35), "\r\nrun-time error F6205: READ(CON)\r\n");
  EXPECT_EQ(read_status("5\n", "(5X)", 'i', &err), 1);
  EXPECT_EQ(err, testing::read_report(6986, "format has no edit descriptor for the item"));
  EXPECT_EQ(read_status("5\n", "(I3,Q)", 'i', &err), 1);
  EXPECT_EQ(err, testing::read_report(6972, "unknown edit descriptor in format"));
  EXPECT_EQ(read_status("5\n", "(I3,:,Q)", 'i', &err), -1);
  EXPECT_EQ(read_status("5\n", "(I3", 'i', &err), 1);
  EXPECT_EQ(err, testing::read_report(6971, "format ends before its closing ')'"));
}

}  // namespace
}  // namespace plix
