#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/whole_run.h"
#include "tests/programs.h"

namespace plix {
namespace {

// The complete small run: three languages in one node, LANGA alone in its
// branch, LANGB and LANGC together in the other.
std::string small_input() {
  const std::string figure = std::string(26, ' ') + "1000" + std::string(9, ' ');
  return "     1     2  1000     1    92    72\n"
         "(I3)\n  1\n  2\n  3\n  0\n"
         "p\na\nt\ni\nk\nu\nm\nn\n\n"
         "WORD LISTS\n"
         "LANGA{X|F,G1@Y}\n" + figure + "aaa\n1\tpata\n2\tkimu\n3\tnuka\n"
         "LANGB{X|F,G2@Y}\n" + figure + "bbb\n1\tpat\n2\tkima\n3\tnuku\n"
         "LANGC{X|F,G2@Y}\n" + figure + "ccc\n1\tmata\n2\tkinu\n3\ttuka\n"
         "\n";
}

const char* const kSmallReport =
    "1 SYNONYMS,  2 WORDS, DATE > 1000, LEVEL  1\r\n"
    "S0 = 92%, R = .72\r\n"
    "\r\n"
    "     1  F,G1 \r\n"
    "     2  F,G2 \r\n"
    "     2  PAIRS   72.08%    371 BP\r\n"
    "Stop - Program terminated.\r\n";

using Result = RunResult;

Result run(const std::string& input) { return run_whole(input); }

// Standard output and exit status of a shell command.
Result shell(const std::string& command) {
  Result r{-1, {}, {}};
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return r;
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) r.out.append(buffer, n);
  const int status = pclose(pipe);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

TEST(FullRun, SmallRunGivesTheDatedNode) {
  const Result r = run(small_input());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kSmallReport);
  EXPECT_EQ(r.err, "");
}

TEST(FullRun, ExampleFileIsTheSmallRun) {
  const std::string example = std::string(PLIX_SOURCE_DIR) + "/examples/small.txt";
  const Result r = shell(program_command(PLIX62C_BINARY) + " < '" + example + "' 2>/dev/null");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kSmallReport);
}

// Parameters, an empty selection and inventory, and no language at all: the
// header lines and the stop line. SYNONYMS 2 fills the I2 field with " 2",
// and R 75 edits as " .75" under F4.2.
TEST(FullRun, EmptyDatabaseExampleGivesTheFrameAlone) {
  const std::string example = std::string(PLIX_SOURCE_DIR) + "/examples/empty-database.txt";
  const Result r = shell(program_command(PLIX62C_BINARY) + " < '" + example + "' 2>/dev/null");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "2 SYNONYMS, 30 WORDS, DATE > 1000, LEVEL  2\r\n"
            "S0 = 90%, R = .75\r\n"
            "Stop - Program terminated.\r\n");
}

TEST(FullRun, FaultingPairEndsTheRunAfterTheHeaderLines) {
  const std::string head =
      "     1     1  1000     1    92    72\n(I3)\n  1\n  2\n  3\n  0\np\na\nt\ni\n\nLISTS\n";
  const std::string figure = std::string(26, ' ') + "1000" + std::string(9, ' ');
  const std::string header_lines =
      "1 SYNONYMS,  1 WORDS, DATE > 1000, LEVEL  1\r\nS0 = 92%, R = .72\r\n";
  // No meaning in common: 0 / 0.
  Result r = run(head + "A{|F,G1@}\n" + figure + "aaa\n1\tpa\n2\tti\n" +  //
                 "B{|F,G2@}\n" + figure + "bbb\n3\tpat\n\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, header_lines);
  EXPECT_EQ(r.err, "\r\nrun-time error M6101: MATH\r\n- floating-point error: invalid\r\n");
  // Meaning 1 of each language is meaning 2 of the other: nonzero over 0.
  r = run(head + "A{|F,G1@}\n" + figure + "aaa\n1\tpa\n2\tti\n" +  //
          "B{|F,G2@}\n" + figure + "bbb\n1\tti\n2\tpa\n\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, header_lines);
  EXPECT_EQ(r.err,
            "\r\nrun-time error M6103: MATH\r\n- floating-point error: divide by zero\r\n");
}

// The generator, next to the program in the build tree.
std::string gendb() {
  return (std::filesystem::path(PLIX62C_BINARY).parent_path() / "tools" / "gendb").string();
}

// Lines of a report without their CR LF ends.
std::vector<std::string> report_lines(const std::string& out) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = out.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(out.substr(start, end - start));
  return lines;
}

// Checks every node block: its pair count is the sum of the products of
// the member counts of its branches. Returns the number of blocks and adds
// up the listed members.
int check_blocks(const std::vector<std::string>& lines, long& members) {
  int blocks = 0;
  std::vector<long> counts;
  for (std::size_t k = 2; k + 1 < lines.size(); ++k) {
    const std::string& l = lines[k];
    if (l.empty()) {
      ++blocks;
      counts.clear();
      continue;
    }
    const long value = std::stol(l.substr(0, 6));
    if (l.compare(6, 7, "  PAIRS") == 0) {
      long pairs = 0;
      for (std::size_t a = 0; a < counts.size(); ++a)
        for (std::size_t b = a + 1; b < counts.size(); ++b) pairs += counts[a] * counts[b];
      EXPECT_EQ(value, pairs) << "block " << blocks;
      EXPECT_GE(counts.size(), 2u);
    } else {
      counts.push_back(value);
      members += value;
    }
  }
  return blocks;
}

TEST(Generator, SameOptionsGiveTheSameBytes) {
  if (!std::filesystem::exists(gendb())) GTEST_SKIP() << "gendb not built";
  const std::string options = " --languages 50 --families 4 --synonyms 2 --seed 17";
  const Result a = shell(program_command(gendb()) + options);
  const Result b = shell(program_command(gendb()) + options);
  const Result c = shell(program_command(gendb()) + " --languages 50 --families 4 --synonyms 2 --seed 18");
  EXPECT_EQ(a.status, 0);
  EXPECT_EQ(a.out, b.out);
  EXPECT_NE(a.out, c.out);
  EXPECT_NE(shell(program_command(gendb()) + " --meanings 10 --words 11 2>/dev/null").status, 0);
}

TEST(Generator, LevelZeroPutsEveryRetainedLanguageInOneNode) {
  if (!std::filesystem::exists(gendb())) GTEST_SKIP() << "gendb not built";
  for (const char* synonyms : {"1", "2"}) {
    const Result db = shell(program_command(gendb()) + " --languages 60 --families 7 --level 0 --skipped 10 "
                                      "--short 10 --seed 3 --synonyms " + synonyms);
    ASSERT_EQ(db.status, 0);
    const Result r = run(db.out);
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = report_lines(r.out);
    long members = 0;
    EXPECT_EQ(check_blocks(lines, members), 1);
    EXPECT_EQ(members, 60);  // skipped and too-short languages are not counted
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Stop - Program terminated.");
  }
}

TEST(Generator, ShippedExampleRunsToSeveralNodes) {
  const std::string example = std::string(PLIX_SOURCE_DIR) + "/examples/generated.txt";
  const Result r = shell(program_command(PLIX62C_BINARY) + " < '" + example + "' 2>/dev/null");
  EXPECT_EQ(r.status, 0);
  const std::vector<std::string> lines = report_lines(r.out);
  long members = 0;
  EXPECT_GE(check_blocks(lines, members), 3);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "Stop - Program terminated.");
}

}  // namespace
}  // namespace plix
