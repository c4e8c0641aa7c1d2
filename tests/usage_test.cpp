// The command line (--help, --version, ignored arguments) and the manual page,
// which must state the same options, input order and exit statuses as the
// usage text.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "run/usage.h"
#include "tests/programs.h"

namespace plix {
namespace {

std::string capture(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  std::array<char, 4096> buf;
  std::size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), pipe)) > 0) out.append(buf.data(), n);
  pclose(pipe);
  return out;
}

int status_of(const std::string& command) {
  int rc = std::system(command.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

TEST(CommandLine, HelpAndVersionAnswerOnStandardOutput) {
  const std::string bin = program_command(PLIX62C_BINARY);
  EXPECT_EQ(capture(bin + " --help </dev/null"), std::string(usage_text()));
  EXPECT_EQ(status_of(bin + " --help </dev/null >/dev/null"), 0);
  EXPECT_EQ(capture(bin + " --version </dev/null"), version_text());
  EXPECT_EQ(version_text().rfind("plix62c 1.0.0\nkernel path: ", 0), 0u);
  EXPECT_EQ(status_of(bin + " --version </dev/null >/dev/null"), 0);
  // The first of the two recognised arguments wins; others are passed over.
  EXPECT_EQ(capture(bin + " -x --version --help </dev/null"), version_text());
}

TEST(CommandLine, OtherArgumentsAreIgnored) {
  StringSink out, err;
  const char* argv[] = {"plix62c", "-h", "report.txt", "--helpme"};
  EXPECT_EQ(answer_arguments(4, argv, out, err), -1);
  EXPECT_TRUE(out.data.empty());
  // An ignored argument leaves the run as it was: with no input at all the
  // run still ends in the end-of-file report. An unknown option is refused.
  const std::string bin = program_command(PLIX62C_BINARY);
  EXPECT_EQ(status_of(bin + " report.txt </dev/null >/dev/null 2>&1"), 1);
  EXPECT_NE(capture(bin + " report.txt </dev/null 2>&1").find("F6501"), std::string::npos);
  EXPECT_EQ(status_of(bin + " --frobnicate </dev/null >/dev/null 2>&1"), 2);
  EXPECT_EQ(capture(bin + " --frobnicate </dev/null 2>&1"),
            "plix62c: unknown option '--frobnicate'\n\n" + std::string(usage_text()));
}

TEST(CommandLine, FailedHelpWriteIsNotSuccess) {
  StringSink out, err;
  out.fail_errno = 28;  // ENOSPC
  const char* argv[] = {"plix62c", "--help"};
  EXPECT_EQ(answer_arguments(2, argv, out, err), 1);
}

TEST(CommandLine, FailedHelpOrVersionWriteIsReportedWithStatusOne) {
  // As every failed write to standard output: 6422 for a full device.
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  for (const std::string option : {" --help", " --version"}) {
    const std::string bin = program_command(PLIX62C_BINARY) + option + " </dev/null";
    EXPECT_EQ(capture(bin + " 2>&1 >/dev/full"),
              "\r\nrun-time error F6422: WRITE(CON)\r\n- no space left on device\r\n");
    EXPECT_EQ(status_of(bin + " >/dev/full 2>/dev/null"), 1);
  }
}

// The manual page reduced to plain text: macros dropped, escapes resolved.
std::string manual_text(std::string* section_order = nullptr) {
  std::ifstream in(std::string(PLIX_SOURCE_DIR) + "/doc/plix62c.1");
  std::string line, text;
  while (std::getline(in, line)) {
    if (line.rfind(".SH ", 0) == 0 && section_order) *section_order += line.substr(4) + "|";
    if (!line.empty() && line[0] == '.') {
      // Keep the words of font macros (.B, .I, .BR ...), drop the others.
      std::smatch m;
      if (std::regex_match(line, m, std::regex(R"(\.(B|I|BR|RI|IR|BI)\s+(.*))"))) {
        line = std::regex_replace(m[2].str(), std::regex("\""), "");
      } else {
        continue;
      }
    }
    line = std::regex_replace(line, std::regex(R"(\\-)"), "-");
    line = std::regex_replace(line, std::regex(R"(\\\(en)"), "-");
    text += line + " ";
  }
  return std::regex_replace(text, std::regex(R"(\s+)"), " ");
}

std::string squeeze(const std::string& s) {
  return std::regex_replace(s, std::regex(R"(\s+)"), " ");
}

TEST(ManualPage, HasTheSectionsOfAManualPage) {
  std::string order;
  manual_text(&order);
  for (const char* section :
       {"NAME|", "SYNOPSIS|", "DESCRIPTION|", "INPUT|", "OUTPUT|", "EXIT STATUS|", "EXAMPLES|"}) {
    EXPECT_NE(order.find(section), std::string::npos) << section;
  }
}

TEST(ManualPage, AgreesWithTheUsageText) {
  const std::string man = manual_text();
  const std::string usage(usage_text());
  std::istringstream lines(usage);
  std::string line;
  std::vector<std::string> facts;
  enum { other, input, options, exits } part = other;
  std::string pending;
  while (std::getline(lines, line)) {
    if (line.rfind("The input stream holds", 0) == 0) { part = input; continue; }
    if (line == "Options:") { part = options; continue; }
    if (line == "Exit status:") { part = exits; continue; }
    if (line.empty()) { part = other; continue; }
    std::smatch m;
    if (part == input && std::regex_match(line, m, std::regex(R"(\s+\d\. (.*))"))) {
      facts.push_back(m[1]);
    } else if (part == options && std::regex_match(line, m, std::regex(R"(\s+(--\S+(?: [A-Z]+)?)\s+(.*))"))) {
      facts.push_back(m[1].str() + " " + m[2].str());
    } else if (part == exits && std::regex_match(line, m, std::regex(R"(\s+(\d)\s+(.*))"))) {
      facts.push_back(m[1].str() + " " + m[2].str());
    } else if (part == exits && !facts.empty()) {
      facts.back() += " " + squeeze(line).substr(1);  // continuation line
    }
  }
  ASSERT_EQ(facts.size(), 5u + 12u + 3u);
  std::size_t last_input = 0;
  for (std::size_t i = 0; i < facts.size(); ++i) {
    const std::size_t at = man.find(squeeze(facts[i]));
    EXPECT_NE(at, std::string::npos) << "manual page lacks: " << facts[i];
    if (i < 5 && at != std::string::npos) {
      EXPECT_GE(at, last_input) << "input items out of order at: " << facts[i];
      last_input = at;
    }
  }
  EXPECT_NE(man.find("plix62c < INPUT > REPORT"), std::string::npos);
  EXPECT_NE(man.find("plix62c --help | --version"), std::string::npos);
  EXPECT_NE(man.find("plix62c OPTION... < INPUT > REPORT"), std::string::npos);
}

}  // namespace
}  // namespace plix
