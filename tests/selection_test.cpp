#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "database/scanner.h"
#include "report/aggregate.h"
#include "report/report.h"
#include "run/parameters.h"
#include "run/run_state.h"
#include "run/selection.h"
#include "textio/units.h"

namespace plix {
namespace {

// Runs read_meaning_selection, then read_sound_inventory, over `input`.
struct SelectionTest : ::testing::Test {
  std::unique_ptr<StringSource> in;
  StringSink out, err;
  std::unique_ptr<TextIO> io;
  std::unique_ptr<RunState> run;

  void open(const std::string& input) {
    in = std::make_unique<StringSource>(input);
    io = std::make_unique<TextIO>(*in, out, err);
    run = std::make_unique<RunState>(*io);
  }
  // Returns the exit status when the reading ends the run, -1 otherwise.
  int select(const std::string& input) {
    open(input);
    try {
      read_meaning_selection(run->io, run->selection, run->scan.record_number);
    } catch (const RunEnd& end) {
      return end.status;
    }
    return -1;
  }
  int inventory(const std::string& input) {
    open(input);
    try {
      read_sound_inventory(run->io, run->codes, run->scan.record_number);
    } catch (const RunEnd& end) {
      return end.status;
    }
    return -1;
  }
  const std::int32_t* map() const { return run->selection.meaning_index; }

  // Meaning-number records read with the format (I3).
  static std::string list(std::initializer_list<int> numbers) {
    std::string s = "(I3)\n";
    for (int n : numbers) {
      std::string field = std::to_string(n);
      s += std::string(3 - field.size(), ' ') + field + "\n";
    }
    return s;
  }
};

TEST_F(SelectionTest, ListOrderIsStoredOrder) {
  ASSERT_EQ(select(list({5, 1, 12, 0}) + "next\n"), -1);
  EXPECT_EQ(run->selection.meaning_count, 3);
  EXPECT_EQ(map()[5], 1);
  EXPECT_EQ(map()[1], 2);
  EXPECT_EQ(map()[12], 3);
  int selected = 0;
  for (int k = 1; k <= 100; ++k) selected += map()[k] != 0;
  EXPECT_EQ(selected, 3);
  EXPECT_EQ(run->scan.record_number, 5);  // format record, three numbers, the 0
}

TEST_F(SelectionTest, RepeatedNumberTakesItsLaterPosition) {
  ASSERT_EQ(select(list({7, 3, 7, 0})), -1);
  EXPECT_EQ(run->selection.meaning_count, 3);
  EXPECT_EQ(map()[7], 3);
  EXPECT_EQ(map()[3], 2);
}

TEST_F(SelectionTest, ZeroOrBlankRecordEndsTheList) {
  ASSERT_EQ(select(list({0})), -1);
  EXPECT_EQ(run->selection.meaning_count, 0);
  ASSERT_EQ(select("(I3)\n\n"), -1);
  EXPECT_EQ(run->selection.meaning_count, 0);
  for (int k = 1; k <= 100; ++k) ASSERT_EQ(map()[k], 0) << k;
}

TEST_F(SelectionTest, FormatComesFromTheFirst72Columns) {
  // The number stands in columns 4-6; columns after 72 of the format record
  // are not part of the format.
  std::string format = "(3X,I3)";
  format.resize(72, ' ');
  format += "this is not read";
  ASSERT_EQ(select(format + "\nab 17 \n   99\n      \n"), -1);
  EXPECT_EQ(run->selection.meaning_count, 2);
  EXPECT_EQ(map()[17], 1);
  EXPECT_EQ(map()[99], 2);
}

TEST_F(SelectionTest, FortySelectedMeaningsFitTheStore) {
  std::string s = "(I3)\n";
  for (int k = 60; k > 20; --k) s += std::to_string(k) + "\n";
  ASSERT_EQ(select(s + "0\n"), -1);
  EXPECT_EQ(run->selection.meaning_count, 40);
  EXPECT_EQ(map()[60], 1);
  EXPECT_EQ(map()[21], 40);
}

TEST_F(SelectionTest, MoreThanFortyMeaningsEndTheRun) {
  std::string s = "(I3)\n";
  for (int k = 1; k <= 41; ++k) s += std::to_string(k) + "\n";
  EXPECT_EQ(select(s + "0\n"), 1);
  // The 41st number stands in record 42.
  EXPECT_NE(err.data.find("record 42"), std::string::npos) << err.data;
  EXPECT_NE(err.data.find("40"), std::string::npos) << err.data;
  EXPECT_EQ(out.data, "");
}

TEST_F(SelectionTest, MeaningNumberOutsideTheMapEndsTheRun) {
  EXPECT_EQ(select(list({4, 101, 0})), 1);
  EXPECT_NE(err.data.find("record 3"), std::string::npos) << err.data;
  EXPECT_NE(err.data.find("101"), std::string::npos) << err.data;
  EXPECT_NE(err.data.find("100"), std::string::npos) << err.data;
  EXPECT_EQ(select(list({-3, 0})), 1);
  EXPECT_NE(err.data.find("-3"), std::string::npos) << err.data;
  EXPECT_EQ(out.data, "");
}

TEST_F(SelectionTest, EndOfInputInsideTheListIsAnInputFailure) {
  EXPECT_EQ(select(list({4, 5})), 1);
}

TEST_F(SelectionTest, InventoryEndsAtABlankColumnOne) {
  ASSERT_EQ(inventory("p\na  17\nt\n 12\ns\n"), -1);
  EXPECT_EQ(run->codes.inventory.symbol_count, 3);
  EXPECT_EQ(run->codes.inventory.symbols[1], 'p');
  EXPECT_EQ(run->codes.inventory.symbols[2], 'a');  // its number is not read
  EXPECT_EQ(run->codes.inventory.symbols[3], 't');
  EXPECT_EQ(run->codes.last_code, 9);
  EXPECT_EQ(run->codes.pairs.count, 0);
  EXPECT_EQ(run->codes.triples.count, 0);
  EXPECT_EQ(run->scan.record_number, 4);
}

TEST_F(SelectionTest, InventoryOfThirtySymbols) {
  std::string s;
  for (int i = 0; i < 30; ++i) s += std::string(1, static_cast<char>('A' + i)) + "\n";
  ASSERT_EQ(inventory(s + "\n"), -1);
  EXPECT_EQ(run->codes.inventory.symbol_count, 30);
  EXPECT_EQ(run->codes.last_code, 90);
}

TEST_F(SelectionTest, HundredSymbolsNeedNoTerminator) {
  std::string s;
  for (int i = 0; i < 100; ++i) s += std::string(1, static_cast<char>('!' + i)) + "\n";
  ASSERT_EQ(inventory(s + "next record\n"), -1);
  EXPECT_EQ(run->codes.inventory.symbol_count, 100);
  EXPECT_EQ(run->codes.last_code, 300);
  EXPECT_EQ(run->scan.record_number, 100);
  // The record after the hundredth symbol is still unread.
  char first = 0;
  begin_read(*io, "(A1)");
  read_character(*io, first);
  end_read(*io);
  EXPECT_EQ(first, 'n');
}

}  // namespace
}  // namespace plix
