// Replays every input the fuzzers ever found a fault with, and the seed
// corpus, through the checks of the fuzz targets: a whole run ends with
// status 0 and the stop line, or with status 1 and an error report; the
// format inputs also go through the format compiler and interpreter alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/fuzz/drivers.h"

namespace plix {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> files_in(const std::string& folder) {
  std::vector<fs::path> files;
  const fs::path dir = fs::path(PLIX_SOURCE_DIR) / "tests" / "fuzz" / folder;
  if (!fs::is_directory(dir)) return files;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

std::string contents(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string as_run(const std::string& data) {
  return fuzz::check_run(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
}

std::string as_format(const std::string& data) {
  return fuzz::check_format(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
}

TEST(FuzzRegressions, EveryKeptInputEndsSoundly) {
  int count = 0;
  for (const char* folder : {"regressions/run", "regressions/format", "corpus/run"}) {
    for (const fs::path& file : files_in(folder)) {
      EXPECT_EQ(as_run(contents(file)), "") << file;
      ++count;
    }
  }
  for (const char* folder : {"regressions/format", "corpus/format"}) {
    for (const fs::path& file : files_in(folder)) {
      EXPECT_EQ(as_format(contents(file)), "") << file;
      ++count;
    }
  }
  EXPECT_GT(count, 0) << "no seed corpus found under " << PLIX_SOURCE_DIR;
}

TEST(FuzzRegressions, ChecksRejectWhatTheyMust) {
  // The checks themselves: a run that stops normally with something on
  // standard error, or fails in silence, is refused.
  EXPECT_FALSE(fuzz::is_error_report(""));
  EXPECT_FALSE(fuzz::is_error_report("\r\nrun-time error F6501"));
  EXPECT_TRUE(fuzz::is_error_report("\r\nrun-time error F6501: READ(CON)\r\n- x\r\n"));
  EXPECT_TRUE(fuzz::is_error_report("plix62c: out of memory: cannot allocate the word codes\n"));
  // The small example passes, and stays passing when cut short.
  const std::string small = contents(fs::path(PLIX_SOURCE_DIR) / "examples" / "small.txt");
  ASSERT_FALSE(small.empty());
  EXPECT_EQ(as_run(small), "");
  EXPECT_EQ(as_run(small.substr(0, small.size() / 2)), "");
  // A format whose compiled list is broken is refused.
  FormatProgram p;
  compile_format("(2(I3))", p);
  EXPECT_EQ(fuzz::check_program(p), "");
  p.code[p.count - 2].link = p.count - 2;  // the close points at itself
  EXPECT_NE(fuzz::check_program(p), "");
}

}  // namespace
}  // namespace plix
