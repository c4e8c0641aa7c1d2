#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "database/encoder.h"
#include "database/scanner.h"
#include "report/aggregate.h"
#include "report/report.h"
#include "run/parameters.h"
#include "run/run_state.h"
#include "run/selection.h"
#include "textio/units.h"

namespace plix {
namespace {

// Database records, as a user writes them.
std::string header(const std::string& classification) {
  return "Free text|" + classification + "@\n";
}
// The figure right-aligned in columns 19-30, the code in columns 40-42.
std::string figure(const std::string& value, const std::string& code) {
  return std::string(18, ' ') + std::string(12 - value.size(), ' ') + value + std::string(9, ' ') +
         code + "\n";
}
std::string words(int meaning, const std::string& w) {
  return std::to_string(meaning) + "\t" + w + " /\n";
}
std::string language(const std::string& path, const std::string& fig, const std::string& code,
                     const std::string& word_records = "") {
  return header(path) + figure(fig, code) + word_records;
}
const std::string END = " end of data\n";

// Scans a database over a run state prepared by hand: inventory p, a, t, s;
// meanings 1, 2, 3 selected as positions 1, 2, 3; SYNONYMS 1.
struct ScannerTest : ::testing::Test {
  std::unique_ptr<StringSource> in;
  StringSink out, err;
  std::unique_ptr<TextIO> io;
  std::unique_ptr<RunState> run;
  int words_needed = 0;
  int date = 1000;
  int level = 1;
  std::int64_t records_before = 0;  // records read before the database

  // Returns the exit status when the scan ends the run, -1 otherwise.
  int scan(const std::string& database) {
    in = std::make_unique<StringSource>(database);
    io = std::make_unique<TextIO>(*in, out, err);
    run = std::make_unique<RunState>(*io);
    run->params.SYNONYMS = 1;
    run->params.WORDS = words_needed;
    run->params.DATE = date;
    run->params.LEVEL = level;
    run->params.date_limit = static_cast<float>(-date);
    std::memset(run->selection.meaning_index, 0, sizeof run->selection.meaning_index);
    for (int m = 1; m <= 3; ++m) run->selection.meaning_index[m] = m;
    run->selection.meaning_count = 3;
    run->codes.inventory.symbol_count = 4;
    std::memcpy(run->codes.inventory.symbols + 1, "pats", 4);
    build_symbol_index(run->codes.inventory);
    run->codes.last_code = 12;
    run->codes.pairs.count = 0;
    run->codes.triples.count = 0;
    clear_branch_table(run->branches);
    run->scan.open_slot = 0;
    run->scan.record_number = records_before;
    io->input->records_read = records_before;
    try {
      scan_database(run->scan_context());
    } catch (const RunEnd& end) {
      return end.status;
    }
    return -1;
  }

  // The code of the language in slot l, from the key of its branch (each
  // test language founds its own branch unless it says otherwise).
  std::string code_in_slot(int l) const {
    const std::string key(run->branches.branch_key[run->store.branch_of[l]], RECORD_WIDTH);
    const auto end = key.find_last_not_of(' ');
    return key.substr(end - 3, 3);
  }
  std::vector<std::string> slots() const {
    std::vector<std::string> codes;
    for (int l = 1; l <= run->scan.open_slot; ++l) codes.push_back(code_in_slot(l));
    return codes;
  }
};

using S = std::vector<std::string>;

TEST(MeaningNumber, LeadingDigitsOfThreeColumns) {
  EXPECT_EQ(meaning_number("12\tpat"), 12);
  EXPECT_EQ(meaning_number("7 pat"), 7);
  EXPECT_EQ(meaning_number("0\tpat"), 0);
  EXPECT_EQ(meaning_number("000"), 0);
  EXPECT_EQ(meaning_number("1234"), 123);
  EXPECT_EQ(meaning_number("07\t"), 7);
  EXPECT_EQ(meaning_number("A12"), 0);
  EXPECT_EQ(meaning_number(" 12"), 0);
  EXPECT_EQ(meaning_number("999"), 999);
}

TEST_F(ScannerTest, AdmissionFiguresWithDate1000) {
  const std::string db = language("F1", "5", "pos") + language("F2", "0", "zer") +
                         language("F3", "", "blk") + language("F4", "-1", "m1 ") +
                         language("F5", "-1.5", "m15") + language("F6", "-1000", "mk ") +
                         language("F7", "-1000.5", "mkh") + language("F8", "-3000", "m3k") +
                         language("F9", "-999.9", "m99") + END;
  ASSERT_EQ(scan(db), -1);
  EXPECT_EQ(slots(), (S{"pos", "zer", "blk", "m1 ", "mkh", "m3k"}));
}

TEST_F(ScannerTest, NonPositiveDateAdmitsEveryLanguage) {
  for (int d : {0, 1, -7}) {
    date = d;
    const std::string db = language("F1", "-1.5", "aaa") + language("F2", "-1000", "bbb") +
                           language("F3", "-0.5", "ccc") + language("F4", "12", "ddd") + END;
    ASSERT_EQ(scan(db), -1);
    EXPECT_EQ(slots(), (S{"aaa", "bbb", "ccc", "ddd"})) << "DATE " << d;
  }
}

TEST_F(ScannerTest, EmptyClassificationTextSkipsTheLanguage) {
  const std::string db = language("F1", "5", "aaa") + "Empty|@A,B\n" + figure("5", "bbb") +
                         "x@y|F2@\n" + figure("-3000", "ccc") +   // '@' before the bar
                         "No bar at all\n" + figure("5", "ddd") + words(1, "pat") +
                         std::string(399, 'b') + "|A\n" + figure("5", "eee") +  // bar in col 400
                         language("F3,@x", "5", "fff") + END;
  ASSERT_EQ(scan(db), -1);
  EXPECT_EQ(slots(), (S{"aaa", "ccc", "fff"}));
  // The words after the header without a bar did not go to the open language.
  EXPECT_EQ(word_length(run->store, 2, 1, 1), 0);
  EXPECT_EQ(run->scan.record_number, 14);
}

TEST_F(ScannerTest, DroppedAndSkippedLanguages) {
  words_needed = 2;
  const std::string enough = words(1, "pat") + words(2, "sat");
  const std::string db =
      language("A", "5", "aaa", enough) +
      language("B", "5", "bbb", words(1, "ta")) +                          // too few
      language("C", "-5", "ccc", words(2, "pa") + words(3, "ts") + words(3, "tt")) +  // skipped
      language("D", "5", "ddd", words(3, "s")) +
      language("E", "5", "eee", enough) + END;
  ASSERT_EQ(scan(db), -1);
  // B's slot went to D; D (one word) was dropped in turn and E took slot 2.
  EXPECT_EQ(run->scan.open_slot, 2);
  EXPECT_EQ(code_in_slot(1), "aaa");
  EXPECT_EQ(code_in_slot(2), "eee");
  EXPECT_EQ(run->scan.attested, 2);
  EXPECT_EQ(run->branches.branch_count, 4);  // dropped languages keep their branches
  EXPECT_EQ(run->branches.member_count[1], 1);
  EXPECT_EQ(run->branches.member_count[2], 0);
  EXPECT_EQ(run->branches.member_count[3], 0);
  EXPECT_EQ(run->branches.member_count[4], 0);  // E stays open for finish_scan
  // The reused slot starts with no words: D stored meaning 3, E has none.
  EXPECT_EQ(word_length(run->store, 2, 3, 1), 0);
  EXPECT_EQ(word_length(run->store, 2, 1, 1), 3);
}

TEST_F(ScannerTest, SlotExampleAbcd) {
  words_needed = 1;
  const std::string db = language("A", "5", "aaa", words(1, "pat")) +
                         language("B", "5", "bbb") +
                         language("C", "-5", "ccc", words(1, "pat") + words(2, "pat")) +
                         language("D", "5", "ddd", words(3, "pat")) + END;
  ASSERT_EQ(scan(db), -1);
  EXPECT_EQ(slots(), (S{"aaa", "ddd"}));
  EXPECT_EQ(run->scan.attested, 1);
  EXPECT_EQ(run->branches.member_count[run->store.branch_of[1]], 1);
}

TEST_F(ScannerTest, WordsZeroRetainsLanguagesWithoutWords) {
  words_needed = 0;
  ASSERT_EQ(scan(language("A", "5", "aaa") + language("B", "5", "bbb") + END), -1);
  EXPECT_EQ(run->scan.open_slot, 2);
  EXPECT_EQ(run->scan.attested, 0);
  EXPECT_EQ(run->branches.member_count[1], 1);
}

TEST_F(ScannerTest, WordRecordsThatBelongToNoLanguageOrNoSelectedMeaning) {
  const std::string db = words(1, "pat") + words(2, "pat") +       // before the first header
                         language("A", "5", "aaa",
                                  words(4, "pat") + "123\tpat /\n" +  // unselected, above 100
                                      "07\tsat /\n" +                // meaning 7: unselected
                                      words(2, "ta")) +
                         END;
  ASSERT_EQ(scan(db), -1);
  EXPECT_EQ(run->scan.open_slot, 1);
  EXPECT_EQ(run->scan.attested, 1);
  EXPECT_EQ(word_length(run->store, 1, 1, 1), 0);
  EXPECT_EQ(word_length(run->store, 1, 2, 1), 2);
}

TEST_F(ScannerTest, SelectedWordsAreEncodedIntoTheOpenSlot) {
  const std::string db =
      language("A", "5", "aaa", words(3, "pa,ts~") + words(1, "s\"t")) + END;
  ASSERT_EQ(scan(db), -1);
  EXPECT_EQ(word_length(run->store, 1, 3, 1), 2);
  EXPECT_EQ(codes(run->store, 1, 3)[0], 1);
  EXPECT_EQ(codes(run->store, 1, 3)[1], 2);
  EXPECT_EQ(word_length(run->store, 1, 1, 1), 2);
  EXPECT_EQ(codes(run->store, 1, 1)[0], 8);
  EXPECT_EQ(codes(run->store, 1, 1)[1], 3);
  EXPECT_EQ(run->codes.pairs.count, 0);  // the second synonym was not read
  EXPECT_EQ(run->scan.attested, 2);
}

TEST_F(ScannerTest, GroupingFollowsTheDatabaseOrder) {
  level = 1;
  const std::string db = language("Fam,Sub1,X", "5", "l01") + language("Fam,Sub1,Y", "5", "l02") +
                         language("Fam,Sub2", "5", "l03") + language("Other,Sub", "5", "l04") +
                         END;
  ASSERT_EQ(scan(db), -1);
  EXPECT_EQ(run->branches.branch_count, 3);
  EXPECT_EQ(run->branches.node_count, 2);
  EXPECT_EQ(run->store.branch_of[2], 1);
  EXPECT_EQ(run->store.branch_of[3], 2);
  EXPECT_EQ(run->branches.node_of[2], 1);
  EXPECT_EQ(run->branches.node_of[3], 2);
}

TEST_F(ScannerTest, SkipEndsAtTheEndOfData) {
  const std::string db = language("A", "5", "aaa") + language("B", "-5", "bbb", words(1, "pa")) +
                         END + language("C", "5", "ccc");
  ASSERT_EQ(scan(db), -1);
  EXPECT_EQ(slots(), (S{"aaa"}));
  EXPECT_EQ(run->scan.record_number, 6);  // nothing after the end-of-data record
}

TEST_F(ScannerTest, EndOfInputBeforeTheEndOfDataIsAnInputFailure) {
  EXPECT_EQ(scan(language("A", "5", "aaa", words(1, "pat"))), 1);
  EXPECT_EQ(scan(language("A", "5", "aaa") + "Lonely header|B@\n"), 1);
}

TEST_F(ScannerTest, BadFigureIsAnInputFailure) {
  EXPECT_EQ(scan(language("A", "5x", "aaa") + END), 1);
}

TEST_F(ScannerTest, SlotsGrowWithTheLanguagesAndDroppedOnesAreReused) {
  // Tables grown three slots at a time, so 50 languages pass many steps;
  // every fifth language has no word and gives its slot to the next.
  const TableStepForTesting steps(3);
  words_needed = 1;
  auto code = [](int k) {
    return std::string{'c', static_cast<char>('a' + k / 26), static_cast<char>('a' + k % 26)};
  };
  std::string db;
  for (int k = 0; k < 50; ++k)
    db += language(std::string("F").append(std::to_string(k)).append(",G"), "5", code(k),
                   k % 5 == 4 ? "" : words(1, "pat"));
  ASSERT_EQ(scan(db + END), -1);
  finish_scan(run->scan_context());
  ASSERT_EQ(run->scan.language_count, 40);
  const int length = word_length(run->store, 1, 1, 1);
  ASSERT_GT(length, 0);
  for (int s = 1; s <= 40; ++s) {
    const int k = (s - 1) + (s - 1) / 4;  // the s-th language with a word
    EXPECT_EQ(language_code(run->origins, s), code(k)) << s;
    EXPECT_EQ(run->store.branch_of[s], k + 1) << s;  // dropped languages made branches too
    EXPECT_EQ(run->branches.member_count[k + 1], 1) << s;
    ASSERT_EQ(word_length(run->store, s, 1, 1), length) << s;
    EXPECT_EQ(std::memcmp(codes(run->store, s, 1), codes(run->store, 1, 1), length * sizeof(SoundCode)), 0) << s;
  }
  EXPECT_EQ(run->branches.branch_count, 50);
  EXPECT_EQ(run->branches.member_count[5], 0);
}

// Past 2^32 records (a stream of some 17 GB) records are still named in full.
TEST_F(ScannerTest, RecordNumbersBeyondThirtyTwoBits) {
  records_before = 5'000'000'000;
  const std::pair<std::string, std::string> cases[] = {
      {language("A", "5x", "aaa") + END, "in record 5000000002, the figure record of the header in record 5000000001"},
      {language("A", "5", "aaa", words(1, "pa")), "after record 5000000003, in language aaa (header record 5000000001)"},
  };
  for (const auto& [database, message] : cases) {
    err.data.clear();
    EXPECT_EQ(scan(database), 1);
    EXPECT_NE(err.data.find(message), std::string::npos) << err.data;
  }
}

}  // namespace
}  // namespace plix

namespace plix {
namespace {

// The example database, read through the phases up to the end of the scan.
TEST(ExampleDatabase, FamiliesScanToTheEnd) {
  std::ifstream file(std::string(PLIX_SOURCE_DIR) + "/examples/families.txt", std::ios::binary);
  ASSERT_TRUE(file);
  std::stringstream text;
  text << file.rdbuf();
  StringSource in(text.str());
  StringSink out, err;
  TextIO io(in, out, err);
  auto run = std::make_unique<RunState>(io);
  try {
    read_run_input(*run);
  } catch (const RunEnd& end) {
    FAIL() << "run ended with status " << end.status << ": " << err.data;
  }
  EXPECT_EQ(run->params.SYNONYMS, 2);
  EXPECT_EQ(run->selection.meaning_count, 10);
  EXPECT_EQ(run->selection.meaning_index[12], 10);
  EXPECT_EQ(run->codes.inventory.symbol_count, 19);

  // Three families of two or three subgroups; the reconstructed language
  // and the unclassified one are skipped, the fragmentary one is dropped.
  const BranchTable& b = run->branches;
  ASSERT_EQ(b.branch_count, 7);
  EXPECT_EQ(b.node_count, 3);
  const int nodes[] = {0, 1, 1, 1, 2, 2, 3, 3};
  const int members[] = {0, 4, 4, 3, 4, 4, 3, 4};  // the last language is still open
  for (int g = 1; g <= 7; ++g) {
    EXPECT_EQ(b.node_of[g], nodes[g]) << g;
    EXPECT_EQ(b.member_count[g], members[g]) << g;
  }
  EXPECT_EQ(std::string(b.branch_key[4], 25), "Highland,North,Garu,gar, ");
  EXPECT_EQ(run->scan.open_slot, 27);
  EXPECT_EQ(run->scan.attested, 10);
  EXPECT_EQ(run->store.branch_of[20], 6);  // Ule took the dropped language's slot

  // Combined sounds: ts~ first (58), then mb~ (59), then ndj$ (60).
  EXPECT_EQ(run->codes.pairs.count, 2);
  EXPECT_EQ(run->codes.triples.count, 1);
  EXPECT_EQ(run->codes.last_code, 60);
  // Delta Ma (slot 9), fire: ts~ u l o.
  ASSERT_EQ(word_length(run->store, 9, 2, 1), 4);
  const SoundCode fire[] = {58, 19, 11, 18};
  EXPECT_TRUE(std::equal(fire, fire + 4, codes(run->store, 9, 2)));
  // Delta Ma, water: n a" p a.
  const SoundCode water[] = {8, 34, 1, 15};
  EXPECT_TRUE(std::equal(water, water + 4, codes(run->store, 9, 1)));
  // Osso (slot 8): two synonyms for water, none for tree.
  EXPECT_EQ(word_length(run->store, 8, 1, 1), 4);
  EXPECT_EQ(word_length(run->store, 8, 1, 2), 4);
  EXPECT_EQ(synonym_codes(run->store, 8, 1, 2)[1], 15);
  EXPECT_EQ(word_length(run->store, 8, 8, 1), 0);
  // Narra (slot 15), night: ndj$ u l i.
  EXPECT_EQ(codes(run->store, 15, 10)[0], 60);
  EXPECT_EQ(word_length(run->store, 15, 10, 1), 4);
}

}  // namespace
}  // namespace plix
