// The result files beside the report: the command line that asks for them,
// the temporary file renamed into place, the number text, the language names
// and the files of whole runs.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "report/names.h"
#include "run/options.h"
#include "run/usage.h"
#include "tests/whole_run.h"
#include "textio/result_file.h"

namespace plix {
namespace {

namespace fs = std::filesystem;

// A fresh empty folder for one test.
fs::path scratch(const std::string& name) {
  const fs::path dir = fs::temp_directory_path() / ("plix_results_" + name + "_" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> entries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Options, ParsesResultFilesAndRejectsWhatItDoesNotKnow) {
  struct Case {
    std::vector<const char*> args;
    int status;
    const char* message;  // on standard error, before the usage text
  } cases[] = {
      {{"report.txt"}, -1, ""},
      {{"--table", "t.tsv", "--pairs=p.tsv", "x", "--matrix", "m", "--nexus", "n"}, -1, ""},
      {{"-x", "--version"}, 0, ""},  // --help and --version win wherever they stand
      {{"--frobnicate"}, 2, "plix62c: unknown option '--frobnicate'\n"},
      {{"-"}, 2, "plix62c: unknown option '-'\n"},
      {{"--table"}, 2, "plix62c: option --table needs a file name\n"},
      {{"--pairs="}, 2, "plix62c: option --pairs needs a file name\n"},
      {{"--table", "a", "--table", "b"}, 2, "plix62c: option --table is given twice\n"},
      {{"--table", "m.names", "--matrix", "m"}, 2, "plix62c: two results would be written to m.names\n"},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv = {"plix62c"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    RunOptions options;
    StringSink out, err;
    const int status = parse_options(static_cast<int>(argv.size()), argv.data(), options, out, err);
    EXPECT_EQ(status, c.status) << c.args[0];
    if (c.status == 2) {
      EXPECT_EQ(err.data, c.message + std::string("\n") + std::string(usage_text()));
    } else {
      EXPECT_EQ(err.data, "");
    }
  }
  RunOptions options;
  StringSink out, err;
  const char* argv[] = {"plix62c", "--table", "t.tsv", "--pairs=p.tsv", "x", "--matrix", "m"};
  ASSERT_EQ(parse_options(7, argv, options, out, err), -1);
  EXPECT_EQ(options.table, "t.tsv");
  EXPECT_EQ(options.pairs, "p.tsv");
  EXPECT_EQ(options.matrix, "m");
  EXPECT_EQ(options.nexus, "");
}

TEST(ResultFile, AppearsOnlyWhenCommittedAndLeavesNothingOtherwise) {
  const fs::path dir = scratch("file");
  {
    ResultFile file;
    ASSERT_EQ(file.open((dir / "out.tsv").string()), 0);
    const std::string big(3 * ResultFile::BUFFER_BYTES / 2, 'x');  // passes the buffer
    file.write("a\t");
    file.write(big);
    EXPECT_EQ(file.close(), 0);
    ASSERT_EQ(entries(dir).size(), 1u);
    EXPECT_NE(entries(dir)[0], "out.tsv");  // still under its temporary name
    EXPECT_EQ(file.commit(), 0);
    EXPECT_EQ(slurp(dir / "out.tsv"), "a\t" + big);
  }
  {
    ResultFile file;  // never committed: the temporary file goes
    ASSERT_EQ(file.open((dir / "other.tsv").string()), 0);
    file.write("partial");
  }
  EXPECT_EQ(entries(dir), std::vector<std::string>{"out.tsv"});
  // A device is written in place; a full one fails the close.
  ResultFile full;
  ASSERT_EQ(full.open("/dev/full"), 0);
  full.write("x");
  EXPECT_EQ(full.close(), ENOSPC);
  ResultFile missing;
  EXPECT_EQ(missing.open((dir / "no" / "such.tsv").string()), ENOENT);
  EXPECT_EQ(missing.open(dir.string()), EISDIR);
  fs::remove_all(dir);
}

TEST(ResultFile, NineSignificantDigitsAsPrintfWritesThem) {
  std::mt19937 rng(62);
  std::uniform_int_distribution<std::uint32_t> bits;
  char ours[SIGNIFICANT_TEXT], theirs[32];
  auto check = [&](float v) {
    const std::size_t n = format_significant(ours, v);
    std::snprintf(theirs, sizeof theirs, "%.9g", static_cast<double>(v));
    ASSERT_EQ(std::string(ours, n), theirs) << v;
  };
  for (float v : {0.0f, -0.0f, 100.0f, 72.0833359f, 1e-5f, 9.99999997e-5f, 123456789.0f, 1e9f,
                  999999999.0f, 0.5f, 1e-45f, 3.4e38f, -71.4285736f})
    check(v);
  for (int i = 0; i < 200000; ++i) {
    std::uint32_t b = bits(rng);
    if (((b >> 23) & 0xff) == 0xff) continue;  // no infinities or NaNs
    float v;
    std::memcpy(&v, &b, sizeof v);
    check(v);
  }
  // Values of the similarity range, where the files spend their digits.
  std::uniform_real_distribution<float> percent(-50.0f, 100.0f);
  for (int i = 0; i < 200000; ++i) check(percent(rng));
}

TEST(LanguageNames, SafeForTreeFilesAndUnique) {
  auto origins = std::make_unique<LanguageOrigins>();
  auto names = std::make_unique<LanguageNames>();
  const std::string long_name(60, 'x'), cut_utf8 = std::string(47, 'y') + "\xc3\xa4";
  struct Case {
    std::string header, code, name;
  } cases[] = {
      {"Tamu |Riverine,Upper,Tamu@", "tmu", "Tamu"},
      {"  Old English (extinct) |G,W@", "ang", "Old_English_extinct"},
      {"a:b,c;d'e\"f[g]\th |F@", "abc", "a_b_c_d_e_f_g_h"},
      {"Ng\xc3\xa4" "be|F@", "gym", "Ng\xc3\xa4" "be"},
      {"  |F,G@", "x y", "x_y"},
      {"(( ))|F@", "()'", "L17"},
      {long_name + "|F@", "lng", std::string(48, 'x')},
      {cut_utf8 + "|F@", "utf", std::string(47, 'y')},
      {"Tamu|F@", "tm2", "Tamu__2"},
      {"A__2|F@", "a2_", "A_2"},  // made names hold no "__": no clash with the next
      {"A|F@", "a__", "A"},
      {"A|F@", "a3_", "A__2"},
      {"Tamu|F@", "tm3", "Tamu__3"},
  };
  int n = 0;
  for (const Case& c : cases) {
    ++n;
    std::memset(origins->header[n], ' ', RECORD_WIDTH);
    std::memcpy(origins->header[n], c.header.data(), c.header.size());
    std::memcpy(origins->code[n], c.code.data(), 3);
    origins->header_record[n] = 17;
  }
  make_language_names(*origins, n, *names);
  for (int l = 1; l <= n; ++l) EXPECT_EQ(language_name(*names, l), cases[l - 1].name) << l;

  // The key maps each name back: header name, code, record, path, TABs blanked.
  const fs::path dir = scratch("names");
  ResultFile key;
  ASSERT_EQ(key.open((dir / "m.names").string()), 0);
  write_names_key(key, *origins, *names);
  ASSERT_EQ(key.close(), 0);
  ASSERT_EQ(key.commit(), 0);
  std::istringstream rows(slurp(dir / "m.names"));
  std::string row;
  std::getline(rows, row);
  EXPECT_EQ(row, "name\theader\tcode\trecord\tpath");
  std::getline(rows, row);
  EXPECT_EQ(row, "Tamu\tTamu\ttmu\t17\tRiverine,Upper,Tamu");
  std::getline(rows, row);
  EXPECT_EQ(row, "Old_English_extinct\tOld English (extinct)\tang\t17\tG,W");
  std::getline(rows, row);
  EXPECT_EQ(row, "a_b_c_d_e_f_g_h\ta:b,c;d'e\"f[g] h\tabc\t17\tF");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace plix
