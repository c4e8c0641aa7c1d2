// --calibrate: the run's node means against known ages, and the S0 and R
// they give.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "database/scanner.h"
#include "report/aggregate.h"
#include "report/calibrate.h"
#include "report/report.h"
#include "run/check.h"
#include "run/parameters.h"
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

}  // namespace

int calibrate_program(ByteSource& in, ByteSink& out, ByteSink& err, const std::string& ages) {
  // The known ages: "name<TAB>years" a line; blank lines and '#' lines are notes.
  std::vector<KnownAge> known;
  int line_number = 0;
  for (std::size_t at = 0; at < ages.size();) {
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
    char* stop = nullptr;
    errno = 0;
    k.years = std::strtod(years.c_str(), &stop);
    if (k.name.empty() || years.empty() || *stop != '\0' || errno != 0 || !(k.years >= 0)) {
      say(err, "plix62c: ages file, line " + std::to_string(line_number) +
                   ": expected a node, a TAB and an age in years before present\n");
      return 1;
    }
    known.push_back(k);
  }

  QuietRun quiet;
  if (const int status = open_quiet_run(in, err, quiet)) return status;
  const TextIOHandle& io = quiet.io;
  const std::unique_ptr<RunState>& run = quiet.run;
  try {
    read_run_input(*run);
    finish_scan(run->scan_context());
    aggregate_pairs(*io, run->store, run->branches, run->scan.language_count,
                    run->selection.meaning_count, run->tally);
  } catch (const RunEnd& end) {
    return end.status;
  }

  std::vector<float> means;
  std::vector<double> years;
  std::vector<KnownAge> used;
  for (KnownAge& k : known) {
    k.node = find_dated_node(run->branches, run->tally, run->params.LEVEL, k.name);
    if (k.node > 0 && node_mean(run->tally, k.node) >= AGE_THRESHOLD) {
      means.push_back(node_mean(run->tally, k.node));
      years.push_back(k.years);
      used.push_back(k);
      continue;
    }
    say(err, "plix62c: ages file, line " + std::to_string(k.line) + ": \"" + k.name + "\" " +
                 (k.node < 0 ? "names several dated nodes" : "is not a node this run dates") +
                 " (LEVEL " + std::to_string(run->params.LEVEL) + ")\n");
  }
  const RetentionFit fit =
      fit_retention(means.data(), years.data(), static_cast<int>(means.size()), run->params.S0);

  // Ages with the fitted integers, as a run with them would report.
  RunParameters fitted = run->params;
  const bool usable = fit.problem.empty();
  if (usable) {
    fitted.S0 = fit.S0;
    fitted.R = fit.R;
    try {
      derive_run_parameters(*io, fitted);
    } catch (const RunEnd& end) {
      return end.status;
    }
  }
  std::size_t width = 4;
  for (const KnownAge& k : used) width = k.name.size() > width ? k.name.size() : width;
  std::string table = padded("node", width, false) + "   known age  similarity  fitted age\n";
  for (std::size_t i = 0; i < used.size(); ++i) {
    table += padded(used[i].name, width, false) + padded(fixed(used[i].years, 0), 12, true) +
             padded(fixed(means[i], 2) + "%", 12, true) +
             padded(usable ? std::to_string(estimate_age(fitted, means[i])) : "-", 12, true) + "\n";
  }
  if (usable) {
    char record[40];
    std::snprintf(record, sizeof record, "%6d%6d", static_cast<int>(fit.S0), static_cast<int>(fit.R));
    table += "S0 " + std::to_string(fit.S0) + " (" + fixed(fit.s0, 4) + (used.size() == 1 ? ", the run's" : "") +
             "), R " + std::to_string(fit.R) + " (" + fixed(fit.r, 4) + ") from " +
             std::to_string(used.size()) + (used.size() == 1 ? " known age" : " known ages") +
             "; parameter record columns 25-36: \"" + record + "\"\n";
  }
  if (say(out, table) != 0) {
    say(err, "plix62c: the calibration could not be written to standard output\n");
    return 1;
  }
  if (!usable) {
    say(err, "plix62c: no calibration: " + fit.problem + "\n");
    return 1;
  }
  return 0;
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
  return calibrate_program(in, out, err, ages);
}

}  // namespace plix
