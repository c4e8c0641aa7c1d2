#include "report/results.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "report/report.h"
#include "textio/editing.h"
#include "textio/result_file.h"
#include "textio/textio.h"

namespace plix {

namespace {

void write_number(ResultFile& file, long long value) {
  char text[24];
  std::size_t n = 0;
  if (value < 0) text[n++] = '-';
  n += format_unsigned(text + n, static_cast<unsigned long long>(value < 0 ? -value : value));
  file.write(text, n);
}

void write_significant(ResultFile& file, float value) {
  char text[SIGNIFICANT_TEXT];
  file.write(text, format_significant(text, value));
}

}  // namespace

namespace {

// Per node of the run, the fewest and the mean number of meanings that its
// pairs both attest.
void shared_meanings(const LanguageStore& store, const BranchTable& branches, int language_count,
                     int meaning_count, std::vector<int>& least, std::vector<double>& mean) {
  const int nmean = std::min(meaning_count, MAX_MEANINGS);
  std::vector<std::uint64_t> attested(static_cast<std::size_t>(language_count) + 1, 0);
  for (int l = 1; l <= language_count; ++l)
    for (int m = 1; m <= nmean; ++m)
      if (word_length(store, l, m, 1) != 0) attested[l] |= std::uint64_t{1} << (m - 1);
  least.assign(static_cast<std::size_t>(branches.node_count) + 1, INT32_MAX);
  mean.assign(static_cast<std::size_t>(branches.node_count) + 1, 0.0);
  std::vector<double> pairs(static_cast<std::size_t>(branches.node_count) + 1, 0.0);
  for (int i = 1; i < language_count; ++i) {
    const int bi = store.branch_of[i], k = branches.node_of[bi];
    for (int j = i + 1; j <= language_count; ++j) {
      const int bj = store.branch_of[j];
      if (bj == bi || branches.node_of[bj] != k) continue;
      const int shared = std::popcount(attested[i] & attested[j]);
      least[k] = std::min(least[k], shared);
      mean[k] += shared;
      pairs[k] += 1;
    }
  }
  for (int k = 1; k <= branches.node_count; ++k)
    if (pairs[k] > 0) mean[k] /= pairs[k];
}

// The tree node of depth `level` that is run node k: the one that holds its
// languages and has its pairs; -1 when the run grouped them otherwise.
int tree_node_of(const ClassificationTree& tree, const LanguageStore& store,
                 const BranchTable& branches, const NodeTally& tally, int k, std::int32_t level) {
  for (int l = 1; l <= tree.language_count; ++l) {
    if (branches.node_of[store.branch_of[l]] != k) continue;
    if (level < 0 || tree.chain_begin[l] + level >= tree.chain_begin[l + 1]) return -1;
    const int t = tree.chain[tree.chain_begin[l] + level];
    return tree.nodes[t].pair_count == tally.pair_count[k] ? t : -1;
  }
  return -1;
}

void write_age(ResultFile& file, const RunParameters& params, float mean) {
  if (!(mean >= AGE_THRESHOLD)) return;
  const std::int32_t age = estimate_age(params, mean);
  if (printable_age(age)) write_number(file, age);
}

}  // namespace

void write_node_table(ResultFile& file, const RunParameters& params, const BranchTable& branches,
                      const NodeTally& tally, const LanguageStore& store, int language_count,
                      int meaning_count, const ClassificationTree* tree) {
  file.write("node\tlabel\tbranches\tlanguages\tpairs\tmean\tmean_report\tage\tshared_least\t"
             "shared_mean\tweak\tparent_age\tnesting\tage_low\tage_high\tsimilarity_low\t"
             "similarity_high\toutside_nesting\n");
  std::vector<int> least;
  std::vector<double> shared_mean;
  shared_meanings(store, branches, language_count, meaning_count, least, shared_mean);
  for (int k = 1; k <= branches.node_count; ++k) {
    if (tally.pair_count[k] == 0.0) continue;
    int listed = 0, languages = 0;
    std::string_view shared;
    for (int b = 1; b <= branches.branch_count; ++b) {
      if (branches.node_of[b] != k || branches.member_count[b] == 0) continue;
      // The first LEVEL components, which every branch of the node shares.
      if (listed++ == 0 && params.LEVEL > 0) shared = branch_components(branches, b, params.LEVEL - 1);
      languages += branches.member_count[b];
    }
    const float mean = static_cast<float>(tally.similarity_sum[k] / tally.pair_count[k]);
    char shown[8];
    edit_fixed(mean, 8, 2, 0, false, shown);
    std::size_t lead = 0;
    while (lead < 8 && shown[lead] == ' ') ++lead;
    write_number(file, k);
    file.write("\t", 1);
    write_tsv_text(file, shared);
    file.write("\t", 1);
    write_number(file, listed);
    file.write("\t", 1);
    write_number(file, languages);
    file.write("\t", 1);
    write_number(file, static_cast<long long>(tally.pair_count[k]));
    file.write("\t", 1);
    write_significant(file, mean);
    file.write("\t", 1);
    file.write(shown + lead, 8 - lead);
    file.write("\t", 1);
    write_age(file, params, mean);
    file.write("\t", 1);
    write_number(file, least[k]);
    file.write("\t", 1);
    write_significant(file, static_cast<float>(shared_mean[k]));
    file.write(tally.pair_count[k] < WEAK_NODE_PAIRS ? "\t1\t" : "\t0\t");
    // The parent: the nearest ancestor in the tree with pairs of its own.
    const int t = tree ? tree_node_of(*tree, store, branches, tally, k, params.LEVEL) : -1;
    int up = t < 0 ? -1 : tree->nodes[t].parent;
    while (up > 0 && tree->nodes[up].pair_count == 0) up = tree->nodes[up].parent;
    const NodeDate own = node_date(params, t < 0 ? TreeNode{} : tree->nodes[t]);
    const NodeDate parent = node_date(params, up < 0 ? TreeNode{} : tree->nodes[up]);
    if (parent.dated) write_number(file, parent.age);
    file.write("\t", 1);
    const NodeInterval* interval =
        t >= 0 && static_cast<std::size_t>(t) < tree->intervals.size() ? &tree->intervals[t] : nullptr;
    if (own.dated && parent.dated) {
      // Beyond the node's interval where there is one, else its age alone.
      const bool bounded = interval != nullptr && interval->has_age;
      const double low = bounded ? interval->age_low : own.age;
      const double high = bounded ? interval->age_high : own.age;
      if (low > parent.age) file.write("older");
      if (high < parent.age) file.write("younger");
    }
    if (interval != nullptr) {
      file.write("\t", 1);
      if (interval->has_age) write_number(file, static_cast<long long>(interval->age_low));
      file.write("\t", 1);
      if (interval->has_age) write_number(file, static_cast<long long>(interval->age_high));
      file.write("\t", 1);
      write_significant(file, static_cast<float>(interval->similarity_low));
      file.write("\t", 1);
      write_significant(file, static_cast<float>(interval->similarity_high));
      file.write("\t", 1);
      write_significant(file, static_cast<float>(interval->outside_nesting));
      file.write("\n", 1);
    } else {
      file.write("\t\t\t\t\t\n");
    }
  }
}

namespace {

class PairListWriter final : public PairSink {
 public:
  PairListWriter(ResultFile& file, const LanguageOrigins& origins, const LanguageStore& store,
                 const BranchTable& branches, int language_count, std::int32_t level)
      : file_(file), begin_(static_cast<std::size_t>(language_count) + 2, 0) {
    // Each language's columns once: name, code, header record, branch label.
    char number[24];
    auto add = [&](std::string_view text) {
      for (char c : text) text_.push_back(c == '\t' ? ' ' : c);
    };
    text_.reserve(static_cast<std::size_t>(language_count) * 64);
    for (int l = 1; l <= language_count; ++l) {
      begin_[l] = text_.size();
      add(header_name(origins, l));
      text_.push_back('\t');
      add(language_code(origins, l));
      text_.push_back('\t');
      add({number, format_unsigned(number, static_cast<unsigned long long>(origins.header_record[l]))});
      text_.push_back('\t');
      add(branch_components(branches, store.branch_of[l], level));
      longest_ = std::max(longest_, text_.size() - begin_[l]);
    }
    begin_[language_count + 1] = text_.size();
    file_.write("node\tname_1\tcode_1\trecord_1\tbranch_1\tname_2\tcode_2\trecord_2\tbranch_2\t"
                "similarity\n");
  }

  void pair(int node, int first, int second, float similarity) override {
    char* out = file_.reserve(2 * longest_ + 24 + SIGNIFICANT_TEXT);
    std::size_t n = format_unsigned(out, static_cast<unsigned>(node));
    out[n++] = '\t';
    n += put(out + n, first);
    out[n++] = '\t';
    n += put(out + n, second);
    out[n++] = '\t';
    n += format_significant(out + n, similarity);
    out[n++] = '\n';
    file_.wrote(n);
  }

 private:
  std::size_t put(char* out, int l) const {
    const std::size_t size = begin_[l + 1] - begin_[l];
    std::memcpy(out, text_.data() + begin_[l], size);
    return size;
  }

  ResultFile& file_;
  std::vector<char> text_;
  std::vector<std::size_t> begin_;
  std::size_t longest_ = 0;
};

}  // namespace

std::unique_ptr<PairSink> pair_list_writer(ResultFile& file, const LanguageOrigins& origins,
                                           const LanguageStore& store, const BranchTable& branches,
                                           int language_count, std::int32_t level) {
  return std::make_unique<PairListWriter>(file, origins, store, branches, language_count, level);
}

namespace {

std::string describe(const LanguageOrigins& origins, int l) {
  return std::string(header_name(origins, l)) + " (" + std::string(language_code(origins, l)) +
         ", record " + std::to_string(origins.header_record[l]) + ")";
}

[[noreturn]] void unmeasurable(TextIO& io, const LanguageStore& store,
                               const LanguageOrigins& origins, int nmean, const EngineFault& f) {
  bool common = false;
  for (int m = 1; m <= nmean; ++m)
    common |= word_length(store, f.first, m, 1) != 0 && word_length(store, f.second, m, 1) != 0;
  fatal_error(io, "the distance matrix needs the similarity of " + describe(origins, f.first) +
                      " and " + describe(origins, f.second) + ", which cannot be measured: " +
                      (common ? "their words of different meanings give no average to compare with"
                              : "they have no meaning in common") +
                      "; a higher WORDS keeps such short word lists out of the run");
}

// A matrix this large takes minutes and gigabytes: say so before it starts.
void announce_matrix(TextIO& io, int n, std::size_t npairs) {
  // A row holds a name, and per language a blank and a number of at most
  // SIGNIFICANT_TEXT characters.
  const std::size_t file_bytes =
      static_cast<std::size_t>(n) * (NAME_CAPACITY + 1 + static_cast<std::size_t>(n) * (SIGNIFICANT_TEXT + 1));
  const std::string line = "plix62c: the distance matrix of " + std::to_string(n) + " languages: " +
                           std::to_string(npairs) + " distances held in memory (" +
                           std::to_string(npairs * sizeof(float) >> 20) + " MB), up to " +
                           std::to_string(file_bytes >> 20) + " MB written to each distance file\n";
  error_stream(io).write(line.data(), line.size());
}

}  // namespace

void write_distance_files(TextIO& io, LanguageStore& store, const LanguageOrigins& origins,
                          const LanguageNames& names, int language_count, int meaning_count,
                          ResultFile* phylip, ResultFile* nexus) {
  const int n = language_count;
  const int nmean = std::min(meaning_count, MAX_MEANINGS);
  // The similarities of the upper triangle, computed once: a row of the
  // square matrix also needs its column, which every earlier row supplies.
  const std::size_t npairs = n < 2 ? 0 : static_cast<std::size_t>(n) * (n - 1) / 2;
  if (n >= MATRIX_NOTICE_LANGUAGES) announce_matrix(io, n, npairs);
  std::unique_ptr<float[]> upper(new (std::nothrow) float[npairs + 1]);
  if (!upper) {
    fatal_error(io, "not enough memory for the distances of " + std::to_string(n) + " languages (" +
                        std::to_string(npairs * sizeof(float) >> 20) + " MB)");
  }
  EngineOptions options;
  options.progress = &error_stream(io);
  const EngineFault fault = engine_all_pairs(store, n, nmean, upper.get(), options);
  if (fault.kind != FpFault::none) unmeasurable(io, store, origins, nmean, fault);

  char count[24];
  const std::string_view ntax(count, format_unsigned(count, static_cast<unsigned>(n)));
  if (phylip) {
    phylip->write(ntax);
    phylip->write("\n", 1);
  }
  if (nexus) {
    nexus->write("#NEXUS\nBEGIN TAXA;\n  DIMENSIONS NTAX=");
    nexus->write(ntax);
    nexus->write(";\n  TAXLABELS\n");
    for (int i = 1; i <= n; ++i) {
      nexus->write("    ");
      nexus->write(language_name(names, i));
      nexus->write("\n", 1);
    }
    nexus->write("  ;\nEND;\nBEGIN DISTANCES;\n  DIMENSIONS NTAX=");
    nexus->write(ntax);
    nexus->write(";\n  FORMAT TRIANGLE=BOTH DIAGONAL LABELS=LEFT;\n  MATRIX\n");
  }
  // One row at a time: its text is made once for both files.
  std::vector<char> row(NAME_CAPACITY + 2 + static_cast<std::size_t>(n) * (SIGNIFICANT_TEXT + 1));
  for (int i = 1; i <= n; ++i) {
    const std::string_view name = language_name(names, i);
    std::memcpy(row.data(), name.data(), name.size());
    std::size_t at = name.size();
    for (int j = 1; j <= n; ++j) {
      row[at++] = ' ';
      if (i == j) {
        row[at++] = '0';
        continue;
      }
      const float s = upper[i < j ? pair_index(n, i, j) : pair_index(n, j, i)];
      const float distance = static_cast<float>(1.0 - static_cast<double>(s) / 100.0);
      at += format_significant(row.data() + at, distance);
    }
    row[at++] = '\n';
    if (phylip) phylip->write(row.data(), at);
    if (nexus) {
      nexus->write("    ");
      nexus->write(row.data(), at);
    }
  }
  if (nexus) nexus->write("  ;\nEND;\n");
}

}  // namespace plix
