// The importer's readers: CSV, metadata, meaning table, Glottolog trees, and
// the analysis of segments into sounds and marks.
#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "cldf/classes.h"
#include "cldf/concepts.h"
#include "cldf/csv.h"
#include "cldf/error.h"
#include "cldf/glottolog.h"
#include "cldf/metadata.h"
#include "cldf/sounds.h"

namespace plix::cldf {
namespace {

std::string rows_of(std::string_view text) {
  std::string out;
  parse_csv(text, "t.csv", ',', [&](std::vector<std::string>& f, long line) {
    out += std::to_string(line) + ":";
    for (std::size_t k = 0; k < f.size(); ++k) out += (k ? "|" : "") + f[k];
    out += ";";
  });
  return out;
}

long error_line(const std::function<void()>& f) {
  try {
    f();
  } catch (const InputError& e) {
    return e.line();
  }
  return -1;
}

TEST(CldfCsv, Rfc4180RecordsWithTheirLines) {
  const std::pair<const char*, const char*> cases[] = {
      {"a,b\n1,2\n", "1:a|b;2:1|2;"},
      {"\xEF\xBB\xBFID,Form\r\nx, y \r\n", "1:ID|Form;2:x| y ;"},           // BOM, CR LF, blanks kept
      {"a\n\"q,\"\"x\"\"\",2\n", "1:a;2:q,\"x\"|2;"},                       // quotes, doubled quotes
      {"a\n\"two\nlines\",z\n\nnext,1", "1:a;2:two\nlines|z;5:next|1;"},  // line break inside, blank line
      {"a,,b\n,\n", "1:a||b;2:|;"},                                      // empty cells
  };
  for (const auto& [text, want] : cases) EXPECT_EQ(rows_of(text), want) << text;
}

TEST(CldfCsv, MalformedInputNamesTheLine) {
  EXPECT_EQ(error_line([] { rows_of("a,b\n1,\"open\n2,3\n"); }), 2);  // unterminated quote
  EXPECT_EQ(error_line([] { rows_of("a,b\n1,2\nx\"y\"z,3\n"); }), 3);   // stray quote
  EXPECT_EQ(error_line([] { rows_of("a,b\n1,2\n3,\xC3(\n"); }), 3);     // invalid UTF-8
}

TEST(CldfMetadata, TablesAndColumnsByTermThenName) {
  const char* json = R"({"dc:title": "T", "dc:license": {"url": "L"},
    "dialect": {"delimiter": ";"},
    "tables": [
      {"url": "f.csv", "dc:conformsTo": "http://cldf.clld.org/v1.0/terms.rdf#FormTable",
       "tableSchema": {"columns": [
         {"name": "Lang", "propertyUrl": "http://cldf.clld.org/v1.0/terms.rdf#languageReference"},
         {"name": "Language_ID"},
         {"name": "Segs", "propertyUrl": "http://cldf.clld.org/v1.0/terms.rdf#segments", "separator": " "}]}},
      {"url": "languages.csv", "dialect": {"delimiter": "\t"}}]})";
  Metadata m = parse_metadata(json, "m.json");
  EXPECT_EQ(m.title, "T");
  EXPECT_EQ(m.license, "L");
  const Table* f = m.table("FormTable");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->delimiter, ';');
  EXPECT_EQ(f->find("languageReference", "Language_ID")->name, "Lang");
  EXPECT_EQ(f->find("segments", "Segments")->separator, " ");
  EXPECT_EQ(f->find("", "segs")->name, "Segs");
  EXPECT_EQ(f->find("form", "Form"), nullptr);
  ASSERT_NE(m.table("LanguageTable"), nullptr);  // known by its file name
  EXPECT_EQ(m.table("LanguageTable")->delimiter, '\t');
  EXPECT_EQ(error_line([] { parse_metadata("{\n\"tables\": [\n}", "m.json"); }), 3);
  EXPECT_EQ(error_line([] { parse_metadata("{\"tables\": 1}", "m.json"); }), 0);
  EXPECT_EQ(error_line([] { parse_metadata("[]", "m.json"); }), 0);
}

TEST(CldfConcepts, NumbersGlossesAndIds) {
  ConceptTable t = parse_concepts("# note\nnumber\tgloss\tids\n1\tI\t1209\n8\tnot\t1240, 2279\n", "c.tsv");
  EXPECT_EQ(t.gloss[8], "not");
  EXPECT_EQ(t.number("2279"), 8);
  EXPECT_EQ(t.number("1209"), 1);
  EXPECT_EQ(t.number("9999"), 0);
  EXPECT_EQ(error_line([] { parse_concepts("h\th\th\n101\tx\t1\n", "c.tsv"); }), 2);
  EXPECT_EQ(error_line([] { parse_concepts("h\th\th\n1\tx\t1\n1\ty\t2\n", "c.tsv"); }), 3);
  EXPECT_EQ(error_line([] { parse_concepts("h\th\th\n1 x\n", "c.tsv"); }), 2);
}

TEST(CldfGlottolog, PathsFromTheFamilyDown) {
  Glottolog g;
  g.add_trees("#NEXUS\nBEGIN TREES;\ntree f1 = [&R] ((a:1,b:1)c:1,'d x':1)f1:1;\ntree iso1 = [&R] iso1:1;\nEND;",
              "c.nex");
  g.set_name("f1", "Fam");
  g.set_name("c", "Sub");
  EXPECT_EQ(g.path("a"), (std::vector<std::string>{"Fam", "Sub"}));
  EXPECT_EQ(g.path("c"), (std::vector<std::string>{"Fam"}));
  EXPECT_EQ(g.path("d x"), (std::vector<std::string>{"Fam"}));
  EXPECT_EQ(g.path("f1"), (std::vector<std::string>{"Fam"}));   // a family root: itself
  EXPECT_EQ(g.path("iso1"), (std::vector<std::string>{"iso1"}));  // an isolate without a name
  EXPECT_TRUE(g.path("zzzz").empty());
  EXPECT_GT(error_line([] { Glottolog h; h.add_trees("tree x = ((a,b);", "c.nex"); }), 0);
  EXPECT_GT(error_line([] { Glottolog h; h.add_trees("tree x = (a,b));", "c.nex"); }), 0);
}

// A token's units written as the stream writes them, with the sounds'
// own letters for symbols.
std::string units_of(std::string_view token) {
  SoundSet s;
  std::vector<Unit> u;
  analyse_segment(token, s, u);
  std::string out;
  for (const Unit& x : u) {
    out += out.empty() ? "" : " ";
    for (int j = 0; j < x.count; ++j) out += s.text(x.sound[j]) + (x.mark[j] == kQuote ? "\"" : x.mark[j] == kStar ? "*" : "");
    if (x.count > 1) out += x.count == 2 ? "~" : "$";
  }
  return out;
}

TEST(CldfSounds, SegmentsBecomeBasesAndMarks) {
  const std::pair<const char*, const char*> cases[] = {
      {"a", "a"},          {"p\u02B0", "p\""},       {"a\u02D0", "a\""},     {"k\u02B7", "k\""},
      {"\u00E3", "a*"},    {"o\u0303", "o*"},        {"t\u02BC", "t*"},      {"\u0294", "\u0294"},
      {"t\u0361s", "ts~"}, {"ts\u02B0", "ts\"~"},    {"\u02A7", "t\u0283~"}, {"\u207Fd", "nd~"},
      {"aiu", "aiu$"},     {"abcd", "abc$ d"},       {"\u0251/a", "a"},      {"a/", ""},
      {"+", ""},           {"_", ""},                {"\u02C8a\u02E5", "a"}, {"a\u0301", "a"},
      {"\u0261", "g"},     {"e\u02D0\u0303", "e\""}, {"\u02B0t", "t\""},     {"55", ""},
      {"NULL", ""},        {"b/NULL", ""},
  };
  for (const auto& [token, want] : cases) EXPECT_EQ(units_of(token), want) << token;
}

TEST(CldfSounds, FoldingKeepsTheCapacityWithinClasses) {
  SoundSet s;
  std::vector<long> count;
  for (const char* t : {"p", "b", "t", "d", "a", "e", "\u0253", "\u0250"}) {
    s.intern(t);
    count.push_back(100 - static_cast<long>(count.size()));  // rarer down the list
  }
  std::vector<std::int32_t> rep = fold_sounds(s, count, 6);
  // The two rarest fold: ɐ (open central vowel) into a, ɓ (voiced labial stop) into b.
  EXPECT_EQ(s.text(rep[7]), "a");
  EXPECT_EQ(s.text(rep[6]), "b");
  for (int k = 0; k < 6; ++k) EXPECT_EQ(rep[k], k);
  EXPECT_EQ(sound_class("\u0253").key[0], sound_class("b").key[0]);
  EXPECT_EQ(sound_class("A").key[0], sound_class("a").key[0]);
  EXPECT_EQ(sound_class("\u2C65").key[0], "?");
}

TEST(CldfSounds, SymbolsAreDistinctBytesWithoutRoles) {
  SoundSet s;
  std::vector<long> count;
  // 100 letters, X among them: more than printable ASCII offers.
  std::vector<std::string> letters = {"X", "x", "a", "\u0283", "\u014B"};
  for (int cp = 0x250; letters.size() < 100; ++cp) {
    if (cp == 0x283) continue;
    char buf[3] = {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F)), 0};
    letters.push_back(buf);
  }
  for (const std::string& l : letters) {
    s.intern(l);
    count.push_back(count.size() == 3 || count.size() == 4 ? 10 : 5);  // ʃ and ŋ choose first
  }
  std::vector<std::int32_t> rep(count.size());
  for (std::size_t k = 0; k < rep.size(); ++k) rep[k] = static_cast<std::int32_t>(k);
  std::vector<unsigned char> sym = choose_symbols(s, rep, count);
  std::set<unsigned char> seen(sym.begin(), sym.end());
  EXPECT_EQ(seen.size(), 100u);
  for (unsigned char c : sym) EXPECT_TRUE(usable_symbol(c)) << int(c);
  EXPECT_EQ(sym[1], 'x');  // x is itself; X has a role and takes another byte
  EXPECT_EQ(sym[3], 'S');
  EXPECT_EQ(sym[4], 'N');
}

}  // namespace
}  // namespace plix::cldf

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/fuzz/cldf_driver.h"

namespace plix::cldf {
namespace {

// The fuzz target's seeds and every input it ever failed on.
TEST(CldfFuzz, CorpusAndRegressionsReplay) {
  int n = 0;
  for (const char* folder : {"corpus/cldf", "regressions/cldf"}) {
    std::filesystem::path dir = std::filesystem::path(PLIX_SOURCE_DIR) / "tests/fuzz" / folder;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
      std::ifstream in(e.path(), std::ios::binary);
      std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      plix::fuzz::check_cldf(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
      ++n;
    }
  }
  EXPECT_GE(n, 6);
}

// Dolgopolsky's classes: labials P, dentals T, sibilants S, velars and
// uvulars K, laryngeals H, m M, other nasals N, liquids R, w W, j J, vowels V;
// the finer scheme keeps manner and place and drops voice.
TEST(CldfSounds, ClassesFromMannerPlaceAndVoice) {
  // Where the two schemes part from the table's classes: θ is no sibilant,
  // m no other nasal, j no other glide; an unlisted letter stays itself.
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"\u03B8", "T", "Fd"}, {"s", "S", "Fd"}, {"\u0294", "H", "Pg"}, {"m", "M", "Nl"}, {"\u014B", "N", "Nv"},
      {"j", "J", "Gp"},      {"w", "W", "Gl"}, {"B", "P", "Pl"},      {"\u0259", "V", "V"}, {"\u0436", "", ""}};
  for (const auto& [sound, coarse, fine] : cases) {
    EXPECT_EQ(class_of(ClassScheme::kDolgopolsky, sound), coarse) << sound;
    EXPECT_EQ(class_of(ClassScheme::kMannerPlace, sound), fine) << sound;
  }

  // An affricate is its sibilant, a diphthong one vowel, marks go.
  SoundSet sounds;
  std::vector<Unit> units;
  for (const char* seg : {"t\u0361s", "ai", "p\u02B0", "mb"}) analyse_segment(seg, sounds, units);
  to_classes(ClassScheme::kDolgopolsky, sounds, units);
  std::vector<std::string> got;
  for (const Unit& u : units) {
    std::string s;
    for (int k = 0; k < u.count; ++k) s += sounds.text(u.sound[k]) + (u.mark[k] == kNoMark ? "" : "'");
    got.push_back(s);
  }
  EXPECT_EQ(got, (std::vector<std::string>{"S", "V", "P", "MP"}));
}

}  // namespace
}  // namespace plix::cldf
