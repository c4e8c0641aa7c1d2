#include "database/store.h"

#include <cstring>

namespace plix {

void clear_branch_table(BranchTable& table) {
  std::memset(table.branch_key, ' ', sizeof table.branch_key);
  std::memset(table.node_of, 0, sizeof table.node_of);
  std::memset(table.member_count, 0, sizeof table.member_count);
  table.branch_count = 0;
  table.node_count = 0;
  table.index.indexed = -1;
}

}  // namespace plix
