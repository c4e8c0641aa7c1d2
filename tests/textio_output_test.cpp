// Formatted output: number editing, carriage control, records and the ends
// of the run.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/textio_harness.h"
#include "textio/editing.h"
#include "tests/programs.h"

namespace plix {
namespace {

using testing::Harness;

std::string fixed(float v, int w, int d) {
  std::string s(static_cast<std::size_t>(w), '?');
  edit_fixed(v, w, d, 0, false, s.data());
  return s;
}

std::string integer(std::int32_t v, int w, int m = 1) {
  std::string s(static_cast<std::size_t>(w), '?');
  edit_integer(v, w, m, false, s.data());
  return s;
}

TEST(IntegerEditing, FieldsAndAsterisks) {
  EXPECT_EQ(integer(1234567, 7), "1234567");
  EXPECT_EQ(integer(-5, 2), "-5");
  EXPECT_EQ(integer(-10, 2), "**");
  EXPECT_EQ(integer(0, 7), "      0");
  EXPECT_EQ(integer(100, 2), "**");
  EXPECT_EQ(integer(42, 6, 4), "  0042");
  EXPECT_EQ(integer(-42, 6, 4), " -0042");
  EXPECT_EQ(integer(0, 3, 0), "   ");
  EXPECT_EQ(integer(INT32_MIN, 11), "-2147483648");
  std::string plus(4, '?');
  edit_integer(7, 4, 1, true, plus.data());
  EXPECT_EQ(plus, "  +7");
}

TEST(FixedEditing, FourTwo) {
  EXPECT_EQ(fixed(0.72f, 4, 2), " .72");
  EXPECT_EQ(fixed(1.0f, 4, 2), "1.00");
  EXPECT_EQ(fixed(0.995f, 4, 2), "1.00");  // carry out of the first digit
  EXPECT_EQ(fixed(0.0f, 4, 2), " .00");
  EXPECT_EQ(fixed(-0.0f, 4, 2), " .00");
  EXPECT_EQ(fixed(10.0f, 4, 2), "****");
  EXPECT_EQ(fixed(9.999f, 4, 2), "****");
}

TEST(FixedEditing, EightTwo) {
  EXPECT_EQ(fixed(12.345f, 8, 2), "   12.35");
  EXPECT_EQ(fixed(-3.5f, 8, 2), "   -3.50");
  EXPECT_EQ(fixed(0.5f, 8, 2), "     .50");
  EXPECT_EQ(fixed(0.125f, 8, 2), "     .13");
  EXPECT_EQ(fixed(2.675f, 8, 2), "    2.67");  // the float lies below 2.675
  EXPECT_EQ(fixed(-0.004f, 8, 2), "     .00");
  EXPECT_EQ(fixed(99999.99f, 8, 2), "99999.99");
  EXPECT_EQ(fixed(123456.0f, 8, 2), "********");
  EXPECT_EQ(fixed(0.05f, 8, 2), "     .05");
  EXPECT_EQ(fixed(0.004f, 8, 2), "     .00");
  EXPECT_EQ(fixed(0.0004f, 8, 2), "     .00");  // below 10^-(d+1)
  EXPECT_EQ(fixed(-0.006f, 8, 2), "    -.01");
}

TEST(FixedEditing, SevenSignificantDigitsAndNoDecimals) {
  // 1234567.875 keeps 7 digits; the dropped 8 rounds up the last one.
  EXPECT_EQ(fixed(1234567.875f, 12, 2), "  1234568.00");
  EXPECT_EQ(fixed(1.0e10f, 14, 1), " 10000000000.0");
  EXPECT_EQ(fixed(0.4f, 4, 0), "  0.");
  EXPECT_EQ(fixed(0.5f, 4, 0), "  1.");
  EXPECT_EQ(fixed(-0.5f, 4, 0), " -1.");
  EXPECT_EQ(fixed(-0.4f, 4, 0), "  0.");
  EXPECT_EQ(fixed(37.5f, 4, 0), " 38.");
  std::string scaled(8, '?');
  edit_fixed(1.5f, 8, 2, 1, false, scaled.data());  // 1P multiplies by 10
  EXPECT_EQ(scaled, "   15.00");
}

TEST(ExponentEditing, BasicForms) {
  std::string s(10, '?');
  edit_exponent(1234.5f, 10, 3, 0, 0, false, 'E', s.data());
  EXPECT_EQ(s, " 0.123E+04");
  edit_exponent(-0.00126f, 10, 2, 0, 0, false, 'D', s.data());
  EXPECT_EQ(s, " -0.13D-02");
  std::string g(12, '?');
  edit_general(2.5f, 12, 3, 0, 0, false, g.data());
  EXPECT_EQ(g, "    2.50    ");  // F8.2 and four blanks
}

// Writes records through the unit and returns the bytes of standard output.
template <typename F>
std::string written(F f, int expected_status = -1) {
  Harness h;
  EXPECT_EQ(h.run(f), expected_status) << h.err.data;
  return h.out.data;
}

void text_record(TextIO& io, const std::string& characters) {
  begin_write(io, "(400A1)");
  for (char c : characters) write_character(io, c);
  end_write(io);
}

TEST(CarriageControl, EachFirstCharacter) {
  EXPECT_EQ(written([](TextIO& io) {
              text_record(io, " first");
              text_record(io, " second");
            }),
            "first\r\nsecond");
  EXPECT_EQ(written([](TextIO& io) {
              text_record(io, "0double");
              text_record(io, " x");
              text_record(io, "0y");
            }),
            "\r\ndouble\r\nx\r\n\r\ny");
  EXPECT_EQ(written([](TextIO& io) {
              text_record(io, "1page");
              text_record(io, "1next");
            }),
            "\r\n\f\r \rpage\r\n\f\r \rnext");
  EXPECT_EQ(written([](TextIO& io) {
              text_record(io, " a");
              text_record(io, "+b");
              text_record(io, "+c");
            }),
            "a\rb\rc");
  EXPECT_EQ(written([](TextIO& io) {
              text_record(io, "Xa");
              text_record(io, "5b");
            }),
            "a\r\nb");
}

TEST(Records, LiteralsBlanksAndTheEndOfTheList) {
  EXPECT_EQ(written([](TextIO& io) {
              begin_write(io, "(I7,2X,400A1)");
              write_integer(io, 3);
              write_character(io, 'a');
              write_character(io, 'b');
              write_character(io, ' ');
              end_write(io);
            }),
            "     3  ab ");
  EXPECT_EQ(written([](TextIO& io) {
              begin_write(io, "(I7,'  PAIRS',F8.2,'%',I7,' BP')");
              write_integer(io, 15);
              write_real(io, 61.25f);
              write_integer(io, 2417);
              end_write(io);
              begin_write(io, "(I7,'  PAIRS',F8.2,'%')");
              write_integer(io, 1);
              write_real(io, 100.0f);
              end_write(io);
            }),
            "    15  PAIRS   61.25%   2417 BP\r\n     1  PAIRS  100.00%");
  // An nX at the end of a record adds nothing; T and TL move within it.
  EXPECT_EQ(written([](TextIO& io) {
              begin_write(io, "(A1,5X)");
              write_character(io, ' ');
              end_write(io);
              begin_write(io, "(' abcdef',TL3,'X',T3,'Y')");
              end_write(io);
            }),
            "\r\naYcXef");
}

TEST(Records, EmptyRecordsAreEmptyLines) {
  EXPECT_EQ(written([](TextIO& io) {
              text_record(io, " before");
              begin_write(io, "(12I6)");
              end_write(io);
              text_record(io, " after");
            }),
            "before\r\n\r\nafter");
  EXPECT_EQ(written(
                [](TextIO& io) {
                  begin_write(io, "(12I6)");
                  end_write(io);
                  stop_run(io);
                },
                0),
            "\r\nStop - Program terminated.\r\n");
}

TEST(Records, LongRecordsAreOneLine) {
  std::string branch(400, 'k');
  EXPECT_EQ(written([&](TextIO& io) {
              begin_write(io, "(I7,2X,400A1)");
              write_integer(io, 1234567);
              for (char c : branch) write_character(io, c);
              end_write(io);
              text_record(io, " z");
            }),
            "\r\n\f\r \r234567  " + branch + "\r\nz");
  std::string huge(3 * OUTPUT_RECORD + 17, 'h');
  huge[0] = ' ';
  huge[OUTPUT_RECORD] = '+';  // not a carriage-control character: only the first piece has one
  EXPECT_EQ(written([&](TextIO& io) {
              begin_write(io, "(100000A1)");
              for (char c : huge) write_character(io, c);
              end_write(io);
            }),
            huge.substr(1));
}

TEST(Records, SlashAndReversionStartNewRecords) {
  EXPECT_EQ(written([](TextIO& io) {
              begin_write(io, "(' a'/' b',I2)");
              write_integer(io, 7);
              end_write(io);
              begin_write(io, "(' n',2I2)");
              for (int i = 1; i <= 5; ++i) write_integer(io, i);
              end_write(io);
            }),
            "a\r\nb 7\r\nn 1 2\r\nn 3 4\r\nn 5");
}

TEST(EndOfRun, StopLineAfterTheLastRecord) {
  EXPECT_EQ(written(
                [](TextIO& io) {
                  text_record(io, " last");
                  stop_run(io);
                },
                0),
            "last\r\nStop - Program terminated.\r\n");
  EXPECT_EQ(written([](TextIO& io) { stop_run(io, "Done"); }, 0), "Done\r\n");
}

struct Ended {
  int status;
  std::string out, err;
};

template <typename F>
Ended end_of(F f, int fail_errno = 0) {
  Harness h;
  h.out.fail_errno = fail_errno;
  int status = h.run(f);
  return {status, h.out.data, h.err.data};
}

TEST(EndOfRun, ErrorFramesAndTheOwedLineEnd) {
  Ended write = end_of([](TextIO& io) {
    text_record(io, " line");
    begin_write(io, "(F8.2)");
    write_integer(io, 5);
  });
  EXPECT_EQ(write.status, 1);
  EXPECT_EQ(
      write.err,
      "\r\nrun-time error F6207: WRITE(CON)\r\n- integer item needs an I edit descriptor\r\n");
  EXPECT_EQ(write.out, "line\r\n");
  Ended real = end_of([](TextIO& io) {
    begin_write(io, "(I8)");
    write_real(io, 5);
  });
  EXPECT_EQ(real.err.substr(0, 36), "\r\nrun-time error F6206: WRITE(CON)\r\n");
  Ended character = end_of([](TextIO& io) {
    begin_write(io, "(I8)");
    write_character(io, 'c');
  });
  EXPECT_EQ(character.err.substr(0, 36), "\r\nrun-time error F6205: WRITE(CON)\r\n");

  Ended fp = end_of([](TextIO& io) {
    text_record(io, " x");
    floating_point_error(io, FpFault::divide_by_zero);
  });
  EXPECT_EQ(fp.status, 1);
  EXPECT_EQ(fp.err, "\r\nrun-time error M6103: MATH\r\n- floating-point error: divide by zero\r\n");
  EXPECT_EQ(fp.out, "x\r\n");
  EXPECT_EQ(end_of([](TextIO& io) { floating_point_error(io, FpFault::overflow); }).err,
            "\r\nrun-time error M6104: MATH\r\n- floating-point error: overflow\r\n");
  EXPECT_EQ(end_of([](TextIO& io) { floating_point_error(io, FpFault::invalid); }).err,
            "\r\nrun-time error M6101: MATH\r\n- floating-point error: invalid\r\n");

  Ended math = end_of([](TextIO& io) { checked_log10(io, 0.0); });
  EXPECT_EQ(math.status, 1);
  EXPECT_EQ(math.err, "\r\nrun-time error M6202: MATH\r\n- log10: SING error\r\n");
  EXPECT_EQ(end_of([](TextIO& io) { checked_log10(io, -2.0); }).err,
            "\r\nrun-time error M6201: MATH\r\n- log10: DOMAIN error\r\n");

  Ended fatal = end_of([](TextIO& io) {
    text_record(io, " y");
    fatal_error(io, "too many languages");
  });
  EXPECT_EQ(fatal.status, 1);
  EXPECT_EQ(fatal.err, "plix62c: too many languages\n");
  EXPECT_EQ(fatal.out, "y\r\n");
}

TEST(EndOfRun, FailedWritesEndTheRunWithStatusOne) {
  auto report = [](TextIO& io) {
    text_record(io, " a");
    stop_run(io);
  };
  Ended full = end_of(report, ENOSPC);
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err, "\r\nrun-time error F6422: WRITE(CON)\r\n- no space left on device\r\n");
  EXPECT_EQ(end_of(report, EDQUOT).err.substr(0, 36), "\r\nrun-time error F6422: WRITE(CON)\r\n");
  Ended pipe = end_of(report, EPIPE);
  EXPECT_EQ(pipe.status, 1);
  EXPECT_EQ(pipe.err,
            "\r\nrun-time error F6421: WRITE(CON)\r\n- write to standard output failed\r\n");
  EXPECT_EQ(end_of(report, EACCES).status, 1);
  // A failure met while reporting another fault is the earlier one.
  Ended both = end_of(
      [](TextIO& io) {
        text_record(io, " a");
        floating_point_error(io, FpFault::overflow);
      },
      EPIPE);
  EXPECT_EQ(both.err.substr(0, 36), "\r\nrun-time error F6421: WRITE(CON)\r\n");
}

TEST(EndOfRun, MoreOutputThanOneBlock) {
  Harness h;
  std::string line(300, 'w');
  line[0] = ' ';
  std::string expected;
  EXPECT_EQ(h.run([&](TextIO& io) {
    for (int i = 0; i < 1000; ++i) {
      text_record(io, line);
      expected += (i ? "\r\n" : "") + line.substr(1);
    }
    stop_run(io);
  }),
            0);
  EXPECT_EQ(h.out.data, expected + "\r\nStop - Program terminated.\r\n");
}

}  // namespace
}  // namespace plix

namespace plix {
namespace {

// The program with its standard output on a pipe nobody reads: the write
// fails with EPIPE, which must end the run with status 1, not silently.
TEST(EndOfRun, ClosedPipeOnStandardOutputIsAFailedRun) {
  int in_pipe[2], out_pipe[2], err_pipe[2];
  ASSERT_EQ(pipe(in_pipe), 0);
  ASSERT_EQ(pipe(out_pipe), 0);
  ASSERT_EQ(pipe(err_pipe), 0);
  close(out_pipe[0]);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in_pipe[0], 0);
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    for (int fd : {in_pipe[0], in_pipe[1], out_pipe[1], err_pipe[0], err_pipe[1]}) close(fd);
    exec_program(PLIX62C_BINARY);
    _exit(121);
  }
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  std::ifstream file(std::string(PLIX_SOURCE_DIR) + "/examples/small.txt", std::ios::binary);
  std::stringstream content;
  content << file.rdbuf();
  const std::string input = content.str();
  ASSERT_FALSE(input.empty());
  ASSERT_EQ(write(in_pipe[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
  close(in_pipe[1]);
  std::string err;
  char buffer[512];
  for (ssize_t n; (n = read(err_pipe[0], buffer, sizeof buffer)) > 0;)
    err.append(buffer, static_cast<std::size_t>(n));
  close(err_pipe[0]);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal";
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(err.substr(0, 36), "\r\nrun-time error F6421: WRITE(CON)\r\n");
}

}  // namespace
}  // namespace plix
