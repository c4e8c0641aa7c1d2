#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include "database/store.h"

namespace plix {
namespace {

TEST(GrowingTable, RowsSurviveEveryStepAndNewRowsAreFilled) {
  for (std::size_t step : {1, 7, 0}) {
    const TableStepForTesting steps(step);
    GrowingTable<char[6]> t{"the test rows", "rows", '.'};
    for (int last = 0; last < 3000; last += 1 + last / 100) {
      const std::size_t before = t.rows();
      ASSERT_TRUE(t.grow_to(static_cast<std::size_t>(last)));
      ASSERT_EQ(t.rows(), static_cast<std::size_t>(last) + 1);
      for (std::size_t r = before; r <= static_cast<std::size_t>(last); ++r) {
        ASSERT_EQ(std::memcmp(t[r], "......", 6), 0) << r;
        std::memcpy(t[r], &r, sizeof(std::uint32_t));
      }
    }
    for (std::size_t r = 0; r < t.rows(); ++r) {
      std::uint32_t v = 0;
      std::memcpy(&v, t[r], sizeof v);
      ASSERT_EQ(v, r) << step;
    }
    const std::size_t rows = t.rows();
    ASSERT_TRUE(t.grow_to(5));  // rows that exist stay as they are
    EXPECT_EQ(t.rows(), rows);
  }
}

TEST(GrowingTable, StorageThatCannotBeHadLeavesTheTableAsItWas) {
  GrowingTable<char[1024]> t{"the test rows", "rows"};
  ASSERT_TRUE(t.grow_to(3));
  t[3][0] = 'x';
  EXPECT_FALSE(t.grow_to(SIZE_MAX / 512));  // more bytes than a size holds
  EXPECT_EQ(t.rows(), 4u);
  EXPECT_EQ(t[3][0], 'x');
}

TEST(BranchTable, ClearingBlanksKeysAndZeroesCounts) {
  auto table = std::make_unique<BranchTable>();
  ASSERT_TRUE(grow_branch_table(*table, 9000));
  table->branch_key[7][3] = 'x';
  table->member_count[9000] = 5;
  table->branch_count = 3;
  clear_branch_table(*table);
  EXPECT_EQ(table->branch_key[7][3], ' ');
  EXPECT_EQ(table->branch_key[9000][399], ' ');
  EXPECT_EQ(table->member_count[9000], 0);
  EXPECT_EQ(table->branch_count, 0);
  EXPECT_EQ(table->node_count, 0);
}

}  // namespace
}  // namespace plix
