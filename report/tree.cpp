#include "report/tree.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <span>

#include "database/grouping.h"
#include "report/report.h"

namespace plix {

namespace {

const char* key_of(const ClassificationTree& tree, int slot) {
  return tree.keys.data() + static_cast<std::size_t>(slot - 1) * RECORD_WIDTH;
}

// Commas among the leading characters that two keys share: the number of
// components the grouping sees them share.
int shared_commas(const ClassificationTree& tree, int a, int b) {
  const char* x = key_of(tree, a);
  const char* y = key_of(tree, b);
  const int n = std::min(tree.key_length[a], tree.key_length[b]);
  int commas = 0;
  for (int i = 0; i < n && x[i] == y[i]; ++i) commas += x[i] == ',';
  return commas;
}

}  // namespace

void build_tree(const LanguageOrigins& origins, int language_count, ClassificationTree& tree) {
  const int n = language_count;
  tree = ClassificationTree{};
  tree.language_count = n;
  tree.keys.assign(static_cast<std::size_t>(n) * RECORD_WIDTH, ' ');
  tree.key_length.assign(n + 1, 0);
  for (int l = 1; l <= n; ++l) {
    const char* line = origins.header[l];
    const void* bar = std::memchr(line, '|', RECORD_WIDTH);
    const int bar_column = bar ? static_cast<int>(static_cast<const char*>(bar) - line) + 2
                               : RECORD_WIDTH + 1;
    char key[RECORD_WIDTH];
    const int length = build_branch_key(line, bar_column, origins.code[l], key);
    std::memcpy(tree.keys.data() + static_cast<std::size_t>(l - 1) * RECORD_WIDTH, key,
                static_cast<std::size_t>(length));
    tree.key_length[l] = static_cast<std::int16_t>(length);
  }

  // In key order the languages of every node are adjacent, and two
  // languages share the least of the shared commas of the neighbours
  // between them.
  std::vector<std::int32_t> order(n);
  for (int l = 1; l <= n; ++l) order[l - 1] = l;
  std::sort(order.begin(), order.end(), [&](int a, int b) {
    const int la = tree.key_length[a], lb = tree.key_length[b];
    const int c = std::memcmp(key_of(tree, a), key_of(tree, b), std::min(la, lb));
    if (c != 0) return c < 0;
    return la != lb ? la < lb : a < b;
  });
  std::vector<int> shared(n + 1, 0);  // shared[k]: with the neighbour before, 0 at the ends
  for (int k = 1; k < n; ++k) shared[k] = shared_commas(tree, order[k - 1], order[k]);

  // The nodes of each language in key order, root first.
  tree.nodes.push_back(TreeNode{});
  std::vector<std::int32_t> path{0};  // the nodes of the current language, by depth
  std::vector<std::int32_t> sorted_begin(n + 1, 0), sorted_chain;
  for (int k = 0; k < n; ++k) {
    const int l = order[k];
    const int deepest = std::max(shared[k], shared[k + 1]);
    path.resize(shared[k] + 1);
    // The components of its key: the text before each comma.
    const char* key = key_of(tree, l);
    int begin = 0, depth = 0;
    for (int i = 0; i < tree.key_length[l] && depth < deepest; ++i) {
      if (key[i] != ',') continue;
      ++depth;
      if (depth > shared[k]) {
        TreeNode node;
        node.parent = path.back();
        node.depth = depth;
        node.label_slot = l;
        node.label_begin = static_cast<std::int16_t>(begin);
        node.label_length = static_cast<std::int16_t>(i - begin);
        path.push_back(static_cast<std::int32_t>(tree.nodes.size()));
        tree.nodes.push_back(node);
      }
      begin = i + 1;
    }
    sorted_chain.insert(sorted_chain.end(), path.begin(), path.end());
    sorted_begin[k + 1] = static_cast<std::int32_t>(sorted_chain.size());
    tree.max_depth = std::max(tree.max_depth, deepest);
  }

  // The same by slot.
  std::vector<std::int32_t> position(n + 1, 0);
  for (int k = 0; k < n; ++k) position[order[k]] = k;
  tree.chain_begin.assign(n + 2, 0);
  tree.chain.reserve(sorted_chain.size());
  for (int l = 1; l <= n; ++l) {
    const int k = position[l];
    tree.chain.insert(tree.chain.end(), sorted_chain.begin() + sorted_begin[k],
                      sorted_chain.begin() + sorted_begin[k + 1]);
    tree.chain_begin[l + 1] = static_cast<std::int32_t>(tree.chain.size());
    for (int c = tree.chain_begin[l]; c < tree.chain_begin[l + 1]; ++c) {
      TreeNode& node = tree.nodes[tree.chain[c]];
      if (node.languages++ == 0) node.first_slot = l;
    }
  }

  // Children in order of first appearance: nodes by their lowest slot,
  // languages by their own.
  struct Entry {
    std::int32_t parent, first, child;
  };
  std::vector<Entry> entries;
  entries.reserve(tree.nodes.size() + n);
  for (std::size_t t = 1; t < tree.nodes.size(); ++t)
    entries.push_back({tree.nodes[t].parent, tree.nodes[t].first_slot, static_cast<std::int32_t>(t)});
  for (int l = 1; l <= n; ++l) entries.push_back({tree.chain[tree.chain_begin[l + 1] - 1], l, -l});
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    return a.parent != b.parent ? a.parent < b.parent : a.first < b.first;
  });
  tree.child_begin.assign(tree.nodes.size() + 1, 0);
  for (const Entry& e : entries) {
    ++tree.child_begin[e.parent + 1];
    tree.children.push_back(e.child);
  }
  for (std::size_t t = 0; t < tree.nodes.size(); ++t) tree.child_begin[t + 1] += tree.child_begin[t];
}

double structural_pairs(const ClassificationTree& tree, int t) {
  const double all = tree.nodes[t].languages;
  double within = 0;
  for (int k = tree.child_begin[t]; k < tree.child_begin[t + 1]; ++k) {
    const int c = tree.children[k];
    const double size = c < 0 ? 1.0 : tree.nodes[c].languages;
    within += size * size;
  }
  return (all * all - within) / 2;
}

NodeDate node_date(const RunParameters& params, const TreeNode& node) {
  NodeDate date;
  if (node.pair_count == 0.0) return date;
  // As the report: the quotient in double, rounded once to single.
  date.has_mean = true;
  date.mean = static_cast<float>(node.similarity_sum / node.pair_count);
  if (date.mean >= AGE_THRESHOLD) {
    const std::int32_t age = estimate_age(params, date.mean);
    date.dated = printable_age(age);
    date.masked = !date.dated;
    if (date.dated) date.age = age;
  }
  return date;
}

namespace {

// Whether the run's own tally holds the tree's nodes of depth `level`: each
// node of that depth is one node of the run with the same pair count, and
// a language that no node of that depth holds lies in a node without pairs.
bool tally_matches_depth(const LanguageStore& store, const BranchTable& branches,
                         const NodeTally& level_tally, int level, const ClassificationTree& tree,
                         std::vector<std::int32_t>& run_node) {
  std::vector<std::int32_t> tree_node(branches.node_count + 1, -1);  // -2: a lone language
  run_node.assign(tree.nodes.size(), 0);
  for (int l = 1; l <= tree.language_count; ++l) {
    const int n = branches.node_of[store.branch_of[l]];
    const int held = tree.chain_begin[l + 1] - tree.chain_begin[l];
    const int t = level < held ? tree.chain[tree.chain_begin[l] + level] : -2;
    if (tree_node[n] == -1) tree_node[n] = t;
    if (tree_node[n] != t) return false;
    if (t == -2) {
      if (level_tally.pair_count[n] != 0.0) return false;
      continue;
    }
    if (run_node[t] == 0) run_node[t] = n;
    if (run_node[t] != n) return false;
  }
  for (std::size_t t = 0; t < tree.nodes.size(); ++t)
    if (tree.nodes[t].depth == level &&
        level_tally.pair_count[run_node[t]] != structural_pairs(tree, static_cast<int>(t)))
      return false;
  return true;
}

}  // namespace

TreeFault tally_tree(LanguageStore& store, const BranchTable& branches,
                     const NodeTally& level_tally, std::int32_t level, int meaning_count,
                     ByteSink* progress, ClassificationTree& tree, int first_depth,
                     int last_depth, const TreeReplicates* replicates) {
  TreeFault fault;
  const int nlang = tree.language_count;
  const int nmean = std::min(meaning_count, MAX_MEANINGS);
  // Node numbers grouped by depth: those of depth d in
  // at_depth[depth_begin[d] .. depth_begin[d + 1]).
  std::vector<std::int32_t> depth_begin(tree.max_depth + 2, 0), at_depth(tree.nodes.size());
  for (const TreeNode& node : tree.nodes) ++depth_begin[node.depth + 1];
  for (int d = 0; d <= tree.max_depth; ++d) depth_begin[d + 1] += depth_begin[d];
  {
    std::vector<std::int32_t> fill(depth_begin.begin(), depth_begin.end() - 1);
    for (std::size_t t = 0; t < tree.nodes.size(); ++t)
      at_depth[fill[tree.nodes[t].depth]++] = static_cast<std::int32_t>(t);
  }
  auto by_depth = [&](int d) {
    return std::span<const std::int32_t>(at_depth.data() + depth_begin[d],
                                         at_depth.data() + depth_begin[d + 1]);
  };

  const int stride = replicates != nullptr ? replicates->weights.stride : 0;
  if (replicates != nullptr) replicates->nodes->reset(tree.nodes.size(), stride, "the replicate sums of the tree");
  // Row `from` of replicate sums into the row of tree node t.
  auto take_replicates = [&](const ReplicateSums& sums, std::size_t from, std::int32_t t) {
    const std::size_t a = from * stride, b = static_cast<std::size_t>(t) * stride;
    std::copy_n(sums.sum.begin() + a, stride, replicates->nodes->sum.begin() + b);
    std::copy_n(sums.count.begin() + a, stride, replicates->nodes->count.begin() + b);
  };

  std::vector<std::int32_t> run_node;
  const bool run_level_taken = (replicates == nullptr || replicates->level != nullptr) &&
                               level >= first_depth && level <= last_depth &&
                               level >= 0 && level <= tree.max_depth &&
                               tally_matches_depth(store, branches, level_tally, level, tree, run_node);
  if (run_level_taken) {
    for (const std::int32_t t : by_depth(level)) {
      tree.nodes[t].pair_count = level_tally.pair_count[run_node[t]];
      tree.nodes[t].similarity_sum = level_tally.similarity_sum[run_node[t]];
      if (replicates != nullptr) take_replicates(*replicates->level, run_node[t], t);
    }
  }

  // The other levels: languages grouped as a run at that LEVEL would group
  // them, one node per tree node of that depth and one branch per child.
  // Languages no node of that depth holds share one branch of a node of
  // their own, so they pair with nobody.
  const std::vector<std::int32_t> saved(store.branch_of.data() + 1, store.branch_of.data() + nlang + 1);
  auto grouping = std::make_unique<BranchTable>();
  auto tally = std::make_unique<NodeTally>();
  // Each language adds at most one branch, and one node at most.
  if (!grouping->node_of.grow_to(static_cast<std::size_t>(nlang) + 1))
    throw EngineOutOfMemory{"the node numbers of the tree's levels",
                            grouping->node_of.bytes_for(static_cast<std::size_t>(nlang) + 1)};
  std::vector<std::int32_t> as_node(tree.nodes.size(), 0), as_branch(tree.nodes.size(), 0);
  EngineOptions options;
  options.progress = progress;
  ReplicateSums level_sums;
  if (replicates != nullptr) {
    options.replicate_weights = &replicates->weights;
    options.replicate_sums = &level_sums;
  }
  for (int depth = std::max(first_depth, 0); depth <= std::min(last_depth, tree.max_depth); ++depth) {
    if (run_level_taken && depth == level) continue;
    double pairs = 0;
    for (const std::int32_t t : by_depth(depth)) pairs += structural_pairs(tree, t);
    if (pairs == 0) continue;
    int node_count = 0, branch_count = 0, apart = 0;
    for (const std::int32_t t : by_depth(depth)) as_node[t] = ++node_count;
    for (int l = 1; l <= nlang; ++l) {
      const int first = tree.chain_begin[l], held = tree.chain_begin[l + 1] - first;
      int b;
      if (depth >= held) {
        if (apart == 0) {
          apart = ++branch_count;
          grouping->node_of[apart] = ++node_count;
        }
        b = apart;
      } else if (depth + 1 < held) {
        const int child = tree.chain[first + depth + 1];
        if (as_branch[child] == 0) {
          as_branch[child] = ++branch_count;
          grouping->node_of[as_branch[child]] = as_node[tree.chain[first + depth]];
        }
        b = as_branch[child];
      } else {
        b = ++branch_count;
        grouping->node_of[b] = as_node[tree.chain[first + depth]];
      }
      store.branch_of[l] = b;
    }
    grouping->node_count = node_count;
    grouping->branch_count = branch_count;
    fault.pair = engine_aggregate(store, *grouping, nlang, nmean, *tally, options);
    if (fault.pair.kind != FpFault::none) {
      fault.level = depth;
      break;
    }
    for (const std::int32_t t : by_depth(depth)) {
      tree.nodes[t].pair_count = tally->pair_count[as_node[t]];
      tree.nodes[t].similarity_sum = tally->similarity_sum[as_node[t]];
      if (replicates != nullptr) take_replicates(level_sums, as_node[t], t);
    }
  }
  std::copy(saved.begin(), saved.end(), store.branch_of.data() + 1);
  return fault;
}

}  // namespace plix
