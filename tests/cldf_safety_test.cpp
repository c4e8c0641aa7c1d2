// Whatever bytes a dataset's names, IDs and paths hold, every language the
// importer says it wrote reaches the run: no header may end the database or
// pass for a word record.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "cldf/names.h"
#include "tests/programs.h"

namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void write(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

// The character of that value: ASCII as itself, 0x80..0xFF as the UTF-8 of
// the code point (a raw byte above 0x7F is not UTF-8, which the readers reject).
std::string character(int value) {
  if (value < 0x80) return std::string(1, static_cast<char>(value));
  return {static_cast<char>(0xC0 | (value >> 6)), static_cast<char>(0x80 | (value & 0x3F))};
}

std::string quoted(const std::string& cell) {
  std::string q = "\"";
  for (char c : cell) q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}

struct Lang {
  std::string id, name, family;
};

const char* kMetadata = R"({"tables": [
  {"url": "forms.csv", "dc:conformsTo": "http://cldf.clld.org/v1.0/terms.rdf#FormTable"},
  {"url": "languages.csv", "dc:conformsTo": "http://cldf.clld.org/v1.0/terms.rdf#LanguageTable"}]})";

// A dataset of these languages, each with the words of two meanings.
fs::path dataset(const std::string& name, const std::vector<Lang>& langs) {
  fs::path d = fs::path(::testing::TempDir()) / ("cldf-safety-" + name + "-" + std::to_string(getpid()));
  fs::remove_all(d);
  std::string languages = "ID,Name,Family\n", forms = "ID,Language_ID,Parameter_ID,Form,Segments\n";
  int row = 0;
  for (const Lang& l : langs) {
    languages += quoted(l.id) + "," + quoted(l.name) + "," + quoted(l.family) + "\n";
    forms += std::to_string(++row) + "," + quoted(l.id) + ",fish,pa,p a\n";
    forms += std::to_string(++row) + "," + quoted(l.id) + ",water,ti,t i\n";
  }
  write(d / "cldf-metadata.json", kMetadata);
  write(d / "languages.csv", languages);
  write(d / "forms.csv", forms);
  write(d / "concepts.tsv", "number\tgloss\tids\n19\tfish\tfish\n75\twater\twater\n");
  return d;
}

long number_before(const std::string& text, const std::string& label, const std::string& what) {
  std::size_t at = text.find(label);
  if (at == std::string::npos) return -1;
  std::size_t end = text.find(what, at);
  if (end == std::string::npos) return -1;
  std::size_t begin = text.rfind(' ', end - 2) + 1;
  return std::atol(text.substr(begin, end - begin).c_str());
}

struct Outcome {
  int rc;
  std::string stream, summary;
  long written = -1, run_read = -1, run_kept = -1;
};

// Imports the dataset (a name that begins with '*' would be a reconstruction:
// all are kept) and, when that succeeds, lets plix62c --check read the stream.
Outcome import_and_check(const fs::path& d) {
  Outcome o;
  std::string cmd = plix::program_command(PLIX62C_CLDF_BINARY) + " --keep-proto --concepts " + (d / "concepts.tsv").string() + " " +
                    d.string() + " >" + (d / "stream").string() + " 2>" + (d / "summary").string();
  o.rc = WEXITSTATUS(std::system(cmd.c_str()));
  o.stream = slurp(d / "stream");
  o.summary = slurp(d / "summary");
  if (o.rc != 0) return o;
  o.written = number_before(o.summary, "languages: ", " written");
  std::system((plix::program_command(PLIX62C_BINARY) + " --check <" + (d / "stream").string() + " >" + (d / "check").string() +
               " 2>&1")
                  .c_str());
  std::string check = slurp(d / "check");
  std::size_t at = check.rfind("\nlanguages: ");
  if (at == std::string::npos) return o;
  check = check.substr(at + 1);
  o.run_read = number_before(check, "languages: ", " read");
  o.run_kept = number_before(check, "languages: ", " kept");
  return o;
}

TEST(CldfSafety, EveryByteAtTheStartOfANameOrIdReachesTheRun) {
  std::vector<Lang> langs;
  for (int b = 0; b < 256; ++b) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%02x", b);
    langs.push_back({std::string("n") + hex, character(b) + "Bel", "F"});
    langs.push_back({character(b) + "i" + hex, "", "F"});  // no name: the ID names it
  }
  Outcome o = import_and_check(dataset("bytes", langs));
  ASSERT_EQ(o.rc, 0) << o.summary;
  EXPECT_EQ(o.written, 512) << o.summary;
  EXPECT_EQ(o.run_read, 512);
  EXPECT_EQ(o.run_kept, 512);
  // No header starts with a blank, a control character or a digit.
  std::stringstream lines(o.stream);
  for (std::string l; std::getline(lines, l);) {
    if (l.find('|') == std::string::npos || l.find('@') == std::string::npos) continue;
    const unsigned char c = static_cast<unsigned char>(l[0]);
    EXPECT_TRUE(c > ' ' && c != 0x7F && !(c >= '0' && c <= '9')) << l;
  }
}

// Random small datasets whose names, IDs and families are drawn from all 256
// characters: the import fails with a message and no stream, or the run
// reads as many languages as the summary says were written.
TEST(CldfSafety, RandomDatasetsLoseNoLanguage) {
  std::mt19937 random(2024);
  auto text = [&](int most) {
    std::string s;
    for (int n = std::uniform_int_distribution<int>(0, most)(random); n > 0; --n)
      s += character(std::uniform_int_distribution<int>(0, 255)(random));
    return s;
  };
  int imported = 0;
  for (int round = 0; round < 24; ++round) {
    std::vector<Lang> langs;
    for (int k = std::uniform_int_distribution<int>(2, 8)(random); k > 0; --k)
      langs.push_back({text(4) + std::to_string(k), text(6), text(5)});
    Outcome o = import_and_check(dataset("random" + std::to_string(round), langs));
    if (o.rc != 0) {
      EXPECT_EQ(o.rc, 1) << o.summary;
      EXPECT_EQ(o.stream, "");
      EXPECT_NE(o.summary.find("plix62c-cldf: "), std::string::npos);
      continue;
    }
    ++imported;
    EXPECT_EQ(o.written, static_cast<long>(langs.size())) << round << "\n" << o.summary;
    EXPECT_EQ(o.run_read, o.written) << round << "\n" << o.stream;
    EXPECT_EQ(o.run_kept, o.written) << round << "\n" << o.stream;
  }
  EXPECT_GT(imported, 12);  // most datasets are valid: the comparison is made
}

TEST(CldfSafety, HeaderNamesAreReadableAndTheCutSparesTheId) {
  using plix::cldf::Language;
  struct Case {
    std::string name, id;
    bool with_id;
    std::string header;
  };
  const std::vector<std::string> path = {"Austronesian", "Polynesian"};
  const Case cases[] = {
      {"Reo Rarotongan", "rar", false, "Reo Rarotongan|Austronesian,Polynesian@"},
      {"Reo Rarotongan", "rar", true, "Reo Rarotongan (rar)|Austronesian,Polynesian@"},
      {" Bel\t", "bel", false, "Bel_|Austronesian,Polynesian@"},  // the TAB is '_' before the trim
      {"A|B@C", "x\x7fy", true, "A_B_C (x_y)|Austronesian,Polynesian@"},
      {"  ", "", false, "_|Austronesian,Polynesian@"},
  };
  for (const Case& c : cases) {
    Language l;
    l.name = c.name;
    l.id = c.id;
    l.path = path;
    EXPECT_EQ(plix::cldf::header_record(l, plix::cldf::display_name(l), c.with_id), c.header) << c.name;
  }
  // Three components of 100 letters take 302 columns; '|', '@' and " (Ra'ivavae)"
  // 14 more: 84 of the name's 100 letters remain, and the record has 400 columns.
  Language l;
  l.name = std::string(100, 'n');
  l.id = "Ra'ivavae";
  l.path = {std::string(100, 'x'), std::string(100, 'y'), std::string(100, 'z')};
  std::string want = std::string(84, 'n') + " (Ra'ivavae)|" + l.path[0] + "," + l.path[1] + "," + l.path[2] + "@";
  EXPECT_EQ(plix::cldf::header_record(l, plix::cldf::display_name(l), true), want);
}

}  // namespace
