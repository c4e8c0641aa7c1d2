// The result files beside the report: the command line that asks for them,
// the temporary file renamed into place, the number text, the language names
// and the files of whole runs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "tests/files.h"
#include "database/scanner.h"
#include "distance/similarity.h"
#include "report/names.h"
#include "report/pair_engine.h"
#include "run/options.h"
#include "run/run_state.h"
#include "run/usage.h"
#include "tests/whole_run.h"
#include "textio/result_file.h"
#include "textio/textio.h"
#include "tests/programs.h"

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

std::vector<std::string> split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, sep)) parts.push_back(part);
  return parts;
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
      // A value that looks like an option is not taken: the option lacks its name.
      {{"--table", "--pairs", "p.tsv"}, 2, "plix62c: option --table needs a file name\n"},
      {{"--matrix", "--check"}, 2, "plix62c: option --matrix needs a file name\n"},
      {{"--svg", "-"}, 2, "plix62c: option --svg needs a file name\n"},
      {{"--check"}, -1, ""},
      {{"--check=yes"}, 2, "plix62c: option --check takes no value\n"},
      {{"--check", "--calibrate", "a"}, 2, "plix62c: --check and --calibrate cannot be combined\n"},
      {{"--check", "--svg", "s"}, 2, "plix62c: --check writes no report and no result files\n"},
      {{"--calibrate", "a", "--pairs", "p"}, 2,
       "plix62c: --calibrate writes no report; of the results only --tree and --svg, dated with the fitted S0 and R\n"},
      {{"--calibrate", "a", "--tree", "t", "--bootstrap", "9"}, 2,
       "plix62c: --calibrate writes no report; of the results only --tree and --svg, dated with the fitted S0 and R\n"},
      {{"--calibrate", "a", "--tree", "t", "--svg", "s"}, -1, ""},
      {{"--tree", "t", "--bootstrap", "200", "--seed", "18446744073709551615"}, -1, ""},
      {{"--tree", "t", "--bootstrap", "0"}, 2,
       "plix62c: --bootstrap 0: the replicates must be a whole number from 1 to 100000\n"},
      {{"--tree", "t", "--bootstrap=-5"}, 2,
       "plix62c: --bootstrap -5: the replicates must be a whole number from 1 to 100000\n"},
      {{"--tree", "t", "--bootstrap", "12x"}, 2,
       "plix62c: --bootstrap 12x: the replicates must be a whole number from 1 to 100000\n"},
      {{"--tree", "t", "--bootstrap", "100001"}, 2,
       "plix62c: --bootstrap 100001: the replicates must be a whole number from 1 to 100000\n"},
      {{"--tree", "t", "--bootstrap"}, 2, "plix62c: option --bootstrap needs a number\n"},
      {{"--bootstrap", "5"}, 2, "plix62c: --bootstrap needs --table, --tree or --svg to write its intervals to\n"},
      {{"--tree", "t", "--bootstrap", "5", "--seed", "18446744073709551616"}, 2,
       "plix62c: --seed 18446744073709551616: the seed must be a whole number from 0 to 18446744073709551615\n"},
      {{"--tree", "t", "--bootstrap", "5", "--seed", "one"}, 2,
       "plix62c: --seed one: the seed must be a whole number from 0 to 18446744073709551615\n"},
      {{"--tree", "t", "--seed", "5"}, 2, "plix62c: --seed is for --bootstrap\n"},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv = {"plix62c"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    RunOptions options;
    StringSink out, err;
    const int status = parse_options(static_cast<int>(argv.size()), argv.data(), options, out, err);
    EXPECT_EQ(status, c.status) << c.args[0];
    EXPECT_EQ(err.data, c.status == 2 ? c.message + std::string("\n") + std::string(usage_text()) : "");
    if (c.args.size() > 1 && c.status == -1 && options.bootstrap == 0 && options.ages.empty()) {
      EXPECT_TRUE(options.table == "t.tsv" && options.pairs == "p.tsv" && options.matrix == "m");
    }
    if (c.status == -1 && !options.bootstrap_text.empty()) {
      EXPECT_EQ(options.bootstrap, 200);
      EXPECT_EQ(options.seed, UINT64_MAX);
    }
  }
  // Names that begin with '-' are given after '=' or with a folder.
  const char* argv[] = {"plix62c", "--table=-t", "--pairs", "./-p"};
  RunOptions options;
  StringSink out, err;
  EXPECT_EQ(parse_options(4, argv, options, out, err), -1);
  EXPECT_TRUE(options.table == "-t" && options.pairs == "./-p") << err.data;
}

// Result paths are compared as the files they replace, before anything is
// read; nothing is created by the comparison.
TEST(Options, ResultPathsThatNameOneFileAreRefused) {
  const fs::path dir = scratch("same");
  const std::string d = dir.string();
  std::ofstream(dir / "old.tsv") << "old\n";
  fs::create_hard_link(dir / "old.tsv", dir / "link.tsv");
  fs::create_directory(dir / "sub");
  struct Case {
    std::vector<std::string> args;
    char stream;  // 'i' or 'o': old.tsv is open as standard input or output
    std::string message;  // empty: accepted
  } cases[] = {
      {{"--table", d + "/out.tsv", "--pairs", d + "/./out.tsv"}, 0,
       "two results would be written to one file: " + d + "/out.tsv and " + d + "/./out.tsv"},
      {{"--matrix", d + "/a", "--tree", d + "/sub/../a"}, 0,
       "two results would be written to one file: " + d + "/a and " + d + "/sub/../a"},
      {{"--matrix", d + "/a", "--table", d + "/sub/../a.names"}, 0,
       "two results would be written to one file: " + d + "/sub/../a.names and " + d + "/a.names"},
      {{"--table", d + "/old.tsv", "--svg", d + "/link.tsv"}, 0,
       "two results would be written to one file: " + d + "/old.tsv and " + d + "/link.tsv"},
      {{"--pairs", d + "/link.tsv"}, 'i', "the result file " + d + "/link.tsv is the file of standard input"},
      {{"--nexus", d + "/old.tsv"}, 'o', "the result file " + d + "/old.tsv is the file of standard output"},
      {{"--table", d + "/out.tsv", "--pairs", d + "/sub/out.tsv", "--svg", "/dev/null"}, 'o', ""},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv = {"plix62c"};
    for (const std::string& a : c.args) argv.push_back(a.c_str());
    RunOptions options;
    StringSink out, err;
    ASSERT_EQ(parse_options(static_cast<int>(argv.size()), argv.data(), options, out, err), -1);
    const int fd = c.stream != 0 ? ::open((dir / "old.tsv").c_str(), O_RDONLY) : -1;
    const int status = refuse_shared_files(options, c.stream == 'i' ? fd : -1, c.stream == 'o' ? fd : -1, err);
    if (fd >= 0) ::close(fd);
    EXPECT_EQ(status, c.message.empty() ? -1 : 2) << c.args[1];
    EXPECT_EQ(err.data, c.message.empty() ? "" : "plix62c: " + c.message + "\n\n" + std::string(usage_text()));
  }
  EXPECT_EQ(entries(dir), (std::vector<std::string>{"link.tsv", "old.tsv", "sub"}));
  EXPECT_EQ(slurp(dir / "old.tsv"), "old\n");
  fs::remove_all(dir);
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
    EXPECT_NE(entries(dir), std::vector<std::string>{"out.tsv"});  // still under its temporary name
    EXPECT_EQ(file.commit(), 0);
    EXPECT_EQ(slurp(dir / "out.tsv"), "a\t" + big);
  }
  // A device is written in place; a full one fails the close.
  if (access("/dev/full", W_OK) == 0) {
    ResultFile full;
    ASSERT_EQ(full.open("/dev/full"), 0);
    full.write("x");
    EXPECT_EQ(full.close(), ENOSPC);
  } else {
    std::printf("no /dev/full: a full device is not tested\n");
  }
  ResultFile missing;
  EXPECT_TRUE(missing.open((dir / "no" / "such").string()) == ENOENT && missing.open(dir.string()) == EISDIR);
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
  for (float v : {0.0f, -0.0f, 100.0f, 1e-5f, 9.99999997e-5f, 1e9f, 999999999.0f, 1e-45f, 3.4e38f}) check(v);
  for (int i = 0; i < 200000; ++i) {
    const std::uint32_t b = bits(rng);
    float v;
    std::memcpy(&v, &b, sizeof v);
    if (((b >> 23) & 0xff) != 0xff) check(v);  // no infinities or NaNs
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
    ASSERT_TRUE(origins->header.grow_to(n) && origins->code.grow_to(n) && origins->header_record.grow_to(n));
    std::memset(origins->header[n], ' ', RECORD_WIDTH);
    std::memcpy(origins->header[n], c.header.data(), c.header.size());
    std::memcpy(origins->code[n], c.code.data(), 3);
    origins->header_record[n] = 17;
  }
  ASSERT_TRUE(make_language_names(*origins, n, *names));
  for (int l = 1; l <= n; ++l) EXPECT_EQ(language_name(*names, l), cases[l - 1].name) << l;

  // The key maps each name back: header name, code, record, path, TABs blanked.
  const fs::path dir = scratch("names");
  ResultFile key;
  ASSERT_EQ(key.open((dir / "m.names").string()), 0);
  write_names_key(key, *origins, *names);
  ASSERT_TRUE(key.close() == 0 && key.commit() == 0);
  EXPECT_EQ(split(slurp(dir / "m.names"), '\n')[3], "a_b_c_d_e_f_g_h\ta:b,c;d'e\"f[g] h\tabc\t17\tF");
  fs::remove_all(dir);
}

// --- whole runs ---

std::string example(const std::string& name) {
  return slurp(fs::path(PLIX_SOURCE_DIR) / "examples" / name);
}

RunResult run_with(const std::string& input, const RunOptions& options) {
  StringSource in(input);
  StringSink out, err;
  return {run_program(in, out, err, options), out.data, err.data};
}

// The tables of a run after its scan, for the literal similarities.
struct Scanned {
  explicit Scanned(const std::string& input)
      : in(input), io(open_text_io(in, out, err)), run(std::make_unique<RunState>(*io)) {
    read_run_input(*run);
    finish_scan(run->scan_context());
  }
  float similarity(int a, int b, FpFault fault = FpFault::none) const {
    return language_similarity(run->store, a, b, run->selection.meaning_count, fault);
  }
  StringSource in;
  StringSink out, err;
  TextIOHandle io;
  std::unique_ptr<RunState> run;
};

// Two families whose languages alternate in the database, so that the loop
// order crosses nodes; B1 and B3 share a branch and their lists.
std::string interleaved_input() {
  const std::string figure = std::string(26, ' ') + "1000" + std::string(9, ' ');
  std::string s = "     1     2  1000     1    92    72\n(I3)\n  1\n  2\n  3\n  0\np\na\nt\ni\nk\nu\nm\nn\n\nWORD LISTS\n";
  // Batches of one node's heading languages would give (1,5) (3,5) (2,4) (4,6).
  const char* langs[][4] = {{"A1|F,G1@", "pata", "kimu", "nuka"}, {"B1|H,K1@", "tapa", "muki", "kanu"},
                            {"A2|F,G1@", "pat", "kima", "nuku"},  {"B2|H,K2@", "tama", "nuki", "kana"},
                            {"A3|F,G2@", "mata", "kinu", "tuka"}, {"B3|H,K1@", "tapa", "muki", "kanu"}};
  int n = 0;
  for (const auto& l : langs)
    s += std::string(l[0]) + "\n" + figure + "c" + std::to_string(n++) + "x\n1\t" + l[1] + "\n2\t" +
         l[2] + "\n3\t" + l[3] + "\n";
  return s + "\n";
}

// The report's blocks: for each, its branch lines (count, label) and the
// pairs line's count, mean text and age text.
struct Block {
  std::vector<std::pair<int, std::string>> branches;
  std::string pairs, mean, age;
};
std::vector<Block> report_blocks(const std::string& report) {
  std::vector<Block> blocks;
  for (std::string line : split(report, '\n')) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::smatch m;
    if (line.empty()) {
      blocks.emplace_back();
    } else if (std::regex_match(line, m, std::regex(R"(\s*(\d+)  PAIRS\s+(\S+)%\s*(-?\d*)(?: BP)?)"))) {
      std::tie(blocks.back().pairs, blocks.back().mean, blocks.back().age) = std::tuple(m[1], m[2], m[3]);
    } else if (!blocks.empty() && std::regex_match(line, m, std::regex(R"(\s*(\d+)  (.*) )"))) {
      blocks.back().branches.emplace_back(std::stoi(m[1]), m[2]);
    }
  }
  return blocks;
}

TEST(ResultRuns, TableAndPairListHoldTheReportsNumbers) {
  const fs::path dir = scratch("table");
  for (const char* name : {"families.txt", "generated.txt", "small.txt"}) {
    RunOptions options;
    options.table = (dir / "t.tsv").string();
    options.pairs = (dir / "p.tsv").string();
    const RunResult r = run_with(example(name), options);
    ASSERT_EQ(r.status, 0) << name;
    const std::vector<Block> blocks = report_blocks(r.out);
    const std::vector<std::string> rows = split(slurp(options.table), '\n');
    const std::vector<std::string> pairs = split(slurp(options.pairs), '\n');
    ASSERT_EQ(rows.size(), blocks.size() + 1) << name;
    // Today's columns first, so that their readers keep working.
    EXPECT_EQ(rows[0], "node\tlabel\tbranches\tlanguages\tpairs\tmean\tmean_report\tage\t"
                       "shared_least\tshared_mean\tweak\tparent_age\tnesting\tage_low\tage_high\t"
                       "similarity_low\tsimilarity_high\toutside_nesting");
    for (std::size_t k = 0; k < blocks.size(); ++k) {
      const std::vector<std::string> f = split(rows[k + 1] + "\t", '\t');
      ASSERT_EQ(f.size(), 18u) << rows[k + 1];
      EXPECT_EQ(f[10], std::stol(f[4]) < 3 ? "1" : "0") << rows[k + 1];
      EXPECT_LE(std::stod(f[8]), std::stod(f[9])) << rows[k + 1];
      const Block& b = blocks[k];
      int languages = 0;  // LEVEL 1 in every example: the label's first component is the node's
      for (const auto& [count, label] : b.branches) {
        languages += count;
        EXPECT_EQ(label.substr(0, label.find(',')), f[1]) << label;
      }
      EXPECT_EQ(std::vector<std::string>(f.begin() + 2, f.begin() + 8),
                (std::vector<std::string>{std::to_string(b.branches.size()), std::to_string(languages),
                                          b.pairs, f[5], b.mean, b.age}));
      EXPECT_NEAR(std::stod(f[5]), std::stod(b.mean), 0.005 + 1e-9);
      EXPECT_EQ(std::count_if(pairs.begin() + 1, pairs.end(),
                              [&](const std::string& p) { return p.rfind(f[0] + "\t", 0) == 0; }),
                std::stol(b.pairs));
    }
  }
  // small.txt: LANGA shares its 3 meanings with LANGB and with LANGC; 2
  // pairs make the node weak; the root above it holds no pairs, so there is
  // no parent's age, and no intervals without --bootstrap.
  const std::vector<std::string> small = split(split(slurp(dir / "t.tsv"), '\n')[1] + "\t", '\t');
  EXPECT_EQ(std::vector<std::string>(small.begin() + 8, small.end()),
            (std::vector<std::string>{"3", "3", "1", "", "", "", "", "", "", ""}));
  // small.txt: per pair the node and both languages, then the similarity.
  const std::vector<std::string> rows = split(slurp(dir / "p.tsv"), '\n');
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1].substr(0, rows[1].rfind('\t')), "1\tLANGA{X\taaa\t17\tF,G1\tLANGB{X\tbbb\t22\tF,G2");
  EXPECT_EQ(rows[2].substr(0, rows[2].rfind('\t')), "1\tLANGA{X\taaa\t17\tF,G1\tLANGC{X\tccc\t27\tF,G2");
  EXPECT_EQ(std::stof(rows[1].substr(rows[1].rfind('\t') + 1)), 71.428574f);
  EXPECT_EQ(std::stof(rows[2].substr(rows[2].rfind('\t') + 1)), 72.72727f);
  fs::remove_all(dir);
}

// Collects what the engine hands a pair sink.
struct Collected final : PairSink {
  std::vector<std::tuple<int, int, int, float>> pairs;
  void pair(int node, int first, int second, float s) override { pairs.emplace_back(node, first, second, s); }
};

TEST(ResultRuns, PairListFollowsTheLiteralLoopOnAnyThreads) {
  for (const std::string& input : {interleaved_input(), example("families.txt")}) {
    Scanned s(input);
    const RunState& run = *s.run;
    Collected literal;
    const int nlang = run.scan.language_count;
    for (int i = 1; i < nlang; ++i)
      for (int j = i + 1; j <= nlang; ++j) {
        const int bi = run.store.branch_of[i], bj = run.store.branch_of[j];
        if (bi != bj && run.branches.node_of[bi] == run.branches.node_of[bj])
          literal.pair(run.branches.node_of[bi], i, j, s.similarity(i, j));
      }
    ASSERT_FALSE(literal.pairs.empty());
    for (int threads : {1, 3}) {
      Collected got;
      EngineOptions options{best_engine_isa(), threads, nullptr, &got};
      auto tally = std::make_unique<NodeTally>();
      engine_aggregate(run.store, run.branches, nlang, run.selection.meaning_count, *tally, options);
      EXPECT_TRUE(got.pairs == literal.pairs) << threads << " threads";
    }
  }
}

TEST(ResultRuns, MatrixHoldsEveryPairsLiteralDistance) {
  const fs::path dir = scratch("matrix");
  for (const std::string& input : {interleaved_input(), example("families.txt")}) {
    RunOptions options;
    options.matrix = (dir / "m.phy").string();
    options.nexus = (dir / "m.nex").string();
    ASSERT_EQ(run_with(input, options).status, 0);
    Scanned s(input);
    const int n = s.run->scan.language_count;
    const std::vector<std::string> rows = split(slurp(options.matrix), '\n');
    const std::vector<std::string> key = split(slurp(options.matrix + ".names"), '\n');
    ASSERT_EQ(rows.size(), n + 1u);
    ASSERT_EQ(key.size(), n + 1u);
    EXPECT_EQ(rows[0], std::to_string(n));
    EXPECT_TRUE(n < 7 || key[1] == "Tamu\tTamu\ttmu\t35\tRiverine,Upper,Tamu") << key[1];
    std::vector<std::vector<std::string>> cells(1);  // cells[i][j], 1-based
    for (int i = 1; i <= n; ++i) cells.push_back(split(rows[i], ' '));
    for (int i = 1; i <= n; ++i) {
      ASSERT_EQ(cells[i].size(), n + 1u);
      EXPECT_EQ(cells[i][0], key[i].substr(0, key[i].find('\t')));
      for (int j = 1; j <= n; ++j) {
        EXPECT_EQ(cells[i][j], cells[j][i]);  // symmetric, to the last digit
        const float s_ij = i == j ? 100.0f : s.similarity(std::min(i, j), std::max(i, j));
        EXPECT_EQ(std::stof(cells[i][j]), static_cast<float>(1.0 - s_ij / 100.0)) << i << "," << j;
      }
    }
    // The NEXUS file holds the same rows in its DISTANCES block.
    const std::string nexus = slurp(options.nexus);
    EXPECT_EQ(nexus.rfind("#NEXUS\nBEGIN TAXA;\n  DIMENSIONS NTAX=" + std::to_string(n) + ";\n", 0), 0u);
    for (int i = 1; i <= n; ++i) EXPECT_NE(nexus.find("    " + rows[i] + "\n"), std::string::npos);
    EXPECT_EQ(slurp(options.nexus + ".names"), slurp(options.matrix + ".names"));
  }
  fs::remove_all(dir);
}

// A real client of the matrix: Debian's quicktree builds a tree from it.
TEST(ResultRuns, QuicktreeReadsTheMatrix) {
  if (!fs::exists("/usr/bin/quicktree")) GTEST_SKIP() << "quicktree is not installed (Debian package quicktree)";
  const fs::path dir = scratch("quicktree");
  const std::string matrix = (dir / "m.phy").string();
  ASSERT_EQ(std::system((program_command(PLIX62C_BINARY) + " --matrix " + matrix + " < " + PLIX_SOURCE_DIR +
                         "/examples/families.txt >/dev/null && quicktree -in m " + matrix + " >" +
                         (dir / "tree").string()).c_str()), 0);
  const std::string tree = std::regex_replace(slurp(dir / "tree"), std::regex(R"(\s+)"), "");
  const std::vector<std::string> key = split(slurp(matrix + ".names"), '\n');
  ASSERT_GT(key.size(), 2u);
  for (std::size_t i = 1; i < key.size(); ++i) {
    const std::string name = key[i].substr(0, key[i].find('\t'));
    EXPECT_TRUE(std::regex_search(tree, std::regex("[(,]" + name + ":"))) << name << " is no leaf";
  }
  // Molo and Tegu (Highland,South) have the same word lists: a cherry at 0.
  EXPECT_TRUE(std::regex_search(tree, std::regex(R"(\((Molo:0\.0+,Tegu|Tegu:0\.0+,Molo):0\.0+\))")))
      << tree;
  fs::remove_all(dir);
}

// The report cuts a label at its first blank; the result files keep the
// whole components, so that the two branches stay apart.
TEST(ResultRuns, BranchesAreNamedByTheirWholeComponents) {
  const fs::path dir = scratch("blanks");
  const std::string figure = std::string(26, ' ') + "1000" + std::string(9, ' ');
  const std::string input = "     1     2  1000     1    92    72\n(I3)\n  1\n  2\n  0\np\na\nt\ni\n\nWORD LISTS\n"
                            "Da|Big River,G1@\n" + figure + "ddd\n1\tpa\n2\tti\n"
                            "Ea|Big River,G2@\n" + figure + "eee\n1\tpa\n2\tta\n\n";
  RunOptions options;
  options.table = (dir / "t.tsv").string();
  options.pairs = (dir / "p.tsv").string();
  const RunResult r = run_with(input, options);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\n     1  Big \r\n     1  Big \r\n"), std::string::npos) << r.out;
  const std::vector<std::string> table = split(split(slurp(dir / "t.tsv"), '\n').at(1), '\t');
  const std::vector<std::string> pair = split(split(slurp(dir / "p.tsv"), '\n').at(1), '\t');
  EXPECT_EQ(table.at(1), "Big River");
  EXPECT_EQ(pair.at(4), "Big River,G1");
  EXPECT_EQ(pair.at(8), "Big River,G2");
  fs::remove_all(dir);
}

TEST(ResultRuns, FailedRunsLeaveNoFiles) {
  const fs::path dir = scratch("failed");
  const std::string figure = std::string(26, ' ') + "1000" + std::string(9, ' ');
  const std::string head = "     1     2  1000     1    92    72\n(I3)\n  1\n  2\n  3\n  4\n  0\n"
                           "p\na\nt\ni\n\nWORD LISTS\n";
  // Da and Ea share no meaning: in two families only the matrix compares
  // them, in one node the report's own pair faults.
  auto two = [&](const char* node_e) {
    return head + "Da|D,E@\n" + figure + "ddd\n1\tpa\n2\tta\nEa|" + node_e + ",F@\n" + figure +
           "eee\n3\tpi\n4\tti\n\n";
  };
  const std::string apart = two("E"), together = two("D");
  RunOptions all;
  all.table = (dir / "t.tsv").string();
  all.pairs = (dir / "p.tsv").string();
  all.matrix = (dir / "m.phy").string();
  all.nexus = (dir / "n.nex").string();
  RunOptions full = all;
  full.table = "/dev/full";
  struct Case {
    std::string input;
    const RunOptions& options;
    std::string err;
  } cases[] = {
      {apart, all,
       "plix62c: the distance matrix needs the similarity of Da (ddd, record 14) and Ea (eee, record 18), "
       "which cannot be measured: they have no meaning in common; a higher WORDS keeps such short word "
       "lists out of the run\n"},
      {together, all, "\r\nrun-time error M6101: MATH\r\n- floating-point error: invalid\r\n"},
      {example("small.txt"), full, "plix62c: cannot write /dev/full: No space left on device\n"},
      {head.substr(0, 37), all, "\r\nrun-time error F6501: READ(CON)\r\n- end of file encountered: the format record is missing after record 1\r\n"},
  };
  for (const Case& c : cases) {
    if (c.options.table == "/dev/full" && access("/dev/full", W_OK) != 0) {
      std::printf("no /dev/full: a full device is not tested\n");
      continue;
    }
    const RunResult r = run_with(c.input, c.options);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, c.err);
    EXPECT_TRUE(entries(dir).empty()) << c.err;
  }
  fs::remove_all(dir);
}

TEST(ResultRuns, AgesTheReportMasksAreNoAgeInAnyFile) {
  // R 100: two_log_r is nearly 0, so the ages of small.txt (72.08 % against
  // S0 92) lie far beyond the seven columns of the report's field.
  const fs::path dir = scratch("masked");
  std::string input = example("small.txt");
  input.replace(input.find("    72\n"), 7, "   100\n");
  RunOptions options;
  options.table = (dir / "t.tsv").string();
  options.tree = (dir / "t.nwk").string();
  const RunResult r = run_with(input, options);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("PAIRS   72.08%******* BP"), std::string::npos) << r.out;
  const std::vector<std::string> rows = split(slurp(options.table), '\n');
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(split(rows[1] + "\t", '\t')[7], "");
  const std::string newick = slurp(options.tree);
  EXPECT_EQ(newick.find("age="), std::string::npos) << newick;
  // No branch length from such an age either.
  for (std::size_t at = newick.find(':'); at != std::string::npos; at = newick.find(':', at + 1))
    EXPECT_EQ(std::stod(newick.substr(at + 1)), 0.0) << newick;
  fs::remove_all(dir);
}

}  // namespace
}  // namespace plix
