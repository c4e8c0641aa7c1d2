// The dated tree: every node of depth L carries the numbers a run at LEVEL L
// prints for it, on the shipped examples, a generated database of four
// levels and a database of odd keys; the Newick shape of the small example;
// the picture; a pair the tree cannot date.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "tests/files.h"
#include "run/options.h"
#include "tests/programs.h"
#include "tests/svg_check.h"
#include "tests/whole_run.h"

namespace plix {
namespace {

namespace fs = std::filesystem;

std::string command_output(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[65536];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  pclose(pipe);
  return out;
}

// (pairs, mean, age or -1e9 when none): what a node block or a tree node says.
using Numbers = std::tuple<long, double, long>;
constexpr long NO_AGE = -1000000000;

// The pairs lines of a report: "     40  PAIRS   54.10%   1100 BP".
std::vector<Numbers> report_numbers(const std::string& out) {
  std::vector<Numbers> blocks;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t at = line.find("  PAIRS");
    if (at == std::string::npos || line.find('%') == std::string::npos) continue;
    const long pairs = std::stol(line.substr(0, at));
    const double mean = std::strtod(line.c_str() + at + 7, nullptr);
    const std::size_t bp = line.find(" BP");
    const long age = bp == std::string::npos ? NO_AGE : std::stol(line.substr(line.find('%') + 1));
    blocks.emplace_back(pairs, mean, age);
  }
  std::sort(blocks.begin(), blocks.end());
  return blocks;
}

// A Newick reader for the program's trees: every internal node's depth and
// numbers, and the leaves.
struct NewickReader {
  std::string text;
  std::size_t at = 0;
  std::vector<std::vector<Numbers>> by_depth;
  std::vector<std::string> leaves;
  bool ok = true;

  // A name, quoted ('' inside for ') or not; a length is skipped.
  std::string name() {
    std::string s;
    if (text[at] != '\'') {
      while (at < text.size() && std::string_view("(),:;[").find(text[at]) == std::string::npos)
        s += text[at++];
      return s;
    }
    for (++at; at < text.size() && (text[at] != '\'' || text[at + 1] == '\''); ++at)
      at += text[at] == '\'';
    return s += text[at++];  // the text itself is not needed
  }
  void length() {
    if (text[at] == ':') at = text.find_first_not_of("-.0123456789", at + 1);
  }
  void node(int depth) {
    if (text[at] != '(') {
      leaves.push_back(name());
      return length();
    }
    do {
      ++at;
      node(depth + 1);
    } while (ok && text[at] == ',');
    if (text[at] != ')') {
      ok = false;
      return;
    }
    ++at;
    name();
    const std::size_t end = text.find(']', at);
    if (text.compare(at, 8, "[&pairs=") != 0 || end == std::string::npos) {
      ok = false;
      return;
    }
    const std::string note = text.substr(at + 8, end - at - 8);
    at = end + 1;
    length();
    const long pairs = std::stol(note);
    if (pairs == 0) return;
    const std::size_t s = note.find(",similarity="), a = note.find(",age=");
    if (s == std::string::npos) ok = false;
    if (static_cast<int>(by_depth.size()) <= depth) by_depth.resize(depth + 1);
    by_depth[depth].emplace_back(pairs, std::strtod(note.c_str() + s + 12, nullptr),
                                 a == std::string::npos ? NO_AGE : std::stol(note.substr(a + 5)));
  }
  explicit NewickReader(std::string t) : text(std::move(t)) {
    node(0);
    ok = ok && text.substr(at) == ";\n";
    for (auto& d : by_depth) std::sort(d.begin(), d.end());
  }
};

// The input with LEVEL (columns 19-24 of the first record) set to `level`.
std::string at_level(std::string input, int level) {
  char field[16];
  std::snprintf(field, sizeof field, "%6d", level);
  input.replace(18, 6, field);
  return input;
}

std::string gendb() { return (fs::path(PLIX62C_BINARY).parent_path() / "tools" / "gendb").string(); }

fs::path scratch_file(const std::string& name) {
  return fs::temp_directory_path() / ("plix_tree_" + name + "_" + std::to_string(getpid()));
}

// Runs with --tree and checks every depth against a run at that LEVEL.
void check_levels(const std::string& input, const std::string& what, int languages) {
  const fs::path file = scratch_file("levels");
  RunOptions options;
  options.tree = file.string();
  StringSource in(input);
  StringSink out, err;
  ASSERT_EQ(run_program(in, out, err, options), 0) << what << err.data;
  const NewickReader tree(slurp(file));
  fs::remove(file);
  ASSERT_TRUE(tree.ok) << what << ": " << tree.text.substr(0, tree.at + 1);
  EXPECT_EQ(static_cast<int>(tree.leaves.size()), languages) << what;
  const int depths = static_cast<int>(tree.by_depth.size());
  EXPECT_GE(depths, 2) << what;
  for (int level = 0; level <= depths; ++level) {
    const std::vector<Numbers> expected = report_numbers(run_whole(at_level(input, level)).out);
    const std::vector<Numbers> none;
    EXPECT_EQ(level < depths ? tree.by_depth[level] : none, expected) << what << ", LEVEL " << level;
  }
}

std::string figure(const char* code) { return std::string(26, ' ') + "1000" + std::string(9, ' ') + code; }

// A database of odd keys: a dropped language that founds a group, equal
// keys, an empty component, short paths, blanks, tops that share letters
// but no comma, keys cut at 400 columns (one inside its code).
std::string odd_keys() {
  std::string s = "     1     2  1000     1    92    72\n(I3)\n  1\n  2\n  3\n  0\n";
  for (const char c : std::string("patikumn")) s += std::string(1, c) + "\n";
  s += "\nWORD LISTS\n";
  const char* words[] = {"pata", "kimu", "nuka", "pat", "kima", "nuku", "mata", "kinu", "tuka",
                         "tapi", "muna", "kapu", "nipa", "tumi", "pana", "kuta", "mina"};
  const std::string longpath = [] {
    std::string p = "A,B,";
    while (p.size() < 380) p += "k,";
    return p;
  }();
  struct Language {
    std::string header;
    const char* code;
    int records;
  } languages[] = {
      {"Dropped{|Q,R@", "dd1", 1},  {"One{|A,B,C@", "aa1", 3},   {"Two{|A,B,C@", "aa1", 3},
      {"Three{|A,B,D@", "aa2", 3},  {"Four{|A,,E@", "aa3", 3},   {"Five{|A,,E@", "aa4", 3},
      {"Six{|A@", "aa5", 3},        {"Seven{|A,B@", "aa6", 3},   {"Eight{|Q,R,S@", "qq1", 3},
      {"Skipped{|@", "ss1", 3},     {"Nine{|Q,R,T@", "qq2", 3},  {"Ten{|A,B C,x@", "aa7", 3},
      {"Eleven{|A,B C,y@", "aa8", 3}, {"Twelve{|Ab,X@", "ab1", 3}, {"Thirteen{|Ac,Y@", "ac1", 2},
      {"|" + longpath + std::string(399 - longpath.size() - 1, 'm') + "q", "lp1", 3},
      {"|" + longpath + std::string(399 - longpath.size() - 1, 'm') + "r", "lp2", 3},
      {"C|" + longpath + std::string(398 - longpath.size(), 'n'), "lp3", 3},
      {"Cut|" + longpath + std::string(396 - longpath.size(), 'n'), "lp4", 3},
  };
  int w = 0;
  for (const Language& l : languages) {
    s += l.header + "\n" + figure(l.code) + "\n";
    for (int m = 1; m <= l.records; ++m) s += std::to_string(m) + "\t" + words[w++ % 17] + "\n";
  }
  return s + "\n";
}

TEST(Tree, EveryDepthCarriesTheNumbersOfARunAtThatLevel) {
  const fs::path examples = fs::path(PLIX_SOURCE_DIR) / "examples";
  check_levels(slurp(examples / "families.txt"), "families.txt", 27);
  check_levels(slurp(examples / "small.txt"), "small.txt", 3);
  check_levels(slurp(examples / "generated.txt"), "generated.txt", 300);
  check_levels(odd_keys(), "odd keys", 17);
  if (!fs::exists(gendb())) GTEST_SKIP() << "gendb not built";
  check_levels(command_output(program_command(gendb()) + " --languages 150 --families 3 --level 3 --meanings 12 "
                                      "--synonyms 2 --seed 5"),
               "gendb, four levels", 150);
}

// A Newick tree read without recursion: every node's label, annotation and
// length in thousandths; children come after their parent.
struct ParsedNode {
  int parent = -1;
  std::string label, note;
  bool has_length = false;
  long long length = 0;
  bool leaf = true;
};
struct ParsedTree {
  std::vector<ParsedNode> nodes;
  bool ok = false;
};

ParsedTree parse_newick(const std::string& text) {
  ParsedTree tree;
  std::size_t at = 0;
  std::vector<int> open;
  // Label, annotation and length after a node; false on a malformed length.
  auto finish = [&](ParsedNode& node) {
    while (at < text.size() && std::string_view("(),:;[]'").find(text[at]) == std::string::npos)
      node.label += text[at++];
    if (at < text.size() && text[at] == '[') {
      const std::size_t end = text.find(']', at);
      if (end == std::string::npos || text.compare(at, 2, "[&") != 0) return false;
      node.note = text.substr(at + 2, end - at - 2);
      at = end + 1;
    }
    if (at >= text.size() || text[at] != ':') return true;
    const bool negative = text[++at] == '-';
    at += negative;
    const std::size_t point = text.find_first_not_of("0123456789", at);
    if (point == at || point == std::string::npos || text[point] != '.' ||
        text.find_first_not_of("0123456789", point + 1) != point + 4)
      return false;
    node.has_length = true;
    node.length = (std::stoll(text.substr(at, point - at)) * 1000 + std::stoll(text.substr(point + 1, 3))) *
                  (negative ? -1 : 1);
    at = point + 4;
    return true;
  };
  bool expect_node = true;
  while (at < text.size()) {
    if (expect_node) {
      tree.nodes.emplace_back();
      tree.nodes.back().parent = open.empty() ? -1 : open.back();
      if (text[at] == '(') {
        tree.nodes.back().leaf = false;
        open.push_back(static_cast<int>(tree.nodes.size()) - 1);
        ++at;
        continue;
      }
      if (!finish(tree.nodes.back())) return tree;
      expect_node = false;
    } else if (text[at] == ',' && !open.empty()) {
      ++at;
      expect_node = true;
    } else if (text[at] == ')' && !open.empty()) {
      ++at;
      const int t = open.back();
      open.pop_back();
      if (!finish(tree.nodes[t])) return tree;
    } else {
      break;
    }
  }
  tree.ok = open.empty() && !expect_node && text.compare(at, 1, ";") == 0;
  return tree;
}

// The value of `key` in an annotation "a=1,b={2,3}", or "" when absent.
std::string note_value(const std::string& note, const std::string& key) {
  std::size_t at = 0;
  while (at < note.size()) {
    std::size_t end = note.find(',', at);
    if (note.compare(at, key.size() + 2, key + "={") == 0) end = note.find('}', at) + 1;
    if (end == std::string::npos) end = note.size();
    if (note.compare(at, key.size() + 1, key + "=") == 0)
      return note.substr(at + key.size() + 1, end - at - key.size() - 1);
    at = end + 1;
  }
  return "";
}

// Checks the tree files' rules on a written tree: every branch has a
// length; a node stands, measured from its languages, at its age, or where
// it is undated at the oldest age dated below it (languages are of age
// 0), and says dated=false; weak nodes are flagged; labels are safe names.
void check_branch_rules(const std::string& text, int languages, const std::string& what) {
  const ParsedTree tree = parse_newick(text);
  ASSERT_TRUE(tree.ok) << what;
  const int count = static_cast<int>(tree.nodes.size());
  std::vector<long long> height(count, 0), oldest(count, 0);
  std::vector<bool> seen(count, false);
  int leaves = 0;
  for (int t = count - 1; t >= 0; --t) {
    const ParsedNode& node = tree.nodes[t];
    for (const char ch : node.label) {
      const unsigned char c = static_cast<unsigned char>(ch);
      EXPECT_TRUE(std::isalnum(c) || c == '.' || c == '_' || c >= 0x80) << what << ": " << node.label;
    }
    EXPECT_EQ(node.has_length, t != 0) << what << ": " << node.label;
    leaves += node.leaf;
    if (!node.leaf) {
      const std::string age = note_value(node.note, "age");
      const long pairs = std::stol(note_value(node.note, "pairs"));
      EXPECT_EQ(note_value(node.note, "weak") == "true", pairs > 0 && pairs < 3) << what << node.note;
      EXPECT_EQ(note_value(node.note, "dated") == "false", age.empty()) << what << node.note;
      EXPECT_EQ(height[t], age.empty() ? oldest[t] : std::stoll(age)) << what << ": " << node.label;
      if (!age.empty()) oldest[t] = std::max(oldest[t], std::stoll(age));
    }
    if (node.parent < 0) continue;
    const long long through = height[t] + node.length;
    if (seen[node.parent]) {
      EXPECT_EQ(height[node.parent], through) << what << ": " << node.label;
    }
    seen[node.parent] = true;
    height[node.parent] = through;
    oldest[node.parent] = std::max(oldest[node.parent], oldest[t]);
  }
  EXPECT_EQ(leaves, languages) << what;
}

std::string run_tree(const std::string& input, RunOptions options, const std::string& what) {
  const fs::path file = scratch_file("rules");
  options.tree = file.string();
  StringSource in(input);
  StringSink out, err;
  EXPECT_EQ(run_program(in, out, err, options), 0) << what << err.data;
  const std::string text = slurp(file);
  fs::remove(file);
  fs::remove(file.string() + ".names");
  return text;
}

// A database whose names and groups hold every character Newick, NEXUS and
// XML treat specially, control bytes and invalid UTF-8.
std::string hostile_names() {
  std::string s = "     1     2  1000     1    92    72\n(I3)\n  1\n  2\n  3\n  0\n";
  for (const char c : std::string("patikumn")) s += std::string(1, c) + "\n";
  s += "\nWORD LISTS\n";
  const char* groups[] = {"Q'uo\"te (x)", "co:lon;semi", "[br]ack{e}t\tTAB", "ctl\x01\x7f bad\xff\xc3(",
                          "&amp <lt> = 'a'"};
  const char* words[] = {"pata", "kimu", "nuka", "pat", "kima", "nuku", "mata", "kinu", "tuka"};
  for (int l = 0; l < 6; ++l) {
    const std::string number = std::to_string(l), code = "c" + number + "x";
    for (const std::string& part : {std::string(groups[l % 5]), number, std::string(" |"),
                                    std::string(groups[(l / 2) % 2]), std::string(","),
                                    std::string(groups[2 + (l / 2) % 3]), std::string(","),
                                    std::string(groups[l % 5]), std::string("@\n"),
                                    figure(code.c_str()), std::string("\n")})
      s.append(part);
    for (int m = 1; m <= 3; ++m) s.append(std::to_string(m)).append("\t").append(words[(l * 4 + m) % 9]).append("\n");
  }
  return s + "\n";
}

TEST(Tree, EveryBranchHasALengthFromTheStandingAges) {
  const fs::path examples = fs::path(PLIX_SOURCE_DIR) / "examples";
  struct Case {
    std::string what, input;
    int languages;
  } cases[] = {
      {"island-family.txt", slurp(examples / "island-family.txt"), 21},
      {"families.txt", slurp(examples / "families.txt"), 27},
      {"odd keys", odd_keys(), 17},
      {"hostile names", hostile_names(), 6},
  };
  for (const Case& c : cases) {
    const std::string text = run_tree(c.input, {}, c.what);
    EXPECT_EQ(text.find('\''), std::string::npos) << c.what;
    check_branch_rules(text, c.languages, c.what);
  }
}

// The TREES block of --nexus is the Newick tree after the distances.
TEST(Tree, NexusFileEndsWithTheTree) {
  const std::string input = slurp(fs::path(PLIX_SOURCE_DIR) / "examples" / "island-family.txt");
  const fs::path file = scratch_file("nexus");
  RunOptions options;
  options.nexus = file.string();
  const std::string tree = run_tree(input, options, "nexus");
  const std::string nexus = slurp(file);
  fs::remove(file);
  fs::remove(file.string() + ".names");
  const std::string block = "END;\nBEGIN TREES;\n  TREE classification = [&R] " +
                            tree + "END;\n";
  ASSERT_GE(nexus.size(), block.size());
  EXPECT_EQ(nexus.substr(nexus.size() - block.size()), block);
  EXPECT_NE(nexus.find("BEGIN DISTANCES;"), std::string::npos);
}

// R's ape reads the whole tree, from the Newick file and from the NEXUS
// one: a length on every branch, the names as the key has them, no quotes.
TEST(Tree, ApeReadsEveryLengthAndName) {
  if (std::system("Rscript -e 'library(ape)' >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "Rscript with ape is not installed (Debian packages r-base-core r-cran-ape)";
  const fs::path tree = scratch_file("ape.tree"), nexus = scratch_file("ape.nex");
  const std::string run = program_command(PLIX62C_BINARY) + " --tree " + tree.string() + " --nexus " +
                          nexus.string() + " <" + PLIX_SOURCE_DIR + "/examples/island-family.txt >/dev/null";
  ASSERT_EQ(std::system(run.c_str()), 0);
  const std::string script =
      "library(ape); key <- read.delim('" + tree.string() + ".names', quote = '');"
      "for (t in list(read.tree('" + tree.string() + "'), read.nexus('" + nexus.string() + "'))) {"
      "  stopifnot(length(t$edge.length) == nrow(t$edge), !anyNA(t$edge.length),"
      "            setequal(t$tip.label, key$name), Ntip(t) == 21,"
      "            !any(grepl(\"'\", t$node.label)), 'Nuclear_Ocean_Polynesian' %in% t$node.label)"
      "}; cat('read whole')";
  const fs::path program = scratch_file("ape.R");
  std::ofstream(program) << script;
  const std::string said = command_output("Rscript " + program.string() + " 2>&1");
  for (const fs::path& p : {tree, nexus, program}) {
    fs::remove(p);
    fs::remove(p.string() + ".names");
  }
  EXPECT_NE(said.find("read whole"), std::string::npos) << said;
}

// The small example: LANGA in F,G1; LANGB and LANGC in F,G2. The root holds
// no pair (all share F); F holds A-B and A-C, the report's 2 pairs at
// 72.08% and 371 BP, so LANGA hangs 0.371 below it; G2 holds B-C.
TEST(Tree, SmallExampleShape) {
  const fs::path file = scratch_file("small");
  RunOptions options;
  options.tree = file.string();
  StringSource in(slurp(fs::path(PLIX_SOURCE_DIR) / "examples" / "small.txt"));
  StringSink out, err;
  ASSERT_EQ(run_program(in, out, err, options), 0);
  const std::string tree = slurp(file);
  fs::remove(file);
  const std::string head = "((LANGA_X:0.371,(LANGB_X:";
  const std::string tail = ")[&pairs=0,dated=false];\n";
  EXPECT_EQ(tree.substr(0, head.size()), head) << tree;
  EXPECT_NE(tree.find(")G2[&pairs=1,similarity="), std::string::npos) << tree;
  EXPECT_NE(tree.find(")F[&pairs=2,similarity=72.08,age=371,weak=true]:"), std::string::npos) << tree;
  ASSERT_GE(tree.size(), tail.size());
  EXPECT_EQ(tree.substr(tree.size() - tail.size()), tail) << tree;
}

// Each rule of the layout on an example made to provoke it: long names and
// one-child chains (odd keys: a chain of 190 groups), names of every kind
// of character, a node dated younger than a group below it and a dialect
// dated below 0 (the island family), more than 500 languages.
TEST(Tree, PictureTextsStayApartAndInsideTheCanvas) {
  const fs::path examples = fs::path(PLIX_SOURCE_DIR) / "examples";
  struct Case {
    std::string what, input;
    std::vector<std::string> expected;  // texts that show the rule at work
  } cases[] = {
      {"island-family.txt", slurp(examples / "island-family.txt"),
       {"class=\"younger\"", "class=\"conflict\"", "Ancestral Ocean Stock \xE2\x80\xBA \xE2\x80\xA6 \xE2\x80\xBA Remote Island Branch \xE2\x80\xBA Central Ocean-Polynesian ",
        ">Tahitic \xE2\x80\xBA Tahitic Proper ", "class=\"weak\""}},
      {"odd keys", odd_keys(), {">k \xE2\x80\xBA \xE2\x80\xA6 \xE2\x80\xBA k \xE2\x80\xBA k undated<"}},
      {"hostile names", hostile_names(),
       {">&amp;amp &lt;lt&gt; = 'a' ", ">[br]ack{e}t?TAB ", "co:lon;semi \xE2\x80\xBA ctl?? bad\xEF\xBF\xBD\xEF\xBF\xBD( "}},
      {"gendb 640",
       fs::exists(gendb())
           ? command_output(program_command(gendb()) + " --languages 640 --families 20 --meanings 6")
           : "",
       {"are drawn as one row each"}},
  };
  for (const Case& c : cases) {
    if (c.input.empty()) continue;
    const fs::path file = scratch_file("layout");
    RunOptions options;
    options.svg = file.string();
    StringSource in(c.input);
    StringSink out, err;
    ASSERT_EQ(run_program(in, out, err, options), 0) << c.what << err.data;
    const std::string svg = slurp(file);
    fs::remove(file);
    EXPECT_EQ(svg_layout_faults(svg), "") << c.what;
    for (const std::string& e : c.expected) EXPECT_NE(svg.find(e), std::string::npos) << c.what << ": " << e;
    if (std::system("command -v xmllint >/dev/null 2>&1") == 0) {
      std::ofstream(file, std::ios::binary) << svg;
      EXPECT_EQ(std::system(("xmllint --noout " + file.string()).c_str()), 0) << c.what;
      fs::remove(file);
    }
  }
}

TEST(Tree, PictureHasARowPerLanguageOrSaysItCollapsed) {
  struct Case {
    std::string input;
    int rows_at_most;
    bool collapsed;
    bool undated;  // the input has a node without an age to draw
  } cases[] = {
      {slurp(fs::path(PLIX_SOURCE_DIR) / "examples" / "families.txt"), 27, false, true},
      {fs::exists(gendb())
           ? command_output(program_command(gendb()) + " --languages 640 --families 20 --meanings 6")
           : std::string(),
       500, true, false},
  };
  for (const Case& c : cases) {
    if (c.input.empty()) continue;
    const fs::path file = scratch_file("svg");
    RunOptions options;
    options.svg = file.string();
    StringSource in(c.input);
    StringSink out, err;
    ASSERT_EQ(run_program(in, out, err, options), 0) << err.data;
    const std::string svg = slurp(file);
    fs::remove(file);
    // A row is a language name or a collapsed group: a text with only its place.
    const std::regex row("<text x=\"[0-9.]+\" y=\"[0-9.]+\">");
    const auto rows = std::distance(std::sregex_iterator(svg.begin(), svg.end(), row),
                                    std::sregex_iterator());
    EXPECT_LE(rows, c.rows_at_most);
    EXPECT_GE(rows, c.collapsed ? 100 : c.rows_at_most);
    EXPECT_EQ(svg.find("are drawn as one row each") != std::string::npos, c.collapsed);
    if (c.undated) {
      EXPECT_NE(svg.find("class=\"undated\""), std::string::npos);
    }
    EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n");
  }
}

// Two languages of one branch at LEVEL 1 that share no meaning: the report
// never compares them, the tree must; the run fails and leaves no tree.
TEST(Tree, APairWithoutASimilarityEndsTheRunAndLeavesNoFile) {
  const std::string input =
      "     1     1  1000     1    92    72\n(I3)\n  1\n  2\n  3\n  0\np\na\nt\ni\n\nWORD LISTS\n"
      "A |F,G@\n" + figure("aaa") + "\n1\tpata\n2\ttipa\n"
      "B |F,G@\n" + figure("bbb") + "\n3\tpati\n"
      "C |F,H@\n" + figure("ccc") + "\n1\tpat\n2\ttip\n3\tpit\n\n";
  const fs::path file = scratch_file("fault");
  RunOptions options;
  options.tree = file.string();
  StringSource in(input);
  StringSink out, err;
  EXPECT_EQ(run_program(in, out, err, options), 1);
  EXPECT_NE(err.data.find("plix62c: the tree needs the similarity of 'A' (code aaa, record 13) and "
                          "'B' (code bbb, record 17), which part at level 2, but it has no value"),
            std::string::npos)
      << err.data;
  EXPECT_FALSE(fs::exists(file));
}

}  // namespace
}  // namespace plix
