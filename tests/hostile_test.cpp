// Hostile and huge inputs: every one ends in the report or in a clear error
// with status 1, never in a crash, a hang or a write past a table.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tests/textio_harness.h"
#include "tests/whole_run.h"
#include "textio/byte_stream.h"
#include "tests/programs.h"

extern char** environ;

// GCC 12 warns falsely of overlapping copies in "literal" + std::string once
// it inlines enough of them into one test (its bug 105329).
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ == 12
#pragma GCC diagnostic ignored "-Wrestrict"
#endif

namespace plix {
namespace {

using Result = RunResult;

Result run(ByteSource& in) { return run_whole(in); }

Result run(const std::string& input, std::size_t chunk = 1 << 16) {
  return run_whole(input, chunk);
}

std::string read_frame(int number, const std::string& message) {
  return "\r\nrun-time error F" + std::to_string(number) + ": READ(CON)\r\n- " + message + "\r\n";
}

const std::string kEndOfFile = read_frame(6501, "end of file encountered");
// The end-of-file report with what was missing where.
std::string eof_frame(const std::string& where) {
  return read_frame(6501, "end of file encountered: " + where);
}
// The database record after `last` would have been the end-of-data record.
std::string no_end_of_data(int last, const std::string& code, int header) {
  return eof_frame("the end-of-data record, a blank first column, is missing after record " +
                   std::to_string(last) + ", in language " + code + " (header record " +
                   std::to_string(header) + ")");
}
const std::string kStop = "Stop - Program terminated.\r\n";

// A stream of head, then `count` copies of one byte, then tail, made on the
// fly so that a huge input costs no memory.
struct GeneratedSource final : ByteSource {
  GeneratedSource(std::string head, std::size_t count, char fill, std::string tail)
      : head(std::move(head)), count(count), fill(fill), tail(std::move(tail)) {}
  long read(char* buffer, std::size_t size) override {
    std::size_t n = 0;
    while (n < size) {
      if (offset < head.size()) {
        const std::size_t k = std::min(size - n, head.size() - offset);
        std::memcpy(buffer + n, head.data() + offset, k);
        n += k;
        offset += k;
      } else if (offset < head.size() + count) {
        const std::size_t k = std::min(size - n, head.size() + count - offset);
        std::memset(buffer + n, fill, k);
        n += k;
        offset += k;
      } else if (offset < head.size() + count + tail.size()) {
        const std::size_t from = offset - head.size() - count;
        const std::size_t k = std::min(size - n, tail.size() - from);
        std::memcpy(buffer + n, tail.data() + from, k);
        n += k;
        offset += k;
      } else {
        break;
      }
    }
    return static_cast<long>(n);
  }
  std::string head;
  std::size_t count;
  char fill;
  std::string tail;
  std::size_t offset = 0;
};

// The small run: three languages in one node; its report is derived in the
// full-run tests, and only its frame matters here.
const std::string kParameters = "     1     2  1000     1    92    72\n";
const std::string kSelection = "(I3)\n  1\n  2\n  3\n  0\n";
const std::string kInventory = "p\na\nt\ni\nk\nu\nm\nn\n\n";
const std::string kFigure = std::string(26, ' ') + "1000" + std::string(9, ' ');
const std::string kDatabase = "LANGA{X|F,G1@Y}\n" + kFigure + "aaa\n1\tpata\n2\tkimu\n3\tnuka\n" +
                              "LANGB{X|F,G2@Y}\n" + kFigure + "bbb\n1\tpat\n2\tkima\n3\tnuku\n" +
                              "LANGC{X|F,G2@Y}\n" + kFigure + "ccc\n1\tmata\n2\tkinu\n3\ttuka\n";
const std::string kSmall = kParameters + kSelection + kInventory + "WORD LISTS\n" + kDatabase + "\n";
const std::string kHeaderLines =
    "1 SYNONYMS,  2 WORDS, DATE > 1000, LEVEL  1\r\nS0 = 92%, R = .72\r\n";

constexpr std::size_t kHundredMegabytes = 100u << 20;

TEST(HugeLine, HundredMegabyteRecordsAreReadThroughTheirFirstColumns) {
  const Result small = run(kSmall);
  ASSERT_EQ(small.status, 0) << small.err;
  ASSERT_EQ(small.out.compare(small.out.size() - kStop.size(), kStop.size(), kStop), 0);

  // As the title record, which is passed over unread: the same report.
  GeneratedSource title(kParameters + kSelection + kInventory, kHundredMegabytes, 'x',
                        "\n" + kDatabase + "\n");
  Result r = run(title);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, small.out);

  // As the parameter record: columns after 36 are ignored.
  GeneratedSource parameters(kParameters.substr(0, 36), kHundredMegabytes, '9',
                             "\n" + kSelection + kInventory + "T\n" + kDatabase + "\n");
  r = run(parameters);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, small.out);

  // As the end-of-data record, blank and without a line end at the end of
  // the stream: a final line without a line end is a complete record.
  GeneratedSource last(kParameters + kSelection + kInventory + "T\n" + kDatabase,
                       kHundredMegabytes, ' ', "");
  r = run(last);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, small.out);

  // A 100 MB line that ends in Ctrl-Z and CR LF is the end of the input.
  GeneratedSource ctrl_z(kParameters + kSelection + kInventory, kHundredMegabytes, 'x',
                         "\x1a\r\n" + kDatabase + "\n");
  r = run(ctrl_z);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kHeaderLines);
  EXPECT_EQ(r.err, eof_frame("the record passed over after the inventory is missing after record 15"));
}

TEST(HugeLine, NulBytesAreAnInvalidIntegerInTheParameterRecord) {
  // NUL is neither blank, comma nor a line end: it is taken into the first
  // I6 field, where it is not a digit.
  const std::string invalid = read_frame(6101, "invalid integer in record 1, the parameter record");
  GeneratedSource nul("", 1u << 20, '\0', "");
  Result r = run(nul);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, invalid);

  std::string lines;
  for (int k = 0; k < 1000; ++k) lines += std::string(80, '\0') + "\n";
  r = run(lines, 13);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, invalid);

  // NUL bytes in the words of a language are characters outside the
  // inventory and are passed over.
  std::string with_nul = kSmall;
  with_nul.replace(with_nul.find("1\tpata"), 6, std::string("1\tp\0a\0t\0a", 9));
  r = run(with_nul);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, run(kSmall).out);
}

// One language: header, figure and `words` word records of meaning 1.
std::string language(const std::string& path, const std::string& code,
                     const std::vector<std::string>& words) {
  std::string text = "L|" + path + "@\n" + kFigure + code + "\n";
  for (const std::string& w : words) text += "1\t" + w + "\n";
  return text;
}

// The header lines of WORDS 1, LEVEL 1, S0 92, R 72.
const std::string kOneMeaningHeaderLines =
    "1 SYNONYMS,  1 WORDS, DATE > 1000, LEVEL  1\r\nS0 = 92%, R = .72\r\n";

// Symbols for the combination tests: 50 letters and digits of the inventory.
const std::string kSymbols = "bcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXY";

// Parameters, one meaning, the 50 symbols and the title.
std::string fifty_symbol_head() {
  std::string head = "     1     1  1000     1    92    72\n(I3)\n  1\n  0\n";
  for (char c : kSymbols) head += std::string(1, c) + "\n";
  return head + "\nTITLE\n";
}

// Word records holding `count` distinct combinations of `width` symbols
// (width 2 joined by '~', width 3 by '$'), 90 to a record: at most 92 codes
// and 362 columns, so none is cut.
std::vector<std::string> combination_words(int count, int width) {
  std::vector<std::string> words;
  std::string w;
  for (int k = 0; k < count; ++k) {
    const int a = k % 50, b = k / 50 % 50, c = k / 2500;
    if (width == 2) w += std::string{kSymbols[a], kSymbols[b], '~'};
    else w += std::string{kSymbols[a], kSymbols[b], kSymbols[c], '$'};
    if ((k + 1) % 90 == 0) {
      words.push_back(w);
      w.clear();
    }
  }
  if (!w.empty()) words.push_back(w);
  return words;
}

TEST(TableLimits, The2001stDistinctPairOrTripleIsRefused) {
  const std::string head = fifty_symbol_head();
  const std::string header_lines = kOneMeaningHeaderLines;
  // The first language holds 2000 distinct pairs (and 2000 triples) in 23
  // word records of 90 each: the table is full, not past it.
  for (int width : {2, 3}) {
    const std::vector<std::string> words = combination_words(2000, width);
    ASSERT_EQ(words.size(), 23u);
    Result r = run(head + language("F,G", "aaa", words) + "\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, header_lines + kStop);

    // One more in a second language: its word record (the header is record
    // 4 + 50 + 2 + 1 = 57, the second language starts at 57 + 2 + 23).
    std::vector<std::string> next = combination_words(2001, width);
    const std::string extra = next.back();
    const std::string second = language("F,H", "bbb", {extra.substr(extra.size() - width - 1)});
    r = run(head + language("F,G", "aaa", words) + second + "\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, header_lines);
    const int second_header = 57 + 2 + 23;
    EXPECT_EQ(r.err, "plix62c: record " + std::to_string(second_header + 2) +
                         ", word record of language bbb (header record " +
                         std::to_string(second_header) + "): more than 2000 distinct " +
                         (width == 2 ? "pairs" : "triples") + "\n");
  }
}

TEST(HostileFormat, SeventyTwoOpenParenthesesAreASyntaxError) {
  // 72 groups open and none closed: the format ends before its closing ')',
  // syntax error 6971, reached by the first meaning-number read before any
  // record is needed and before the header lines.
  Result r = run(kParameters + std::string(72, '(') + "\n  1\n  0\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, read_frame(6971, "format ends before its closing ')' in record 3, meaning record 1"));

  // 16 nested groups are fine and read the number in columns 1-3.
  const std::string nested = "(" + std::string(16, '(') + "I3" + std::string(17, ')');
  ASSERT_LE(nested.size(), 72u);
  std::string input = kSmall;
  input.replace(input.find("(I3)"), 4, nested);
  r = run(input);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, run(kSmall).out);

  // 72 closing parentheses: the format ends at the first, with no data edit
  // for the item.
  r = run(kParameters + "(" + std::string(71, ')') + "\n  1\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, read_frame(6986, "format has no edit descriptor for the item in record 3, "
                                     "meaning record 1"));
}

TEST(HostileFormat, FourHundredDigitFields) {
  // Through the run-time format: leading zeros do not count, so 399 zeros
  // and a 1 select meaning 1; 400 ones overflow the integer.
  std::string input = kSmall;
  input.replace(input.find("(I3)\n  1\n"), 9, "(I400)\n" + std::string(399, '0') + "1\n");
  Result r = run(input);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, run(kSmall).out);

  input = kParameters + "(I400)\n" + std::string(400, '1') + "\n";
  r = run(input);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, read_frame(6100, "integer overflow in record 3, meaning record 1"));

  // Real fields of 400 digits through the record input.
  struct Case {
    std::string field;
    int error;
    float value;
  } cases[] = {
      {std::string(399, '0') + "5", 0, 5.0f},
      {std::string(397, '0') + "1.5", 0, 1.5f},
      {"." + std::string(398, '0') + "1", 0, 0.0f},       // 1e-399: below double, 0
      {std::string(400, '1'), 6102, 0.0f},                // about 1.1e399
      {std::string(40, '1'), 6104, 0.0f},                 // 1.1e39: above single
      {"1E" + std::string(397, '0') + "1", 0, 10.0f},     // exponent 1
      {"1E" + std::string(398, '9'), 6102, 0.0f},
      {"1E-" + std::string(397, '9'), 0, 0.0f},
  };
  for (const Case& c : cases) {
    ASSERT_LE(c.field.size(), 400u);
    testing::Harness h(c.field + "\n");
    float value = -1.0f;
    const int status = h.run([&](TextIO& io) {
      begin_read(io, "(F400.0)");
      read_real(io, value);
      end_read(io);
    });
    if (c.error == 0) {
      EXPECT_EQ(status, -1) << c.field << h.err.data;
      EXPECT_EQ(value, c.value) << c.field;
    } else {
      EXPECT_EQ(status, 1) << c.field;
      EXPECT_EQ(h.err.data.substr(0, 37), read_frame(c.error, "").substr(0, 37)) << c.field;
    }
  }
}

TEST(TruncatedInput, DatabaseWithoutItsEndOfDataRecord) {
  // The stream ends after the last word record: the scan needs one more
  // record. The header lines stay, with their owed line end.
  // Records: 1 parameters, 2-6 selection, 7-15 inventory, 16 title, then
  // languages of five records each; LANGC's header is record 27.
  Result r = run(kSmall.substr(0, kSmall.size() - 1));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kHeaderLines);
  EXPECT_EQ(r.err, no_end_of_data(31, "ccc", 27));

  // The same when the last word record has no line end.
  r = run(kSmall.substr(0, kSmall.size() - 2));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kHeaderLines);
  EXPECT_EQ(r.err, no_end_of_data(31, "ccc", 27));

  // And when a skipped language is the last thing in the stream.
  const std::string skipped = "OLD|F,G1@\n" + std::string(24, ' ') + "-600" + "\n1\tpa\n";
  r = run(kSmall.substr(0, kSmall.size() - 1) + skipped);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kHeaderLines);
  EXPECT_EQ(r.err, no_end_of_data(34, "   ", 32));  // its figure record has no code
}

TEST(TruncatedInput, CarriageReturnOnlyLineEnds) {
  // A CR ends a record's data, but only an LF ends the record: a stream with
  // CR-only line ends is a single record. The parameters come from it; the
  // format record is then past the end of the stream.
  std::string cr = kSmall;
  std::replace(cr.begin(), cr.end(), '\n', '\r');
  Result r = run(cr);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, eof_frame("the format record is missing after record 1"));

  // A database written with CR-only line ends is one header record; the
  // figure record after it is missing.
  std::string db = kDatabase + "\n";
  std::replace(db.begin(), db.end(), '\n', '\r');
  r = run(kParameters + kSelection + kInventory + "WORD LISTS\n" + db);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kHeaderLines);
  EXPECT_EQ(r.err, eof_frame("the figure record of the header in record 17 is missing after "
                             "record 17"));

  // CR LF line ends read as LF line ends.
  std::string crlf;
  for (char c : kSmall) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  r = run(crlf, 5);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, run(kSmall).out);
}

// Whether the header lines are out when a prefix of kSmall of length n ends
// the stream: they are written once the meaning selection is read, which is
// the case when the prefix holds its terminator, or when its last, unended
// line is a meaning-number record cut to blanks or to "  0" (a complete
// record that reads as 0).
bool selection_complete(std::size_t n) {
  const std::size_t numbers_at = kParameters.size() + 5;  // after "(I3)\n"
  const std::size_t selection_end = kParameters.size() + kSelection.size();
  if (n >= selection_end) return true;
  if (n <= numbers_at) return false;
  const std::size_t line_start = kSmall.rfind('\n', n - 1) + 1;
  if (line_start == n) return false;  // the prefix ends with a whole line
  const std::string cut = kSmall.substr(line_start, n - line_start);
  const std::size_t digit = cut.find_first_not_of(' ');
  return digit == std::string::npos || cut.substr(digit) == "0";
}

TEST(TruncatedInput, EveryPrefixEndsInTheReportOrAnError) {
  const std::string full = run(kSmall).out;
  const std::size_t format_at = kParameters.size();
  for (std::size_t n = 0; n <= kSmall.size(); ++n) {
    // Pieces of 1 to 13 bytes, as a pipe may deliver them.
    const Result r = run(kSmall.substr(0, n), 1 + n % 13);
    SCOPED_TRACE("prefix of " + std::to_string(n) + " bytes");
    if (n == kSmall.size()) {
      EXPECT_EQ(r.status, 0);
      EXPECT_EQ(r.out, full);
      continue;
    }
    EXPECT_EQ(r.status, 1);
    if (n >= 1 && n <= 34) {
      // A cut parameter record is complete but short: S0 or R reads as 0,
      // and log10(0) ends the run before any output.
      // Columns 25-29 hold S0 from n = 29 on.
      EXPECT_EQ(r.err, std::string("\r\nrun-time error M6202: MATH\r\n- log10: SING error: ") +
                           (n <= 28 ? "S0" : "R") + " is 0 in record 1, the parameter record\r\n");
      EXPECT_EQ(r.out, "");
    } else if (n == format_at + 1) {
      // The format "(" has no closing parenthesis.
      EXPECT_EQ(r.err, read_frame(6971, "format ends before its closing ')' in record 3, "
                                         "meaning record 1"));
      EXPECT_EQ(r.out, "");
    } else if (n == format_at + 2) {
      // The format "(I" has no width.
      EXPECT_EQ(r.err, read_frame(6973, "missing or zero field width in format in record 3, "
                                         "meaning record 1"));
      EXPECT_EQ(r.out, "");
    } else {
      // The frame, and one line saying what was missing (the table of
      // TruncatedInput.MessagesNameTheRecord checks the words).
      EXPECT_EQ(r.err.rfind(kEndOfFile.substr(0, kEndOfFile.size() - 2) + ": ", 0), 0u) << r.err;
      EXPECT_NE(r.err.find(" is missing"), std::string::npos) << r.err;
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 3) << r.err;
      EXPECT_EQ(r.out, selection_complete(n) ? kHeaderLines : "");
    }
  }
}

// Runs the program with standard input from `input_file` and standard output
// set up by `setup` on the spawn actions; returns the status and what came
// on standard error.
template <typename Setup>
Result spawn_program(const std::string& input_file, Setup setup) {
  Result r{-1, {}, {}};
  int err_pipe[2];
  if (pipe(err_pipe) != 0) return r;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input_file.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  posix_spawn_file_actions_addclose(&actions, err_pipe[0]);
  setup(actions);
  // The program must not rely on an inherited SIGPIPE disposition.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  const std::vector<std::string> words = program_argv(PLIX62C_BINARY);
  std::vector<char*> argv;
  for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(err_pipe[1]);
  if (spawned != 0) {
    close(err_pipe[0]);
    return r;
  }
  char buffer[4096];
  for (ssize_t n; (n = read(err_pipe[0], buffer, sizeof buffer)) > 0;) r.err.append(buffer, n);
  close(err_pipe[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}

const std::string kSmallExample = std::string(PLIX_SOURCE_DIR) + "/examples/small.txt";
const std::string kWriteFailed =
    "\r\nrun-time error F6421: WRITE(CON)\r\n- write to standard output failed\r\n";

TEST(StandardOutput, FullDeviceIsError6422) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  const Result r = spawn_program(kSmallExample, [](posix_spawn_file_actions_t& a) {
    posix_spawn_file_actions_addopen(&a, 1, "/dev/full", O_WRONLY, 0);
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "\r\nrun-time error F6422: WRITE(CON)\r\n- no space left on device\r\n");
}

TEST(StandardOutput, ClosedPipeIsError6421NotASignal) {
  int out_pipe[2];
  ASSERT_EQ(pipe(out_pipe), 0);
  close(out_pipe[0]);  // nobody will ever read the report
  const Result r = spawn_program(kSmallExample, [&](posix_spawn_file_actions_t& a) {
    posix_spawn_file_actions_adddup2(&a, out_pipe[1], 1);
  });
  close(out_pipe[1]);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, kWriteFailed);
}

TEST(StandardOutput, ClosedDescriptorIsError6421) {
  const Result r = spawn_program(kSmallExample, [](posix_spawn_file_actions_t& a) {
    posix_spawn_file_actions_addclose(&a, 1);
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, kWriteFailed);
}

TEST(StandardOutput, FailureWhileAnErrorIsReportedIsStillStatusOne) {
  // The input ends early (6501) and the report's header lines cannot be
  // written: the failed write is the earlier fault and is the one reported.
  char path[] = "/tmp/plix-hostile-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  const std::string truncated = kSmall.substr(0, kSmall.size() - 1);
  ASSERT_EQ(write(fd, truncated.data(), truncated.size()),
            static_cast<ssize_t>(truncated.size()));
  close(fd);
  if (access("/dev/full", W_OK) == 0) {
    const Result r = spawn_program(path, [](posix_spawn_file_actions_t& a) {
      posix_spawn_file_actions_addopen(&a, 1, "/dev/full", O_WRONLY, 0);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\r\nrun-time error F6422: WRITE(CON)\r\n- no space left on device\r\n");
  }
  unlink(path);
}

}  // namespace
}  // namespace plix
