#include "database/store.h"

namespace plix {

void grow_store(TextIO& io, LanguageStore& store, int slot) {
  const auto last = static_cast<std::size_t>(slot);
  store.branch_of.grow_to(io, last);
  store.word_length.grow_to(io, last);
  store.sound_codes.grow_to(io, last);
}

bool grow_store(LanguageStore& store, int slot) {
  const auto last = static_cast<std::size_t>(slot);
  return store.branch_of.grow_to(last) && store.word_length.grow_to(last) &&
         store.sound_codes.grow_to(last);
}

void clear_branch_table(BranchTable& table) {
  table.branch_key.refill();
  table.node_of.refill();
  table.member_count.refill();
  table.branch_count = 0;
  table.node_count = 0;
  table.index.indexed = -1;
}

void grow_branch_table(TextIO& io, BranchTable& table, int branch) {
  const auto last = static_cast<std::size_t>(branch);
  table.branch_key.grow_to(io, last);
  table.node_of.grow_to(io, last);
  table.member_count.grow_to(io, last);
  grow_branch_index(io, table.index, branch);
}

bool grow_branch_table(BranchTable& table, int branch) {
  const auto last = static_cast<std::size_t>(branch);
  return table.branch_key.grow_to(last) && table.node_of.grow_to(last) &&
         table.member_count.grow_to(last) && grow_branch_index(table.index, branch);
}

}  // namespace plix
