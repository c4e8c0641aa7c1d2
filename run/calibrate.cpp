// --calibrate: the mean similarities of nodes of any depth against their
// known ages, and the S0 and R they give.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "database/origins.h"
#include "database/scanner.h"
#include "database/table.h"
#include "report/aggregate.h"
#include "report/calibrate.h"
#include "report/report.h"
#include "report/names.h"
#include "report/tree.h"
#include "report/tree_output.h"
#include "run/check.h"
#include "run/parameters.h"
#include "run/results.h"
#include "run/run_state.h"
#include "textio/textio.h"

namespace plix {

namespace {

struct KnownAge {
  std::string name;
  double years = 0;
  int line = 0;
  int node = 0;
};

std::string trimmed(const std::string& s) {
  const std::size_t a = s.find_first_not_of(" \r");
  if (a == std::string::npos) return {};
  return s.substr(a, s.find_last_not_of(" \r") - a + 1);
}

std::string fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string padded(const std::string& s, std::size_t width, bool right) {
  if (s.size() >= width) return s;
  return right ? std::string(width - s.size(), ' ') + s : s + std::string(width - s.size(), ' ');
}

int say(ByteSink& sink, const std::string& text) {
  return sink.write(text.data(), text.size());
}

// The names key and the tree files of the dated tree, its ages from
// `fitted`; a failed write ends the run with a message naming the file.
void write_calibrated_tree(RunState& run, ResultFiles& files, const RunParameters& fitted,
                           const ClassificationTree& tree) {
  const int count = run.scan.language_count;
  if (!make_language_names(run.origins, count, files.names))
    table_out_of_memory(run.io, files.names.name.what(), "languages", static_cast<std::size_t>(count) + 1,
                        files.names.name.bytes_for(static_cast<std::size_t>(count)));
  if (files.tree_names.is_open()) {
    write_names_key(files.tree_names, run.origins, files.names);
    close_result_file(run.io, files.tree_names);
  }
  if (files.tree.is_open()) {
    write_tree_newick(files.tree, fitted, tree, files.names);
    close_result_file(run.io, files.tree);
  }
  if (files.svg.is_open()) {
    write_tree_svg(files.svg, fitted, tree, files.names);
    close_result_file(run.io, files.svg);
  }
}

}  // namespace

int calibrate_program(ByteSource& in, ByteSink& out, ByteSink& err, const std::string& ages,
                      const RunOptions* options) {
  auto refuse = [&](int line, const std::string& text) {
    say(err, "plix62c: ages file, line " + std::to_string(line) + ": " + text + "\n");
    return 1;
  };
  // The known ages: "name<TAB>years" a line; blank lines and '#' lines are
  // notes. A byte-order mark in front of the first line is no text.
  std::vector<KnownAge> known;
  int line_number = 0;
  const std::size_t first = ages.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  for (std::size_t at = first; at < ages.size();) {
    std::size_t end = ages.find('\n', at);
    if (end == std::string::npos) end = ages.size();
    const std::string line = ages.substr(at, end - at);
    at = end + 1;
    ++line_number;
    if (trimmed(line).empty() || trimmed(line)[0] == '#') continue;
    const std::size_t tab = line.find('\t');
    KnownAge k;
    k.line = line_number;
    k.name = trimmed(line.substr(0, tab == std::string::npos ? 0 : tab));
    const std::string years = tab == std::string::npos ? "" : trimmed(line.substr(tab + 1));
    if (k.name.empty() || years.empty())
      return refuse(line_number, "expected a node, a TAB and an age in years before present");
    char* stop = nullptr;
    errno = 0;
    k.years = std::strtod(years.c_str(), &stop);
    if (*stop != '\0' || errno != 0 || !std::isfinite(k.years) || !(k.years > 0))
      return refuse(line_number, "the age \"" + years + "\" of \"" + k.name +
                                     "\" is not a finite number of years above 0");
    for (const KnownAge& before : known)
      if (before.name == k.name)
        return refuse(line_number, "\"" + k.name + "\" is given again (first on line " +
                                       std::to_string(before.line) + ")");
    known.push_back(k);
  }

  QuietRun quiet;
  if (const int status = open_quiet_run(in, err, quiet)) return status;
  const TextIOHandle& io = quiet.io;
  const std::unique_ptr<RunState>& run = quiet.run;
  auto tree = std::make_unique<ClassificationTree>();
  // Removed with `files` unless put in place at the end.
  auto files = std::make_unique<ResultFiles>();
  try {
    if (options != nullptr) open_result_files(*io, *options, *files);
    read_run_input(*run);
    finish_scan(run->scan_context());
    aggregate_pairs(*io, run->store, run->branches, run->scan.language_count,
                    run->selection.meaning_count, run->tally);
    // Every node of every depth, whatever LEVEL the stream holds.
    build_tree(run->origins, run->scan.language_count, *tree);
    const TreeFault fault = tally_tree(run->store, run->branches, run->tally, run->params.LEVEL,
                                       run->selection.meaning_count, nullptr, *tree);
    if (fault.pair.kind != FpFault::none) {
      say(err, "plix62c: the calibration needs the similarity of " +
                   std::string(header_name(run->origins, fault.pair.first)) + " and " +
                   std::string(header_name(run->origins, fault.pair.second)) +
                   " (parting at depth " + std::to_string(fault.level) + "), which has no value (" +
                   std::string(fp_fault_text(fault.pair.kind)) + ")\n");
      return 1;
    }
  } catch (const RunEnd& end) {
    return end.status;
  }

  // Each name must be one node with an age.
  std::vector<CalibrationPoint> points;
  for (KnownAge& k : known) {
    const NodeLookup found = find_tree_node(*tree, k.name);
    if (found.node < 0) {
      std::string text = "\"" + k.name + "\" " +
                         (found.ambiguous ? "names several nodes; give the full path of one"
                                          : "is no node of the classification");
      for (std::size_t i = 0; i < found.candidates.size(); ++i)
        text += std::string(i == 0 ? (found.ambiguous ? ": \"" : "; nodes with that in their name: \"") : ", \"") +
                std::string(node_path(*tree, found.candidates[i])) + "\"";
      return refuse(k.line, text);
    }
    k.node = found.node;
    for (const KnownAge& before : known) {
      if (&before == &k) break;
      if (before.node == k.node)
        return refuse(k.line, "\"" + k.name + "\" is the node of \"" + before.name + "\" on line " +
                                  std::to_string(before.line));
    }
    const TreeNode& node = tree->nodes[k.node];
    const NodeDate date = node_date(run->params, node);
    if (!date.has_mean || date.mean < AGE_THRESHOLD)
      return refuse(k.line, "\"" + k.name + "\" has " +
                                (date.has_mean ? "a mean similarity below 0.005 %" : "no pairs") +
                                ": it gives no age to fit");
    points.push_back({date.mean, k.years, node.pair_count});
  }
  const RetentionFit fit = fit_retention(points.data(), static_cast<int>(points.size()), run->params.S0);
  if (!fit.problem.empty()) {
    say(err, "plix62c: no calibration: " + fit.problem + "\n");
    return 1;
  }

  // Ages with the fitted integers, as a run with them would report.
  RunParameters fitted = run->params;
  fitted.S0 = fit.S0;
  fitted.R = fit.R;
  try {
    derive_run_parameters(*io, fitted);
  } catch (const RunEnd& end) {
    return end.status;
  }
  std::vector<std::int32_t> age(points.size());
  std::size_t width = 4;
  for (std::size_t i = 0; i < points.size(); ++i) {
    age[i] = estimate_age(fitted, points[i].mean);
    width = std::max(width, known[i].name.size());
  }
  std::string table = padded("node", width, false) +
                      "  depth     pairs  similarity   known age  fitted age    residual\n";
  for (std::size_t i = 0; i < points.size(); ++i) {
    const TreeNode& node = tree->nodes[known[i].node];
    table += padded(known[i].name, width, false) + padded(std::to_string(node.depth), 7, true) +
             padded(fixed(node.pair_count, 0), 10, true) + padded(fixed(points[i].mean, 2) + "%", 12, true) +
             padded(fixed(known[i].years, 0), 12, true) + padded(std::to_string(age[i]), 12, true) +
             padded(fixed(age[i] - known[i].years, 0), 12, true) + "\n";
  }
  auto with_error = [](double value, double error) {
    return fixed(value, 4) + (std::isnan(error) ? std::string() : ", standard error " + fixed(error, 4));
  };
  char record[40];
  std::snprintf(record, sizeof record, "%6d%6d", static_cast<int>(fit.S0), static_cast<int>(fit.R));
  const bool one = points.size() == 1;
  table += "S0 " + std::to_string(fit.S0) + " (" + (one ? fixed(fit.s0, 4) + ", the run's" : with_error(fit.s0, fit.s0_error)) +
           "), R " + std::to_string(fit.R) + " (" + with_error(fit.r, fit.r_error) + ") from " +
           std::to_string(points.size()) + (one ? " known age" : " known ages weighted by their pairs") +
           "; parameter record columns 25-36: \"" + record + "\"\n";
  if (points.size() < 3)
    table += "standard errors need at least three known ages\n";
  // A node that holds another must not come out younger than it.
  int contradictions = 0;
  for (std::size_t i = 0; i < points.size(); ++i) {
    for (std::size_t j = 0; j < points.size(); ++j) {
      int above = tree->nodes[known[j].node].parent;
      while (above > 0 && above != known[i].node) above = tree->nodes[above].parent;
      if (i == j || above != known[i].node || age[i] >= age[j]) continue;
      ++contradictions;
      table += "contradicts the nesting: " + known[i].name + " (" + std::to_string(age[i]) +
               " BP) holds " + known[j].name + " (" + std::to_string(age[j]) +
               " BP) but comes out younger: its mean similarity is the higher\n";
    }
  }
  if (contradictions == 0 && points.size() > 1) table += "the fitted ages keep the nesting\n";
  if (options != nullptr && options->wants_tree()) {
    for (const KnownAge& k : known) tree->calibration_marks.push_back({k.node, k.years});
    try {
      write_calibrated_tree(*run, *files, fitted, *tree);
    } catch (const RunEnd& end) {
      return end.status;
    }
  }
  if (say(out, table) != 0) {
    say(err, "plix62c: the calibration could not be written to standard output\n");
    return 1;
  }
  return commit_result_files(*files, err);
}

int run_diagnostic_mode(const RunOptions& options, ByteSource& in, ByteSink& out, ByteSink& err) {
  if (options.check) return check_program(in, out, err);
  if (options.ages.empty()) return -1;
  const std::string& path = options.ages;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    say(err, "plix62c: cannot open the ages file " + path + "\n");
    return 1;
  }
  std::string ages;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) ages.append(buffer, n);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    say(err, "plix62c: cannot read the ages file " + path + "\n");
    return 1;
  }
  return calibrate_program(in, out, err, ages, &options);
}

}  // namespace plix
