// --check: one finding per kind on small streams; --calibrate: S0 and R
// given back from ages known by construction, at any depth, and its errors.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "report/calibrate.h"
#include "run/check.h"
#include "run/options.h"
#include "tests/files.h"
#include "textio/byte_stream.h"

namespace plix {
namespace {

struct Outcome {
  int status;
  std::string out, err;
};

Outcome check(const std::string& input) {
  StringSource in(input);
  StringSink out, err;
  const int status = check_program(in, out, err);
  return {status, out.data, err.data};
}

// Records: 1 parameters, 2-6 selection, 7-15 inventory, 16 title, then five
// records a language: LANGA 17-21, LANGB 22-26, LANGC 27-31; end 32.
const std::string kParameters = "     1     2  1000     1    92    72\n";
const std::string kSelection = "(I3)\n  1\n  2\n  3\n  0\n";
const std::string kInventory = "p\na\nt\ni\nk\nu\nm\nn\n\n";
std::string figure(const std::string& number, const std::string& code) {
  return std::string(30 - number.size(), ' ') + number + std::string(9, ' ') + code + "\n";
}
std::string language(const std::string& name, const std::string& path, const std::string& code,
                     const std::string& words) {
  return name + "{X|" + path + "@Y}\n" + figure("1000", code) + words;
}
const std::string kA = language("LANGA", "F,G1", "aaa", "1\tpata\n2\tkimu\n3\tnuka\n");
const std::string kB = language("LANGB", "F,G2", "bbb", "1\tpat\n2\tkima\n3\tnuku\n");
const std::string kC = language("LANGC", "F,G2", "ccc", "1\tmata\n2\tkinu\n3\ttuka\n");
const std::string kHead = kSelection + kInventory + "TITLE\n";
const std::string kSmall = kParameters + kHead + kA + kB + kC + "\n";

std::string replaced(std::string s, const std::string& from, const std::string& to) {
  s.replace(s.find(from), from.size(), to);
  return s;
}
// kSmall with `records` before its end-of-data record.
std::string before_end(const std::string& records) {
  return kSmall.substr(0, kSmall.size() - 1) + records + "\n";
}

TEST(Check, EachKindOfFinding) {
  struct Case {
    const char* kind;
    std::string input;
    int status;
    std::string line;
  } cases[] = {
      {"parameter field", replaced(kSmall, "     2  1000", "  2     1000"), 1,
       "record 1: field WORDS, columns 7-12, holds \"  2   \": not right-aligned in its six "
       "columns (read as 2)"},
      {"shifted record", " " + kSmall, 1,
       "record 1: column 37 continues the R field: the record looks shifted to the right; fields "
       "are columns 1-6, 7-12, 13-18, 19-24, 25-30, 31-36"},
      {"format record", replaced(kSmall, "(I3)\n", ""), 2,
       "record 2: the format record \"1\" is not a format with an integer field, such as (I3): "
       "every meaning record is read with it"},
      {"symbol outside ASCII", replaced(kSmall, "\np\n", "\n\xca\x83\n"), 1,
       "record 7: symbol 0xCA is a byte outside ASCII: symbols are single bytes, so symbols "
       "written in UTF-8 that share their first byte become one sound"},
      {"symbol of two characters", replaced(kSmall, "\nt\n", "\ntS\n"), 1,
       "record 9: symbol record holds more than one character: only 't' is the symbol (a sound "
       "written with two symbols is combined with '~' in the words)"},
      {"duplicate symbol", replaced(kSmall, "\nn\n\n", "\nn\na\n\n"), 1,
       "record 15: symbol 'a' is listed again (first in record 8): the later entry never matches"},
      {"unused symbol", replaced(kSmall, "\nn\n\n", "\nn\nz\n\n"), 1,
       "record 15: symbol 'z' occurs in no word of a selected meaning"},
      {"word record without a TAB", replaced(kSmall, "1\tpata", "1   pata"), 1,
       "record 19: word record of meaning 1 of language LANGA{X (code aaa, header record 17) has "
       "no TAB before its words: nothing is read from it"},
      {"words outside ASCII", replaced(kSmall, "1\tpata", "1\tpa\xc3\xa1"), 1,
       "record 19: word record of meaning 1 of language LANGA{X (code aaa, header record 17) "
       "holds bytes outside ASCII: each byte is looked up as a symbol on its own (symbols are "
       "single bytes)"},
      {"skipped by figure", before_end("OLD|F,G1@\n" + figure("-600", "old") + "1\tpa\n"), 1,
       "record 32: language OLD (code old) is skipped: its figure -600.0 lies from -1000 (DATE) "
       "up to -1"},
      {"skipped by path", before_end("NONE|@\n" + figure("0", "non")), 1,
       "record 32: language NONE (code non) is skipped: its classification path is empty"},
      {"dropped", kParameters + kHead + kA + language("LANGD", "F,G2", "ddd", "1\tpa\n") + kB + kC + "\n", 1,
       "record 22: language LANGD{X (code ddd) is dropped: it attests 1 selected meanings, fewer "
       "than WORDS (2)"},
      {"duplicate code", replaced(kSmall, "ccc", "bbb"), 1,
       "record 27: language code bbb is used again (first by the language of header record 22)"},
      {"unattested meaning", replaced(kSmall, "  3\n  0\n", "  3\n  4\n  0\n"), 1,
       "record 6: meaning 4 is selected but no kept language attests it"},
      {"one branch in a node", replaced(kSmall, "F,G1", "F,G2"), 1,
       "record 17: the 3 languages of branch F,G2 are the only branch of their node: no pairs; "
       "LEVEL 2 would date them"},
      {"alone in a node", replaced(kSmall, "F,G1", "H,G1"), 1,
       "record 17: language LANGA{X (code aaa) is alone in its node (branch H,G1): no pairs; "
       "LEVEL 0 would date it with LANGB{X (code bbb, header record 22)"},
      {"weak node", kSmall, 1,
       "record 17: the node of branch F,G1 is dated from 2 pairs, fewer than 3: its age is "
       "flagged weak and rests on the words of so few languages"},
      {"masked ages", replaced(kSmall, "    92    72", "    92   100"), 1,
       "record 1: with S0 92 and R 100 a mean of 46.00 % gives an age beyond the report's seven "
       "columns: the report prints asterisks and the result files no age; R must be below 100"},
      // WORDS 1; A attests meaning 1 only, B meaning 2 only: the pair (A, B)
      // has no same-meaning pair. A: 17-19, B: 20-22.
      {"pair without a common meaning",
       replaced(kParameters, "     2  1000", "     1  1000") + kHead +
           language("LANGA", "F,G1", "aaa", "1\tpata\n") +
           language("LANGB", "F,G2", "bbb", "2\tkima\n") + "\n",
       1,
       "record 17: languages LANGA{X (code aaa) and LANGB{X (code bbb, header record 20) share no "
       "meaning: their similarity is undefined and the run ends with a floating-point error"},
      // The report labels both branches "Big"; the code stands in for a
      // missing component.
      {"blank in a branch name", replaced(replaced(kSmall, "F,G1", "Big River,G1"), "F,G2", "Big River,G2"), 1,
       "record 17: branch \"Big River,G1\" has a blank in its first LEVEL + 1 components: the report "
       "prints it as \"Big\", like any branch that differs only after the blank"},
      {"path shorter than LEVEL + 1", replaced(kSmall, "F,G1", "F"), 1,
       "record 17: language LANGA{X (code aaa) has the classification path \"F\" of 1 component, fewer "
       "than LEVEL + 1 (LEVEL 1): its code is read as a component, so it is a branch of its own, "
       "labelled F,aaa"},
  };
  for (const Case& c : cases) {
    const Outcome o = check(c.input);
    EXPECT_EQ(o.status, c.status) << c.kind << "\n" << o.out << o.err;
    EXPECT_NE(o.out.find(c.line + "\n"), std::string::npos) << c.kind << "\n" << o.out;
  }
}

TEST(Check, CleanStreamHasOnlyTheSummary) {
  // Bytes after the end of the words (a blank followed by a blank) are not
  // read by the run, so they are no finding. A fourth language makes the
  // node's pairs 3 (1 x 3): enough not to be weak.
  const std::string clean = before_end(language("LANGD", "F,G2", "ddd", "1\tmatu\n2\tkinu\n3\ttuka\n"));
  for (const std::string& input : {clean, replaced(clean, "1\tpata", "1\tpata  \xc3\xa1")}) {
    const Outcome o = check(input);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out,
              "findings: 0\n"
              "languages: 4 read, 0 skipped, 0 dropped, 4 kept\n"
              "at LEVEL 1: branches with languages 2, nodes with languages 1, nodes dated 1\n"
              "pairs the run will count: 3\n");
    EXPECT_EQ(o.err, "");
  }
}

TEST(Check, FailedWriteIsStatusOneLikeAnyFailedWrite) {
  // Read to its end, or not (the finding on the parameter record is listed).
  for (const std::string& input : {kSmall, replaced(kSmall, "     2  1000", "  2     1000").substr(0, 60)}) {
    StringSource in(input);
    StringSink out, err;
    out.fail_errno = 28;  // ENOSPC
    EXPECT_EQ(check_program(in, out, err), 1);
    EXPECT_NE(err.data.find("\r\nrun-time error F6422: WRITE(CON)\r\n- no space left on device\r\n"),
              std::string::npos)
        << err.data;
  }
}

// Two nodes of two one-language branches under one root. Every word is one
// sound, and the sounds of different meanings differ, so every
// different-meaning distance is 1 and the similarity of a pair is 100 k / n
// when k of its n meanings have the same word: F1 keeps 8 of 10 (80 %), F2
// 5 of 10 (50 %), and the four pairs across them average 60 %.
std::string calibration_stream(int s0, int r, int level) {
  char parameters[64];
  std::snprintf(parameters, sizeof parameters, "     1     1  1000%6d%6d%6d\n", level, s0, r);
  std::string s = std::string(parameters) + "(I3)\n";
  for (int m = 1; m <= 10; ++m) s += std::to_string(m) + "\n";
  s += "0\n";
  for (char c = 'a'; c <= 't'; ++c) s += std::string(1, c) + "\n";
  s += "\nTITLE\n";
  const int kept[2] = {8, 5};
  for (int node = 0; node < 2; ++node) {
    const char family = static_cast<char>('1' + node);
    for (char branch : {'A', 'B'}) {
      const char header[] = {branch, '|', 'T', ',', 'F', family, ',', branch, '@', '\n', 0};
      const char code[] = {branch, family, branch, 0};
      s += header;
      s += figure("0", code);
      for (int m = 1; m <= 10; ++m) {
        const bool same = branch == 'A' || m <= kept[node];
        const char word[] = {'\t', static_cast<char>(same ? 'a' + m - 1 : 'k' + m - 1), '\n', 0};
        s += std::to_string(m);
        s += word;
      }
    }
  }
  return s + "\n";
}

// Ages of a mean with S0 90 and R 75, to a tenth of a year.
double age_90_75(double mean) {
  return std::round(std::log10(mean / 90.0) / (2.0 * std::log10(0.75)) * 10000.0) / 10.0;
}

TEST(Calibrate, FitsNodesOfAnyDepthWhateverTheLevel) {
  char ages[160];
  // A byte-order mark, a full path and a last component.
  std::snprintf(ages, sizeof ages, "\xEF\xBB\xBFT,F1\t%.1f\nF2\t%.1f\n", age_90_75(80), age_90_75(50));
  for (const int level : {0, 1, 2}) {
    StringSource in(calibration_stream(92, 72, level));
    StringSink out, err;
    EXPECT_EQ(calibrate_program(in, out, err, ages), 0) << err.data;
    EXPECT_NE(out.data.find("\nS0 90 ("), std::string::npos) << out.data;
    EXPECT_NE(out.data.find("), R 75 ("), std::string::npos) << out.data;
    EXPECT_NE(out.data.find("\"    90    75\""), std::string::npos) << out.data;
    // F1: depth 2, 1 pair, 80 %; the fitted integers give its age back,
    // rounded, 0 years from the known one.
    EXPECT_NE(out.data.find("T,F1      2         1      80.00%         205         205           0\n"),
              std::string::npos)
        << out.data;
    EXPECT_NE(out.data.find("the fitted ages keep the nesting\n"), std::string::npos) << out.data;
    EXPECT_EQ(err.data, "");
  }

  // One known age: R for the run's S0.
  std::snprintf(ages, sizeof ages, "F2\t%.1f\n", age_90_75(50));
  StringSource one(calibration_stream(90, 50, 1));
  StringSink out1, err1;
  EXPECT_EQ(calibrate_program(one, out1, err1, ages), 0) << err1.data;
  EXPECT_NE(out1.data.find("\nS0 90 (90.0000, the run's), R 75 ("), std::string::npos) << out1.data;
}

TEST(Calibrate, DrawsTheTreeItDatesWithTheFitOrNothing) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "plix_calibrated_tree";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  RunOptions options;
  options.tree = (dir / "t.nwk").string();
  options.svg = (dir / "t.svg").string();
  char ages[160];
  std::snprintf(ages, sizeof ages, "F1\t%.1f\nF2\t%.1f\n", age_90_75(80), age_90_75(50));
  {
    // A name the run lacks: no table and no file.
    StringSource in(calibration_stream(92, 72, 1));
    StringSink out, err;
    EXPECT_EQ(calibrate_program(in, out, err, std::string(ages) + "F9\t100\n", &options), 1);
    EXPECT_EQ(out.data, "");
    EXPECT_TRUE(entries(dir).empty());
  }
  StringSource in(calibration_stream(92, 72, 1));
  StringSink out, err;
  ASSERT_EQ(calibrate_program(in, out, err, ages, &options), 0) << err.data;
  EXPECT_EQ(entries(dir), (std::vector<std::string>{"t.nwk", "t.nwk.names", "t.svg"}));
  // F1's 80 % is 205 years with the fitted S0 90 and R 75 (213 with the
  // stream's 92 and 72); F2's 50 % is known as 1021.6 years.
  EXPECT_NE(slurp(dir / "t.nwk").find("F1[&pairs=1,similarity=80.00,age=205,"), std::string::npos);
  const std::string svg = slurp(dir / "t.svg");
  EXPECT_NE(svg.find("S0 = 90%, R = 75%"), std::string::npos);
  EXPECT_NE(svg.find("Calibrated (red triangles): F1 205 BP, F2 1022 BP"), std::string::npos);
  std::size_t marks = 0;
  for (std::size_t at = 0; (at = svg.find("class=\"calibration\"", at)) != std::string::npos; ++at) ++marks;
  EXPECT_EQ(marks, 2u);
  std::filesystem::remove_all(dir);
}

TEST(Calibrate, NamesTheNestingItContradicts) {
  // T, whose four pairs average 75 %, holds F2 of 50 %: whatever R, F2
  // comes out the older.
  StringSource in(calibration_stream(90, 75, 1));
  StringSink out, err;
  EXPECT_EQ(calibrate_program(in, out, err, "T\t1000\nF1\t500\nF2\t3000\n"), 0) << err.data;
  EXPECT_EQ(out.data.find("the fitted ages keep the nesting"), std::string::npos) << out.data;
  EXPECT_NE(out.data.find("contradicts the nesting: T ("), std::string::npos) << out.data;
  EXPECT_NE(out.data.find("BP) holds F2 ("), std::string::npos) << out.data;
  EXPECT_EQ(out.data.find("holds F1"), std::string::npos) << out.data;
}

TEST(Calibrate, RefusesUnusableAgesBeforeWritingAnything) {
  const struct {
    const char* ages;
    std::string message;
  } cases[] = {
      {"F1\t0\n", "line 1: the age \"0\" of \"F1\" is not a finite number of years above 0"},
      {"F1\t-5\n", "line 1: the age \"-5\" of \"F1\" is not a finite number of years above 0"},
      {"F1\tnan\n", "line 1: the age \"nan\" of \"F1\" is not a finite number of years above 0"},
      {"F1\tinf\n", "line 1: the age \"inf\" of \"F1\" is not a finite number of years above 0"},
      {"F1\t12x\n", "line 1: the age \"12x\" of \"F1\" is not a finite number of years above 0"},
      {"F1 100\n", "line 1: expected a node, a TAB and an age in years before present"},
      {"F1\t100\n# note\nF1\t200\n", "line 3: \"F1\" is given again (first on line 1)"},
      {"F1\t100\nT,F1\t200\n", "line 2: \"T,F1\" is the node of \"F1\" on line 1"},
      {"f\t100\n", "line 1: \"f\" is no node of the classification; nodes with that in their "
                    "name: \"T,F1\", \"T,F2\""},
      {"Polynesian\t100\n", "line 1: \"Polynesian\" is no node of the classification"},
  };
  for (const auto& c : cases) {
    StringSource in(calibration_stream(90, 75, 1));
    StringSink out, err;
    EXPECT_EQ(calibrate_program(in, out, err, c.ages), 1) << c.ages;
    EXPECT_EQ(out.data, "") << c.ages;
    EXPECT_EQ(err.data, "plix62c: ages file, " + c.message + "\n") << c.ages;
  }
}

TEST(Calibrate, StandardErrorsOfTheWeightedLine) {
  // log10(mean / 100) = -0.1, -0.3, -0.4 at 1, 2 and 3 thousand years: the
  // line 1/30 - 0.15 t, residuals 1/60, -1/30, 1/60, so sigma^2 = 1/600,
  // SE(slope) = sqrt(sigma^2 / 2), SE(intercept) = sqrt(sigma^2 (1/3 + 4/2)).
  CalibrationPoint points[3] = {{static_cast<float>(100 * std::pow(10.0, -0.1)), 1000, 1},
                                {static_cast<float>(100 * std::pow(10.0, -0.3)), 2000, 1},
                                {static_cast<float>(100 * std::pow(10.0, -0.4)), 3000, 1}};
  const double s0 = 100 * std::pow(10.0, 1.0 / 30), r = 100 * std::pow(10.0, -0.075);
  const double ln10 = std::log(10.0);
  for (const double weight : {1.0, 7.0}) {  // the same weight on all points changes nothing
    for (CalibrationPoint& p : points) p.weight = weight;
    const RetentionFit fit = fit_retention(points, 3, 90);
    ASSERT_EQ(fit.problem, "");
    EXPECT_NEAR(fit.s0, s0, 1e-4);
    EXPECT_NEAR(fit.r, r, 1e-4);
    EXPECT_NEAR(fit.r_error, r * ln10 * std::sqrt(1.0 / 1200) / 2, 1e-4);
    EXPECT_NEAR(fit.s0_error, s0 * ln10 * std::sqrt(7.0 / 1800), 1e-3);
  }
  // A heavy point draws the line to itself.
  points[0].weight = 1e6;
  const RetentionFit heavy = fit_retention(points, 3, 90);
  EXPECT_NEAR(std::log10(heavy.s0 / 100) + 2 * std::log10(heavy.r / 100), -0.1, 1e-4);
  // Two points leave no residual to estimate an error from.
  EXPECT_TRUE(std::isnan(fit_retention(points, 2, 90).r_error));
}

}  // namespace
}  // namespace plix
