// Classification grouping: every admitted language is placed in a branch,
// and every branch in a node, by the commas its classification path shares
// with the paths of the branches seen so far.
#pragma once

#include "database/scan_state.h"

namespace plix {

// Writes the key of the header record `line` (400 columns) into `key` and
// returns its length (1..400): the text from `bar_column` (1-based, the
// column after the first '|') up to the first '@', then ',', the three
// characters of `language_code` and ',', cut at 400 characters.
int build_branch_key(const char* line, int bar_column, const char* language_code,
                     char (&key)[RECORD_WIDTH]);

// Builds the key of the header record `line` with build_branch_key. Sets
// branch_of[open_slot] to the first branch sharing more than LEVEL commas,
// or to a new branch, in the node of the last branch sharing exactly LEVEL,
// or else in a new node. The branch table grows as branches are added.
void assign_branch(const ScanContext& db, const char* line, int bar_column, const char* language_code);

}  // namespace plix
