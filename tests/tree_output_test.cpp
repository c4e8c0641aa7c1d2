// The tree writers on trees made by hand: the annotations of intervals and
// weak nodes, and a classification far deeper than the call stack allows
// for a recursive walk.
#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "report/tree_output.h"
#include "tests/svg_check.h"
#include "textio/result_file.h"

namespace plix {
namespace {

namespace fs = std::filesystem;

// A chain: node t holds language t + 1 and node t + 1; the last node holds
// two languages. Node t's mean similarity is `mean(t)` over its pairs.
template <class Mean>
ClassificationTree chain_tree(int nodes, Mean mean) {
  ClassificationTree tree;
  const int n = nodes + 1;
  tree.language_count = n;
  tree.max_depth = nodes - 1;
  tree.keys.assign(static_cast<std::size_t>(n) * RECORD_WIDTH, 'g');
  tree.key_length.assign(n + 1, 1);
  tree.child_begin.push_back(0);
  for (int t = 0; t < nodes; ++t) {
    TreeNode node;
    node.parent = t - 1;
    node.depth = t;
    node.label_slot = 1;
    node.label_length = t == 0 ? 0 : 1;
    node.first_slot = t + 1;
    node.languages = n - t;
    node.pair_count = n - t - 1;
    node.similarity_sum = node.pair_count * mean(t);
    tree.nodes.push_back(node);
    tree.children.push_back(-(t + 1));
    tree.children.push_back(t + 1 < nodes ? t + 1 : -(t + 2));
    tree.child_begin.push_back(static_cast<std::int32_t>(tree.children.size()));
  }
  return tree;
}

std::unique_ptr<LanguageNames> numbered_names(int n) {
  auto names = std::make_unique<LanguageNames>();
  if (!names->name.grow_to(static_cast<std::size_t>(n))) return nullptr;
  names->language_count = n;
  for (int l = 1; l <= n; ++l) std::snprintf(names->name[l], NAME_CAPACITY, "L%d", l);
  return names;
}

RunParameters parameters() {
  RunParameters params;
  params.S0 = 86;
  params.R = 81;
  params.log_s0 = static_cast<float>(std::log10(0.86));
  params.two_log_r = static_cast<float>(2 * std::log10(0.81));
  return params;
}

fs::path scratch(const std::string& name) {
  return fs::temp_directory_path() / ("plix_tree_output_" + name + "_" + std::to_string(getpid()));
}

// Writes one result file with `write` and returns its text.
template <class Write>
std::string written(const std::string& name, Write write) {
  const fs::path path = scratch(name);
  ResultFile file;
  EXPECT_EQ(file.open(path.string()), 0);
  write(file);
  EXPECT_EQ(file.close(), 0);
  EXPECT_EQ(file.commit(), 0);
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  fs::remove(path);
  return text.str();
}

// Node 0 has 3 pairs, node 1 two (weak), node 2 one (weak); an interval
// for node 1 only, its bounds rounded to whole years; one without an age.
TEST(TreeOutput, AnnotationsOfIntervalsAndWeakNodes) {
  ClassificationTree tree = chain_tree(3, [](int t) { return 40.0 + 10 * t; });
  tree.intervals.resize(3);
  tree.intervals[1] = {true, 900.4, 1300.6, 45, 55, 0.1};
  tree.intervals[2] = {false, 0, 0, 0, 0, 0};
  const auto names = numbered_names(4);
  const RunParameters params = parameters();
  const std::string newick =
      written("notes", [&](ResultFile& f) { write_tree_newick(f, params, tree, *names); });
  const auto note = [&](int t) {
    const std::string head = t == 2 ? "L4:" : t == 1 ? ")g[&pairs=2" : ")[&pairs=3";
    const std::size_t at = newick.find(head);
    const std::size_t open = newick.find("[&", at), close = newick.find(']', at);
    return at == std::string::npos ? std::string() : newick.substr(open, close - open + 1);
  };
  EXPECT_EQ(note(0).find("HPD"), std::string::npos) << newick;
  EXPECT_EQ(note(0).find("weak"), std::string::npos) << newick;
  EXPECT_NE(note(1).find(",age_95%_HPD={900,1301},weak=true]"), std::string::npos) << newick;
  EXPECT_NE(newick.find(")g[&pairs=1,similarity=60.00,age="), std::string::npos) << newick;
  EXPECT_EQ(std::count(newick.begin(), newick.end(), '{'), 1) << newick;
}

// The picture draws a bar per interval, a triangle per known age, weak
// nodes apart, and still keeps its texts apart.
TEST(TreeOutput, PictureDrawsIntervalsCalibrationsAndWeakNodes) {
  ClassificationTree tree = chain_tree(3, [](int t) { return 40.0 + 10 * t; });
  tree.intervals.resize(3);
  tree.intervals[0] = {true, 1500, 2900, 30, 50, 0};
  tree.intervals[1] = {true, 900.4, 1300.6, 45, 55, 0.1};
  tree.calibration_marks = {{0, 2500}, {2, 400}};
  const auto names = numbered_names(4);
  const RunParameters params = parameters();
  const std::string svg = written("marks.svg", [&](ResultFile& f) { write_tree_svg(f, params, tree, *names); });
  EXPECT_EQ(svg_layout_faults(svg), "");
  const auto count = [&](const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = 0; (at = svg.find(what, at)) != std::string::npos; ++at) ++n;
    return n;
  };
  EXPECT_EQ(count("<rect x=\"10\""), 1u);                     // the legend's bar
  EXPECT_EQ(count("class=\"interval\"/>"), 3u);               // and one per interval
  EXPECT_EQ(count("class=\"calibration\"/>"), 2u);
  EXPECT_EQ(count("<circle") - 4, 2u);                          // past the legend: nodes 1 and 2 weak,
  EXPECT_EQ(count("class=\"weak\"/>"), 3u);                   // node 0 dated
  EXPECT_NE(svg.find("Calibrated (red triangles): root 2500 BP, g 400 BP"), std::string::npos);
}

// Runs `work` on a thread whose stack is `bytes` long, or the system's
// least stack where that is larger (128 KB on 64-bit ARM Linux).
template <class Work>
void on_stack_of(std::size_t bytes, Work& work) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  const long least = sysconf(_SC_THREAD_STACK_MIN);
  if (least > 0 && static_cast<std::size_t>(least) > bytes) bytes = static_cast<std::size_t>(least);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, bytes), 0);
  pthread_t thread;
  ASSERT_EQ(pthread_create(
                &thread, &attr,
                [](void* w) -> void* {
                  (*static_cast<Work*>(w))();
                  return nullptr;
                },
                &work),
            0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
}

// 5,000 nested groups written on a 64 KB stack (the sanitizers' larger
// frames get 256 KB; a recursive walk needs several MB either way).
TEST(TreeOutput, DepthIsBoundedByMemoryNotByTheStack) {
  constexpr int DEPTH = 5000;
  const ClassificationTree tree = chain_tree(DEPTH, [](int t) { return 20.0 + 60.0 * t / DEPTH; });
  const auto names = numbered_names(DEPTH + 1);
  const RunParameters params = parameters();
  std::string newick, nexus, svg;
  auto work = [&] {
    newick = written("deep.tree", [&](ResultFile& f) { write_tree_newick(f, params, tree, *names); });
    nexus = written("deep.nex", [&](ResultFile& f) { write_tree_nexus(f, params, tree, *names); });
    svg = written("deep.svg", [&](ResultFile& f) { write_tree_svg(f, params, tree, *names); });
  };
#if defined(__SANITIZE_ADDRESS__)
  on_stack_of(256 << 10, work);
#else
  on_stack_of(64 << 10, work);
#endif
  EXPECT_EQ(std::count(newick.begin(), newick.end(), '('), DEPTH);
  EXPECT_EQ(std::count(newick.begin(), newick.end(), ')'), DEPTH);
  EXPECT_EQ(std::count(newick.begin(), newick.end(), ':'), 2 * DEPTH);  // every branch but the root's
  // Ages from the means: 20 % gives 3461 years, 79.988 % 172.
  EXPECT_EQ(newick.substr(0, 9), "(L1:3.461");
  EXPECT_NE(newick.find("(L5000:0.172,L5001:0.172)g[&pairs=1,similarity=79.99,age=172,weak=true]"),
            std::string::npos);
  EXPECT_NE(nexus.find(newick.substr(0, newick.size() - 2)), std::string::npos);
  EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n");
  EXPECT_EQ(svg_layout_faults(svg), "");
}

}  // namespace
}  // namespace plix
