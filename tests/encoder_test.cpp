#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "database/encoder.h"
#include "run/run_state.h"
#include "textio/units.h"

namespace plix {
namespace {

// A run state with the inventory p, a, t, s (symbol_count 4, last_code 12) and an
// open language in slot 1; it never reads or writes.
struct EncoderTest : ::testing::Test {
  StringSource in{""};
  StringSink out, err;
  TextIO io{in, out, err};
  std::unique_ptr<RunState> run = std::make_unique<RunState>(io);

  void SetUp() override {
    run->params.SYNONYMS = 2;
    const char* symbols = "pats";
    run->codes.inventory.symbol_count = 4;
    for (int i = 1; i <= 4; ++i) run->codes.inventory.symbols[i] = symbols[i - 1];
    build_symbol_index(run->codes.inventory);
    run->codes.last_code = 12;
    run->codes.pairs.count = 0;
    run->codes.triples.count = 0;
    run->scan.attested = 0;
    std::memcpy(run->scan.open_code, "abc", 3);
    run->scan.open_record = 7;
    ASSERT_TRUE(grow_store(run->store, 2));
    for (int slot = 1; slot <= 2; ++slot)
      for (int m = 1; m <= MAX_MEANINGS; ++m)
        for (int s = 1; s <= 2; ++s) word_length(run->store, slot, m, s) = 0;
  }

  // A 400-column word record: meaning 1, a TAB, then `body` as it stands.
  static std::string record(const std::string& body) {
    std::string line = "1\t" + body;
    line.resize(400, ' ');
    return line;
  }
  // The words followed by a blank and "/".
  static std::string words(const std::string& w) { return record(w + " /"); }

  void encode(const std::string& line, int slot = 1, int meaning = 1) {
    ASSERT_EQ(line.size(), 400u);
    encode_word_record(run->scan_context(), line.data(), slot, meaning);
  }
  int length(int syn, int slot = 1, int meaning = 1) const {
    return word_length(run->store, slot, meaning, syn);
  }
  std::vector<int> synonym(int syn, int slot = 1, int meaning = 1) const {
    const SoundCode* c = synonym_codes(run->store, slot, meaning, syn);
    return std::vector<int>(c, c + length(syn, slot, meaning));
  }
};

using V = std::vector<int>;

TEST_F(EncoderTest, PlainSymbolsAreTheirInventoryPositions) {
  encode(words("pat"));
  EXPECT_EQ(synonym(1), (V{1, 2, 3}));
  EXPECT_EQ(run->scan.attested, 1);

  encode(words("pa ta"), 1, 2);  // a single blank is passed over
  EXPECT_EQ(synonym(1, 1, 2), (V{1, 2, 3, 2}));

  encode(words("p7a"), 1, 3);  // not in the inventory: passed over
  EXPECT_EQ(synonym(1, 1, 3), (V{1, 2}));
  EXPECT_EQ(run->scan.attested, 3);
}

TEST_F(EncoderTest, SymbolLookupIsExactAndTakesTheFirstDuplicate) {
  run->codes.inventory.symbol_count = 5;
  run->codes.inventory.symbols[5] = 'a';  // a duplicate of position 2
  build_symbol_index(run->codes.inventory);
  EXPECT_EQ(symbol_index(run->codes.inventory, 'a'), 2);
  EXPECT_EQ(symbol_index(run->codes.inventory, 'P'), 0);
  EXPECT_EQ(symbol_index(run->codes.inventory, 's'), 4);
  EXPECT_EQ(symbol_index(run->codes.inventory, '\0'), 0);
}

TEST_F(EncoderTest, ModifierMarksAddToTheLastCode) {
  encode(words("p\""));
  EXPECT_EQ(synonym(1), (V{5}));
  encode(words("p*"));
  EXPECT_EQ(synonym(1), (V{9}));
  encode(words("ta\"s*"));
  EXPECT_EQ(synonym(1), (V{3, 6, 12}));
  // Marks with no code before them change nothing.
  encode(words("\"*pa"));
  EXPECT_EQ(synonym(1), (V{1, 2}));
}

TEST_F(EncoderTest, PairsAreNumberedOnceAcrossRecordsAndSlots) {
  encode(words("ts~a"));
  EXPECT_EQ(synonym(1), (V{13, 2}));
  ASSERT_EQ(run->codes.pairs.count, 1);
  EXPECT_EQ(run->codes.pairs.first[1], 3);
  EXPECT_EQ(run->codes.pairs.second[1], 4);
  EXPECT_EQ(run->codes.pairs.code[1], 13);
  EXPECT_EQ(run->codes.last_code, 13);

  encode(words("ts~"), 2, 5);  // another language, another meaning
  EXPECT_EQ(synonym(1, 2, 5), (V{13}));
  EXPECT_EQ(run->codes.pairs.count, 1);

  encode(words("st~"));  // order counts
  EXPECT_EQ(synonym(1), (V{14}));
  EXPECT_EQ(run->codes.pairs.count, 2);
}

TEST_F(EncoderTest, TriplesShareTheNumberingWithPairs) {
  encode(words("ts~"));  // 13
  encode(words("tsp$"));
  EXPECT_EQ(synonym(1), (V{14}));
  ASSERT_EQ(run->codes.triples.count, 1);
  EXPECT_EQ(run->codes.triples.code[1], 14);
  encode(words("atsp$t"), 2, 1);
  EXPECT_EQ(synonym(1, 2, 1), (V{2, 14, 3}));
  EXPECT_EQ(run->codes.triples.count, 1);
  EXPECT_EQ(run->codes.last_code, 14);
}

TEST_F(EncoderTest, CombinationMarksNeedEnoughCodesInTheSynonym) {
  encode(words("p~a"));
  EXPECT_EQ(synonym(1), (V{1, 2}));
  encode(words("pa$t"));
  EXPECT_EQ(synonym(1), (V{1, 2, 3}));
  // The codes of synonym 1 do not count for a mark in synonym 2.
  encode(words("pa,t~s"));
  EXPECT_EQ(synonym(2), (V{3, 4}));
  EXPECT_EQ(run->codes.pairs.count, 0);
  EXPECT_EQ(run->codes.triples.count, 0);
  EXPECT_EQ(run->codes.last_code, 12);
}

TEST_F(EncoderTest, SecondSynonymStartsAtPosition51) {
  encode(words("pa, ta"));
  EXPECT_EQ(synonym(1), (V{1, 2}));
  EXPECT_EQ(synonym(2), (V{3, 2}));
  EXPECT_EQ(codes(run->store, 1, 1)[50], 3);
  EXPECT_EQ(codes(run->store, 1, 1)[51], 2);
  EXPECT_EQ(run->scan.attested, 1);

  // A third synonym is not read.
  encode(words("pa,ta,ps"), 1, 2);
  EXPECT_EQ(synonym(1, 1, 2), (V{1, 2}));
  EXPECT_EQ(synonym(2, 1, 2), (V{3, 2}));
}

TEST_F(EncoderTest, OneSynonymEndsTheWordsAtTheComma) {
  run->params.SYNONYMS = 1;
  encode(words("pa, ta"));
  EXPECT_EQ(synonym(1), (V{1, 2}));
  EXPECT_EQ(length(2), 0);
  EXPECT_EQ(run->scan.attested, 1);
}

TEST_F(EncoderTest, OnlyTheLastStoredLengthCountsAsAttested) {
  encode(words("pa,"));
  EXPECT_EQ(length(1), 2);
  EXPECT_EQ(length(2), 0);
  EXPECT_EQ(run->scan.attested, 0);
  // An empty first synonym.
  encode(words(",ta"), 1, 2);
  EXPECT_EQ(length(1, 1, 2), 0);
  EXPECT_EQ(synonym(2, 1, 2), (V{3, 2}));
  EXPECT_EQ(run->scan.attested, 1);
}

TEST_F(EncoderTest, RecordsWithoutWords) {
  word_length(run->store, 1, 1, 1) = 9;
  encode(words("XXXpat"));
  EXPECT_EQ(length(1), 0);
  word_length(run->store, 1, 1, 1) = 9;
  std::string no_tab = "1 pat /";
  no_tab.resize(400, ' ');
  encode(no_tab);
  EXPECT_EQ(length(1), 0);
  word_length(run->store, 1, 1, 1) = 9;
  encode(record(" / / "));
  EXPECT_EQ(length(1), 0);
  EXPECT_EQ(run->scan.attested, 0);
  // Two X are words, not the no-word mark; X is not a symbol here.
  encode(words("XXpa"));
  EXPECT_EQ(synonym(1), (V{1, 2}));
}

TEST_F(EncoderTest, WordsStartAfterTheRunOfTabsAndLeadingBlanksAndSlashes) {
  encode(record("\t\t / /pat /"));
  EXPECT_EQ(synonym(1), (V{1, 2, 3}));
  // A TAB in column 1 does not start the words.
  std::string line = "\tpat";
  line.resize(400, ' ');
  encode(line);
  EXPECT_EQ(length(1), 0);
  // Within the words, "/" and TAB are ordinary characters (not symbols here).
  encode(words("p/a\tt"));
  EXPECT_EQ(synonym(1), (V{1, 2, 3}));
}

TEST_F(EncoderTest, WordsEndAtABlankFollowedByBlankOrSlash) {
  encode(record("pa  ts /"));
  EXPECT_EQ(synonym(1), (V{1, 2}));
  encode(record("pa /ts /"));
  EXPECT_EQ(synonym(1), (V{1, 2}));
}

TEST_F(EncoderTest, PositionLimits) {
  encode(words(std::string(120, 'p')));
  EXPECT_EQ(length(1), 100);
  encode(words(std::string(60, 't') + ",sa"), 1, 2);
  EXPECT_EQ(length(1, 1, 2), 50);
  EXPECT_EQ(synonym(2, 1, 2), (V{4, 2}));
  // Synonym 2 holds at most 50 codes.
  encode(words("p," + std::string(70, 'a')), 1, 3);
  EXPECT_EQ(length(1, 1, 3), 1);
  EXPECT_EQ(length(2, 1, 3), 50);
  // Marks still work on the last code once the positions are full.
  encode(words(std::string(100, 'p') + "*"), 1, 4);
  EXPECT_EQ(length(1, 1, 4), 100);
  EXPECT_EQ(codes(run->store, 1, 4)[99], 9);
}

TEST_F(EncoderTest, Column400) {
  std::string line = record("");
  line[398] = 'p';  // column 399
  line[399] = 'a';  // column 400
  encode(line);
  EXPECT_EQ(synonym(1), (V{1, 2}));
  line[399] = ' ';  // a blank in column 400 ends the words
  encode(line);
  EXPECT_EQ(synonym(1), (V{1}));
}

TEST_F(EncoderTest, LaterRecordOverwritesOnlyWhatItReaches) {
  encode(words("pat,sat"));
  encode(words("ts"));
  EXPECT_EQ(synonym(1), (V{3, 4}));
  EXPECT_EQ(synonym(2), (V{4, 2, 3}));
  EXPECT_EQ(run->scan.attested, 2);
}

TEST_F(EncoderTest, MarkCharactersAreNeverLookedUp) {
  // Even when they stand in the inventory.
  run->codes.inventory.symbol_count = 6;
  run->codes.inventory.symbols[5] = '*';
  run->codes.inventory.symbols[6] = 'X';
  build_symbol_index(run->codes.inventory);
  encode(words("p*"));
  EXPECT_EQ(synonym(1), (V{13}));  // 1 + 2 x 6
  encode(words("pX"));
  EXPECT_EQ(synonym(1), (V{1, 6}));
}

TEST_F(EncoderTest, FullCombinationTableEndsTheRun) {
  run->codes.pairs.count = MAX_COMBINATIONS;
  for (int i = 1; i <= MAX_COMBINATIONS; ++i) {
    run->codes.pairs.first[i] = 1000 + i;
    run->codes.pairs.second[i] = 1;
    run->codes.pairs.code[i] = 2000 + i;
  }
  // A known pair still gets its code.
  EXPECT_EQ(pair_code(run->scan_context(), 1005, 1), 2005);
  EXPECT_THROW(encode(words("ts~")), RunEnd);
  EXPECT_EQ(run->codes.pairs.count, MAX_COMBINATIONS);
  EXPECT_NE(err.data.find("2000"), std::string::npos);
  EXPECT_NE(err.data.find("abc"), std::string::npos);

  run->codes.triples.count = MAX_COMBINATIONS;
  for (int i = 1; i <= MAX_COMBINATIONS; ++i) {
    run->codes.triples.first[i] = run->codes.triples.second[i] = run->codes.triples.third[i] = 0;
    run->codes.triples.code[i] = 3000 + i;
  }
  EXPECT_THROW(encode(words("tsp$")), RunEnd);
  EXPECT_EQ(run->codes.triples.count, MAX_COMBINATIONS);
}

}  // namespace
}  // namespace plix
