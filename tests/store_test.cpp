#include <gtest/gtest.h>

#include <memory>

#include "database/store.h"

namespace plix {
namespace {

TEST(BranchTable, ClearingBlanksKeysAndZeroesCounts) {
  auto table = std::make_unique<BranchTable>();
  table->branch_key[7][3] = 'x';
  table->member_count[8000] = 5;
  table->branch_count = 3;
  clear_branch_table(*table);
  EXPECT_EQ(table->branch_key[7][3], ' ');
  EXPECT_EQ(table->branch_key[8000][399], ' ');
  EXPECT_EQ(table->member_count[8000], 0);
  EXPECT_EQ(table->branch_count, 0);
  EXPECT_EQ(table->node_count, 0);
}

}  // namespace
}  // namespace plix
