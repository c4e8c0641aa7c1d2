// The classification tree of the retained languages, every node of every
// level dated in one pass over the language pairs.
//
// Two languages whose keys share exactly L comma-terminated leading
// components are the pair that a run at LEVEL L counts: such a run puts
// them in one node (they share L commas) and in different branches (they
// do not share L + 1). So every pair belongs to exactly one level, and the
// node of depth L of the tree, the languages whose keys begin with the same
// L components, tallies exactly the pairs of that node at LEVEL L, in the
// same order.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "database/origins.h"
#include "database/settings.h"
#include "database/store.h"
#include "report/aggregate.h"
#include "report/pair_engine.h"

namespace plix {

struct TreeNode {
  std::int32_t parent = -1;  // -1 for the root
  std::int32_t depth = 0;    // leading components its languages share; the root 0
  std::int32_t label_slot = 0;  // a language whose key holds the node's component
  std::int16_t label_begin = 0, label_length = 0;
  std::int32_t first_slot = 0;  // lowest slot below it: children are in this order
  std::int32_t languages = 0;   // languages below it
  double pair_count = 0;       // pairs that part here, as a run at LEVEL depth counts them
  double similarity_sum = 0;
};

// What resampling the meanings gave for one node: the 2.5 % and 97.5 %
// quantiles of the replicate ages (years before present) and similarities,
// and the share of replicates whose age fell outside the nesting.
struct NodeInterval {
  bool has_age = false;  // false when too few replicates dated the node
  double age_low = 0, age_high = 0;
  double similarity_low = 0, similarity_high = 0;
  double outside_nesting = 0;  // 0..1
};

// A node given a known age by --calibrate.
struct CalibrationMark {
  std::int32_t node = 0;
  double known_age = 0;
};

// A node dated from fewer pairs than this is flagged weak in every result file.
constexpr double WEAK_NODE_PAIRS = 3;
inline bool is_weak_node(const TreeNode& node) {
  return node.pair_count > 0 && node.pair_count < WEAK_NODE_PAIRS;
}

// Nodes that hold at least two languages; a language hangs from the deepest
// node that holds it with another one. Node 0 is the root (depth 0).
struct ClassificationTree {
  int language_count = 0;
  int max_depth = 0;
  std::vector<TreeNode> nodes;
  std::vector<char> keys;  // RECORD_WIDTH bytes per slot, slot 1 first
  std::vector<std::int16_t> key_length;
  // Children of node t: children[child_begin[t] .. child_begin[t + 1]), a
  // node number, or -slot for a language, in order of first appearance.
  std::vector<std::int32_t> child_begin, children;
  // The nodes that hold slot l, root first: chain[chain_begin[l] ..
  // chain_begin[l + 1]).
  std::vector<std::int32_t> chain_begin, chain;
  // Filled by --bootstrap, one entry per node; empty when no resampling ran.
  std::vector<NodeInterval> intervals;
  // Filled by --calibrate: the nodes given a known age, for the picture's marks.
  std::vector<CalibrationMark> calibration_marks;
};

// Builds the tree of retained languages 1..language_count from their keys.
void build_tree(const LanguageOrigins& origins, int language_count, ClassificationTree& tree);

inline std::string_view node_label(const ClassificationTree& tree, const TreeNode& node) {
  return {tree.keys.data() + static_cast<std::size_t>(node.label_slot - 1) * RECORD_WIDTH +
              node.label_begin,
          static_cast<std::size_t>(node.label_length)};
}

// The pairs of node t as counted from its children's sizes.
double structural_pairs(const ClassificationTree& tree, int t);

// What a report at LEVEL depth prints for a node: the mean when it has
// pairs, the age when the mean reaches AGE_THRESHOLD and the age fits the
// report's field. `masked` is set, and `dated` not, when the report shows
// asterisks instead of the age.
struct NodeDate {
  bool has_mean = false;
  float mean = 0;
  bool dated = false;
  bool masked = false;
  std::int32_t age = 0;
};
NodeDate node_date(const RunParameters& params, const TreeNode& node);

// A pair without a similarity met while dating the tree, and its level.
struct TreeFault {
  EngineFault pair;
  int level = 0;
};

// Fills the tallies of every node. `level_tally` is the tally of the run's
// own LEVEL over `branches`; its nodes are taken over rather than counted
// again when they are the tree's nodes of that depth. The other levels are
// counted by the pair engine, one call per level over a grouping made from
// the tree; store.branch_of is used for it and restored before returning.
// Only depths first_depth..last_depth are counted; the others keep no pairs.
//
// With `replicates`, the same pass also sums the replicates of those
// weights per tree node into replicates->nodes. The run's level is taken
// over only with its replicate sums (replicates->level, over `branches`).
struct TreeReplicates {
  ReplicateWeights weights;
  const ReplicateSums* level = nullptr;
  ReplicateSums* nodes = nullptr;
};
TreeFault tally_tree(LanguageStore& store, const BranchTable& branches,
                     const NodeTally& level_tally, std::int32_t level, int meaning_count,
                     ByteSink* progress, ClassificationTree& tree, int first_depth = 0,
                     int last_depth = INT32_MAX, const TreeReplicates* replicates = nullptr);

}  // namespace plix
