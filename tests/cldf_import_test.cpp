// plix62c-cldf end to end: the example dataset's stream and the report that
// plix62c makes of it, the options, the run's limits and bad input.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include "tests/programs.h"

#include "cldf/glottolog.h"
#include "cldf/paths.h"

namespace {

namespace fs = std::filesystem;

struct Ran {
  int rc;
  std::string out, err;
};

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Scratch folders carry the process id: test programs of other build trees
// may run at the same time.
fs::path scratch(const std::string& name) {
  fs::path d = fs::path(::testing::TempDir()) / ("cldf-" + name + "-" + std::to_string(getpid()));
  fs::remove_all(d);
  fs::create_directories(d);
  return d;
}

// Each test process captures into files of its own: ctest runs tests in parallel.
Ran run(const std::string& args, const std::string& input = "") {
  static const fs::path d = scratch("run");
  std::string in = input.empty() ? "/dev/null" : input;
  std::string cmd = args + " <" + in + " >" + (d / "out").string() + " 2>" + (d / "err").string();
  int status = std::system(cmd.c_str());
  return {WEXITSTATUS(status), slurp(d / "out"), slurp(d / "err")};
}

const std::string kCldf = plix::program_command(PLIX62C_CLDF_BINARY);
const std::string kExample = std::string(PLIX_SOURCE_DIR) + "/examples/cldf";

// The example, worked by hand. Selected: the five meanings attested at all,
// ascending; WORDS = 5 x 0.7 rounded up = 4. Iso attests two: left out.
// Sounds by count over the written synonyms: u 11, a 10, k 10, i n o p t 9,
// e m 7, b s x 1 (equal counts in letter order). Bel's t͡s is the pair ts~,
// pʰ and eː take '"', õ takes '*', ɪ/i is i, + and the tone ˧ are dropped,
// Dun's loan and Gos's repeated pa are left out, SubGroup Gamma = Family is
// dropped, "South Coast" becomes South_Coast, Jun has no Family.
const char* kStream =
    "     2     4  1000     1    92    72   SYNONYMS WORDS DATE LEVEL S0 R\n"
    "(I3)\n 16  woman\n 19  fish\n 75  water\n 82  fire\n100  name\n  0\n"
    "u    u\na    a\nk    k\ni    i\nn    n\no    o\np    p\nt    t\ne    e\nm    m\nb    b\ns    s\nx    x\n\n"
    "Hand-made example word list (licence: CC-BY-4.0)\n"
    "Ana|Alpha,North@\n                             0         ana\n"
    "16\tme\n19\tpa\n75\tti\n82\tku, xu\n100\tno\n"
    "Bel|Alpha,North@\n                             0         bel\n"
    "16\tme\n19\tpa\n75\tts~i\n82\tkuku\n100\tno\n"
    "Cor|Alpha,South_Coast@\n                             0         cor\n"
    "16\tme\n19\tp\"a\n75\tti\n82\tku\n100\tno*\n"
    "Dun|Alpha,South_Coast@\n                             0         dun\n"
    "19\tpa, pa\"\n75\tti\n82\tku\n100\tno\n"
    "Eri|Beta,East@\n                             0         eri\n"
    "16\tme\n19\tpa\n75\tti\n82\tku\n100\tno\n"
    "Fal|Beta,West@\n                             0         fal\n"
    "16\tme\"\n19\tba\n75\tti\n82\tku\n100\tno\n"
    "Gos|Gamma@\n                             0         gos\n"
    "16\tme\n19\tpa\n75\tti\n82\tku\n100\tno\n"
    "Hem|Gamma@\n                             0         hem\n"
    "16\tme\n19\tpa\n75\tti\n82\tku\n100\tno\n"
    "Jun, the last|Unclassified@\n                             0         jun\n"
    "19\tpa\n75\tti\n82\tku\n100\tno\n"
    "\n";

TEST(CldfImport, ExampleStreamAndItsReport) {
  Ran r = run(kCldf + " --synonyms 2 " + kExample);
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_EQ(r.out, kStream);
  EXPECT_NE(r.err.find("languages: 10 read, 9 written"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("loan: 1"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("unmapped concepts: 1 (most forms: house)"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("\n    house, Concepticon 1252: 1 form\n"), std::string::npos) << r.err;

  // Words of different meanings share no sound, so every such pair mean is 1
  // and a similarity is 100 x (1 - mean same-meaning distance):
  // Ana-Cor (0 + .5 + 0 + .25 + .5)/5 -> 75, Ana-Dun (.25 + 0 + .25 + 0)/4 ->
  // 87.5, Bel-Cor (0 + .5 + .5 + .5 + .5)/5 -> 60, Bel-Dun (.25 + .5 + .5 +
  // 0)/4 -> 68.75; mean 72.8125. Eri-Fal (.5 + .5)/5 -> 80; Gos-Hem 100.
  // Ages log10(mean/92)/(2 log10 .72): 356, 213 and -126 (truncated).
  fs::path stream = scratch("report") / "stream.txt";
  std::ofstream(stream, std::ios::binary) << r.out;
  Ran report = run(plix::program_command(PLIX62C_BINARY), stream.string());
  ASSERT_EQ(report.rc, 0) << report.err;
  EXPECT_EQ(report.out,
            "2 SYNONYMS,  4 WORDS, DATE > 1000, LEVEL  1\r\nS0 = 92%, R = .72\r\n"
            "\r\n     2  Alpha,North \r\n     2  Alpha,South_Coast \r\n     4  PAIRS   72.81%    356 BP\r\n"
            "\r\n     1  Beta,East \r\n     1  Beta,West \r\n     1  PAIRS   80.00%    213 BP\r\n"
            "\r\n     1  Gamma,gos \r\n     1  Gamma,hem \r\n     1  PAIRS  100.00%   -126 BP\r\n"
            "Stop - Program terminated.\r\n");
}

std::vector<std::string> lines_of(const std::string& s) {
  std::vector<std::string> v;
  std::stringstream in(s);
  for (std::string l; std::getline(in, l);) v.push_back(l);
  return v;
}

bool has_line(const std::string& out, const std::string& line) {
  for (const std::string& l : lines_of(out))
    if (l == line) return true;
  return false;
}

TEST(CldfImport, OptionsShapeTheStream) {
  struct Case {
    std::string args;
    std::vector<std::string> present, absent;
  };
  const Case cases[] = {
      // Glottolog names family down; Dun (no Glottocode) and Gos (in no tree)
      // fall back on Family and SubGroup.
      {"--glottolog " + kExample + "/glottolog",
       {"Ana|Alpha_Family,Northern_Alpha@", "Cor|Alpha_Family,Southern_Alpha__coast@",
        "Eri|Beta@", "Dun|Alpha,South_Coast@", "Gos|Gamma@"},
       {}},
      {"--drop-unclassified", {"Ana|Alpha,North@"}, {"Jun, the last|Unclassified@"}},
      {"--classification SubGroup", {"Ana|North@", "Gos|Gamma@", "Jun, the last|Unclassified@"}, {}},
      // Two meanings by attestation (fish, water: 10 each); WORDS 2.
      {"--meaning-count 2", {"     1     2  1000     1    92    72   SYNONYMS WORDS DATE LEVEL S0 R", " 19  fish", " 75  water"},
       {" 16  woman"}},
      {"--meanings 100,19 --words 1 --date 0 --level 2 --s0 80 --r 70",
       {"     1     1     0     2    80    70   SYNONYMS WORDS DATE LEVEL S0 R", "100  name", " 19  fish",
        "Iso|Gamma@"},
       {" 75  water"}},
      {"--keep-loans", {"16\tme", "19\tpa"}, {}},
      // The metadata-free copy under its own meaning table: one group named
      // after its folder, no loans known.
      {"--concepts " + kExample + "/metadata-free/concepts.tsv " + kExample + "/metadata-free/forms.csv",
       {"ana|metadata-free@", "belen|metadata-free@", "75\tts~i", "100\tno*"},
       {}},
  };
  for (const Case& c : cases) {
    std::string args = c.args.find("metadata-free") != std::string::npos ? c.args : c.args + " " + kExample;
    Ran r = run(kCldf + " " + args);
    ASSERT_EQ(r.rc, 0) << c.args << "\n" << r.err;
    for (const std::string& l : c.present) EXPECT_TRUE(has_line(r.out, l)) << c.args << ": " << l;
    for (const std::string& l : c.absent) EXPECT_FALSE(has_line(r.out, l)) << c.args << ": " << l;
  }
  // Sound classes (the stream above, worked by class): Ana's fire ku, xu is
  // KV twice, so one synonym; Bel's affricate is S; Cor's p" and no* lose
  // their marks.
  Ran classes = run(kCldf + " --synonyms 2 --sound-classes dolgopolsky " + kExample);
  EXPECT_NE(classes.out.find("ana\n16\tMV\n19\tPV\n75\tTV\n82\tKV\n100\tNV\n"), std::string::npos) << classes.out;
  EXPECT_NE(classes.out.find("bel\n16\tMV\n19\tPV\n75\tSV\n82\tKVKV\n100\tNV\n"), std::string::npos);
  EXPECT_NE(classes.out.find("cor\n16\tMV\n19\tPV\n75\tTV\n82\tKV\n100\tNV\n"), std::string::npos);
  // Dun's loan is kept with --keep-loans: the woman line follows Dun's header.
  Ran loans = run(kCldf + " --keep-loans " + kExample);
  EXPECT_NE(loans.out.find("dun\n16\tme\n"), std::string::npos);
}

void write(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

// A copy of the example with one file replaced.
fs::path broken(const std::string& name, const std::string& file, const std::string& text) {
  fs::path d = scratch(name);
  fs::copy(kExample + "/cldf", d / "cldf", fs::copy_options::recursive);
  write(d / "cldf" / file, text);
  return d;
}

TEST(CldfImport, BadInputNamesFileAndLineAndWritesNothing) {
  const std::string forms_head = "ID,Language_ID,Parameter_ID,Form,Segments,Loan\n";
  struct Case {
    std::string args, message;
    int rc;
  };
  const Case cases[] = {
      {"/no/such/dataset", "/no/such/dataset: no such file or folder", 1},
      {broken("quote", "forms.csv", forms_head + "a,ana,fish,pa,p a,false\nb,ana,water,\"ti,t i,false\n").string(),
       "forms.csv:3: malformed CSV: quoted field not closed", 1},
      {broken("utf8", "languages.csv", "ID,Name\nana,An\xFF" "a\n").string(), "languages.csv:2: invalid UTF-8", 1},
      {broken("noform", "cldf-metadata.json", "{\"tables\": [{\"url\": \"languages.csv\"}]}").string(),
       "cldf-metadata.json: the metadata lists no FormTable", 1},
      {broken("json", "cldf-metadata.json", "{\n\"tables\": [\n").string(), "cldf-metadata.json:3: invalid JSON", 1},
      {broken("column", "forms.csv", "ID,Language,Parameter_ID,Segments\n").string(),
       "forms.csv:1: the FormTable has no Language_ID column", 1},
      {broken("lang", "forms.csv", forms_head + "a,ana,fish,pa,p a,false\nb,zzz,fish,pa,p a,false\n").string(),
       "forms.csv:3: language 'zzz' is not in the LanguageTable", 1},
      {broken("empty", "forms.csv", forms_head + "a,ana,house,pa,p a,false\n").string(),
       "forms.csv: no form maps to a meaning", 1},
      {broken("nosegments", "forms.csv", forms_head + "a,ana,fish,pa,,false\nb,ana,water,ti, + ,false\n").string(),
       "forms.csv: no usable form of a meaning of the meaning table (2 without usable segments", 1},
      {"--figure ISO639P3code " + kExample, "languages.csv:2: figure 'ana'", 1},
      {"--meanings 0 " + kExample, "--meanings", 2},
      {"--meanings 1,1 " + kExample, "listed twice", 2},
      {"--synonyms 3 " + kExample, "--synonyms", 2},
      {"--bogus " + kExample, "bogus", 2},
      {"--glottolog " + kExample + "/cldf/forms.csv " + kExample, "forms.csv: is not a folder", 1},
      // CR line ends count lines too; a folder where a table should be.
      {broken("cr", "forms.csv", "ID,Language_ID,Parameter_ID,Form,Segments,Loan\ra,ana,fish,pa,p a,false\r"
                                 "b,zzz,fish,pa,p a,false\r").string(),
       "forms.csv:3: language 'zzz'", 1},
      {[&] {
         fs::path d = broken("folder", "forms.csv", forms_head + "a,ana,fish,pa,p a,false\n");
         fs::remove(d / "cldf" / "parameters.csv");
         fs::create_directories(d / "cldf" / "parameters.csv");
         return d.string();
       }(),
       "parameters.csv: is a directory", 1},
      {"--concepts " + kExample + " " + kExample, "examples/cldf: is a directory", 1},
      {"--glottolog " + broken("trees", "classification.nex", "#NEXUS\nBEGIN TREES;\nEND;\n").string() + " " +
           kExample,
       "classification.nex: holds no tree", 1},
  };
  for (const Case& c : cases) {
    Ran r = run(kCldf + " " + c.args);
    EXPECT_EQ(r.rc, c.rc) << c.args << "\n" << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\n" << r.err;
    EXPECT_EQ(r.out, "") << c.args;
  }
}

// Words, sounds and combined sounds past the run's tables: 45 ASCII letters
// make 2025 ordered pairs, one per segment, spread over 25 languages; 121 IPA
// and Greek letters, rare, must fold; one word of 120 sounds and one of 60
// before a synonym.
TEST(CldfImport, StreamStaysWithinTheRunsTables) {
  std::string letters = "abcdefghijklmnopqrstuvwyzABCDEFGHIJKLMNOPQRST";
  std::vector<std::string> rare;
  for (int cp = 0x250; cp <= 0x2AF; ++cp) rare.push_back({char(0xC0 | (cp >> 6)), char(0x80 | (cp & 0x3F))});
  for (int cp = 0x3B1; cp <= 0x3C9; ++cp) rare.push_back({char(0xC0 | (cp >> 6)), char(0x80 | (cp & 0x3F))});
  std::string forms = "ID,Language_ID,Parameter_ID,Form,Segments\n";
  int id = 0, pair = 0;
  auto row = [&](const std::string& lang, const char* meaning, const std::vector<std::string>& segments) {
    forms.append(std::to_string(++id)).append(",").append(lang).append(",").append(meaning).append(",x,");
    for (std::size_t k = 0; k < segments.size(); ++k) forms.append(k ? " " : "").append(segments[k]);
    forms.append("\n");
  };
  for (int l = 0; l < 25; ++l) {
    std::vector<std::string> fish, water;
    for (int k = 0; k < 81; ++k, ++pair) fish.push_back({letters[pair / 45], letters[pair % 45]});
    for (std::size_t k = 0; k < 5; ++k) water.push_back(rare[(l * 5 + k) % rare.size()]);
    std::string lang = "L";
    lang += std::to_string(l);
    row(lang, "fish", fish);
    row(lang, "water", water);
  }
  std::vector<std::string> long_word, sixty;
  for (int k = 0; k < 120; ++k) long_word.push_back(std::string(1, letters[k % 20]));
  for (int k = 0; k < 60; ++k) sixty.push_back(std::string(1, letters[k % 20]));
  row("long", "fish", long_word);
  row("long", "water", sixty);
  row("long", "water", {"a", "b"});
  fs::path d = scratch("limits");
  write(d / "forms.csv", forms);
  write(d / "concepts.tsv", "number\tgloss\tids\n19\tfish\tfish\n75\twater\twater\n");
  Ran r = run(kCldf + " --synonyms 2 --concepts " + (d / "concepts.tsv").string() + " " + (d / "forms.csv").string());
  ASSERT_EQ(r.rc, 0) << r.err;
  std::vector<std::string> lines = lines_of(r.out);
  std::size_t at = 2;
  while (lines[at] != "  0") ++at;
  std::set<std::string> symbols, pairs;
  for (++at; at < lines.size() && !lines[at].empty() && symbols.size() < 100; ++at) symbols.insert(lines[at].substr(0, 1));
  EXPECT_EQ(symbols.size(), 100u);  // 45 + 121 sounds folded to the capacity
  for (const std::string& l : lines) {
    EXPECT_LE(l.size(), 400u);
    if (l.find('\t') == std::string::npos) continue;
    for (std::size_t k = 0; (k = l.find('~', k)) != std::string::npos; ++k) pairs.insert(l.substr(k - 2, 2));
  }
  EXPECT_EQ(pairs.size(), 2000u);
  // The first 100 sounds of the long word; 50 of the first synonym, then the second.
  std::string hundred, fifty;
  for (int k = 0; k < 100; ++k) hundred += letters[k % 20];
  for (int k = 0; k < 50; ++k) fifty += letters[k % 20];
  EXPECT_TRUE(has_line(r.out, "19\t" + hundred));
  EXPECT_TRUE(has_line(r.out, "75\t" + fifty + ", ab"));
  EXPECT_NE(r.err.find("at 100 codes a word (50 a synonym): 2"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("at 2000 pairs or triples: 1"), std::string::npos) << r.err;
  fs::path stream = d / "stream.txt";
  write(stream, r.out);
  Ran report = run(plix::program_command(PLIX62C_BINARY), stream.string());
  EXPECT_EQ(report.rc, 0) << report.err;
  EXPECT_NE(report.out.find("Stop - Program terminated."), std::string::npos);
}

// The dialects example and its tiny Glottolog: Ra'ivavae and Rurutu are
// dialects of Austral, so they take Austral's path (Austronesian, Polynesian,
// East Polynesian) and Austral itself; Proto Polynesian's Glottocode is a
// family and Proto-Central Eastern's name says it is reconstructed, so both
// are left out; the two Tahitians take their IDs; the mixed list's
// Glottocode is a bookkeeping entry, so its path comes from Family.
TEST(CldfImport, DialectsProtoLanguagesAndSharedNames) {
  const std::string dialects = kExample + "/dialects";
  const std::string east = "Austronesian,Polynesian,East_Polynesian";
  Ran r = run(kCldf + " --glottolog " + dialects + "/glottolog " + dialects);
  ASSERT_EQ(r.rc, 0) << r.err;
  for (const std::string& l :
       {"Maori|" + east + "@", "Reo Rarotongan|" + east + "@", "Tahitian (tah)|" + east + "@",
        "Tahitian (tahm)|" + east + "@", std::string("Tongan|Austronesian,Polynesian,Tongic@"), "Ra'ivavae|" + east + ",Austral@",
        "Rurutu|" + east + ",Austral@", std::string("Mixed list|Austronesian@")})
    EXPECT_TRUE(has_line(r.out, l)) << l;
  EXPECT_EQ(r.out.find("Proto"), std::string::npos);
  for (const char* l : {"languages: 10 read, 8 written",
                        "  left out, proto-language or reconstruction (--keep-proto keeps them): 2",
                        "    pp (Proto Polynesian): Glottocode poly1242 is a family (Polynesian)",
                        "    pce (Proto-Central Eastern): the name says it is reconstructed",
                        "paths: 6 Glottolog, 2 Glottolog through the parent language, 2 Family/SubGroup",
                        "  rai (Ra'ivavae): dialect raiv1237, placed under Austral (aust1304)",
                        "  mix (Mixed list): Glottocode mixe1234 is a bookkeeping entry of Glottolog; path from "
                        "Family/SubGroup"})
    EXPECT_TRUE(has_line(r.err, l)) << l << "\n" << r.err;

  Ran kept = run(kCldf + " --keep-proto --glottolog " + dialects + "/glottolog " + dialects);
  EXPECT_TRUE(has_line(kept.out, "Proto Polynesian|Austronesian@")) << kept.out;
  EXPECT_TRUE(has_line(kept.out, "Proto-Central Eastern|Austronesian@"));

  // The real Glottolog, where the checkout has it beside the source tree.
  const fs::path real = fs::path(PLIX_SOURCE_DIR).parent_path() / "shared" / "glottolog-cldf";
  if (!fs::exists(real / "cldf" / "classification.nex")) GTEST_SKIP() << "no glottolog-cldf at " << real;
  Ran g = run(kCldf + " --glottolog " + real.string() + " " + dialects);
  ASSERT_EQ(g.rc, 0) << g.err;
  std::string austral;
  for (const std::string& c : plix::cldf::load_glottolog(real.string()).path("aust1304"))
    austral += (austral.empty() ? "" : ",") + c;
  for (char& c : austral) c = c == ' ' ? '_' : c;
  EXPECT_TRUE(has_line(g.out, "Rurutu|" + austral + ",Austral@")) << austral << "\n" << g.out;
  EXPECT_TRUE(has_line(g.err, "    pp (Proto Polynesian): Glottocode poly1242 is a family (Polynesian)"));
}

// What counts as a proto-language or reconstruction: a family-level
// Glottocode, a name beginning with Proto- or Proto  (any case) or '*', a
// --figure cell that says so (then read as 0).
TEST(CldfImport, ReconstructionsByGlottocodeNameOrFigure) {
  struct Case {
    std::string name, glottocode, figure;
    bool proto;
  } const cases[] = {{"Polynesian", "poly1242", "", true}, {"Maori", "maor1246", "", false},
                     {"PROTO Polynesian", "", "", true}, {"Proto-Oceanic", "", "", true},
                     {"*Eastern", "", "", true},         {"Protohistoric Tongan", "", "", false},
                     {"Tahitian", "", "reconstruction", true}, {"Tahitian", "", "1800", false}};
  plix::cldf::Glottolog g;
  g.set_entry("poly1242", "family", "", "aust1307");
  g.set_entry("maor1246", "language", "", "aust1307");
  plix::cldf::Dataset d;
  for (const Case& c : cases) {
    plix::cldf::Language l;
    l.name = c.name;
    l.glottocode = c.glottocode;
    l.figure = c.figure;
    d.languages.push_back(l);
  }
  plix::cldf::Options o;
  o.figure = "Year";
  plix::cldf::find_reconstructions(d, o, &g);
  for (std::size_t k = 0; k < std::size(cases); ++k) {
    EXPECT_EQ(!d.languages[k].proto.empty(), cases[k].proto) << cases[k].name;
    if (cases[k].figure == "reconstruction") {
      EXPECT_EQ(d.languages[k].figure, "");
    }
  }
}

}  // namespace
