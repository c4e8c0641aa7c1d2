#include "run/options.h"

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "distance/engine.h"
#include "run/usage.h"

namespace plix {

namespace {

struct OptionSpec {
  std::string_view name;
  std::string RunOptions::*file;  // the option takes a file name, or
  bool RunOptions::*flag;         // it stands alone
  bool result;                    // the file is one the run writes
};

constexpr OptionSpec OPTIONS[] = {
    {"--table", &RunOptions::table, nullptr, true},
    {"--pairs", &RunOptions::pairs, nullptr, true},
    {"--matrix", &RunOptions::matrix, nullptr, true},
    {"--nexus", &RunOptions::nexus, nullptr, true},
    {"--check", nullptr, &RunOptions::check, false},
    {"--calibrate", &RunOptions::ages, nullptr, false},
    {"--tree", &RunOptions::tree, nullptr, true},
    {"--svg", &RunOptions::svg, nullptr, true},
    {"--bootstrap", &RunOptions::bootstrap_text, nullptr, false},
    {"--seed", &RunOptions::seed_text, nullptr, false},
};

// A whole decimal number without sign or other characters, at most `most`.
bool whole_number(const std::string& text, std::uint64_t most, std::uint64_t& value) {
  if (text.empty() || text.size() > 20) return false;
  value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
    if (value > (most - digit) / 10) return false;
    value = value * 10 + digit;
  }
  return true;
}

int refuse(ByteSink& err, const std::string& message) {
  const std::string text = "plix62c: " + message + "\n\n" + std::string(usage_text());
  err.write(text.data(), text.size());
  return USAGE_STATUS;
}

// Every file the run writes, the names keys included.
std::vector<std::string> result_paths(const RunOptions& options) {
  std::vector<std::string> files;
  for (const OptionSpec& s : OPTIONS) {
    if (!s.result) continue;
    const std::string& file = options.*s.file;
    if (file.empty()) continue;
    files.push_back(file);
    if (s.file == &RunOptions::matrix || s.file == &RunOptions::nexus || s.file == &RunOptions::tree)
      files.push_back(file + ".names");
  }
  return files;
}

// What a result path will replace: an existing regular file (its device and
// inode), or a name yet to be made in a folder (the folder's device and
// inode, and the name). Devices and pipes are written in place and replace
// nothing; a path that cannot be resolved fails when it is opened.
struct PathIdentity {
  enum { none, file, entry } kind = none;
  dev_t device = 0;
  ino_t inode = 0;
  std::string name;

  bool same(const PathIdentity& o) const {
    return kind != none && kind == o.kind && device == o.device && inode == o.inode && name == o.name;
  }
};

PathIdentity identity_of(const std::string& path) {
  PathIdentity id;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) {
    if (S_ISREG(st.st_mode)) id = {PathIdentity::file, st.st_dev, st.st_ino, {}};
    return id;
  }
  const std::size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty() || name == "." || name == ".." || ::stat(folder.c_str(), &st) != 0) return id;
  return {PathIdentity::entry, st.st_dev, st.st_ino, std::move(name)};
}

PathIdentity identity_of_stream(int fd) {
  struct stat st;
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return {};
  return {PathIdentity::file, st.st_dev, st.st_ino, {}};
}

// A PLIX62C_KERNEL that names no path this processor runs: its message,
// which lists the paths the processor has, and USAGE_STATUS; else -1.
int refuse_kernel_choice(ByteSink& err) {
  const KernelChoice choice = run_kernel_choice();
  if (choice.error.empty()) return -1;
  const std::string text = "plix62c: " + choice.error + "\n";
  err.write(text.data(), text.size());
  return USAGE_STATUS;
}

}  // namespace

int refuse_shared_files(const RunOptions& options, int in_fd, int out_fd, ByteSink& err) {
  const std::vector<std::string> files = result_paths(options);
  std::vector<PathIdentity> ids;
  for (const std::string& file : files) ids.push_back(identity_of(file));
  const PathIdentity streams[2] = {identity_of_stream(in_fd), identity_of_stream(out_fd)};
  for (std::size_t a = 0; a < files.size(); ++a) {
    for (std::size_t b = a + 1; b < files.size(); ++b)
      if (ids[a].same(ids[b]))
        return refuse(err, "two results would be written to one file: " + files[a] + " and " + files[b]);
    for (int s = 0; s < 2; ++s)
      if (ids[a].same(streams[s]))
        return refuse(err, "the result file " + files[a] + " is the file of standard " +
                               (s == 0 ? "input" : "output"));
  }
  return -1;
}

int parse_options(int argc, const char* const* argv, RunOptions& options, ByteSink& out,
                  ByteSink& err) {
  // The kernel path is settled before any argument is answered or input read.
  if (int status = refuse_kernel_choice(err); status >= 0) return status;
  if (int status = answer_arguments(argc, argv, out, err); status >= 0) return status;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.empty() || arg[0] != '-') continue;
    const std::size_t eq = arg.find('=');
    const std::string_view name = arg.substr(0, eq);
    const OptionSpec* spec = nullptr;
    for (const OptionSpec& s : OPTIONS)
      if (s.name == name) spec = &s;
    if (spec == nullptr) return refuse(err, "unknown option '" + std::string(arg) + "'");
    if (spec->flag != nullptr) {
      if (eq != std::string_view::npos)
        return refuse(err, "option " + std::string(name) + " takes no value");
      if (options.*spec->flag) return refuse(err, "option " + std::string(name) + " is given twice");
      options.*spec->flag = true;
      continue;
    }
    // The value is the rest after '=', or the next argument unless that
    // looks like an option: a forgotten name must not swallow the option
    // after it. A name beginning with '-' is written --table=-name or ./-name.
    std::string value;
    if (eq != std::string_view::npos) {
      value = arg.substr(eq + 1);
    } else if (i + 1 < argc && argv[i + 1][0] != '-') {
      value = argv[++i];
    }
    if (value.empty())
      return refuse(err, "option " + std::string(name) +
                             (spec->file == &RunOptions::bootstrap_text || spec->file == &RunOptions::seed_text
                                  ? " needs a number"
                                  : " needs a file name"));
    std::string& file = options.*spec->file;
    if (!file.empty()) return refuse(err, "option " + std::string(name) + " is given twice");
    file = value;
  }
  // Every file the run writes, the names keys included, must differ; the
  // files behind the names are compared by refuse_shared_files.
  const std::vector<std::string> files = result_paths(options);
  const std::size_t count = files.size();
  for (std::size_t a = 0; a < count; ++a)
    for (std::size_t b = a + 1; b < count; ++b)
      if (files[a] == files[b]) return refuse(err, "two results would be written to " + files[a]);
  if (!options.bootstrap_text.empty()) {
    std::uint64_t n = 0;
    if (!whole_number(options.bootstrap_text, MAX_BOOTSTRAP, n) || n == 0)
      return refuse(err, "--bootstrap " + options.bootstrap_text + ": the replicates must be a whole number from 1 to " +
                             std::to_string(MAX_BOOTSTRAP));
    options.bootstrap = static_cast<int>(n);
    if (options.table.empty() && !options.wants_tree())
      return refuse(err, "--bootstrap needs --table, --tree or --svg to write its intervals to");
  }
  if (!options.seed_text.empty()) {
    if (options.bootstrap_text.empty()) return refuse(err, "--seed is for --bootstrap");
    if (!whole_number(options.seed_text, UINT64_MAX, options.seed))
      return refuse(err, "--seed " + options.seed_text + ": the seed must be a whole number from 0 to " +
                             std::to_string(UINT64_MAX));
  }
  // --check and --calibrate write their own output instead of the report.
  if (options.check && !options.ages.empty())
    return refuse(err, "--check and --calibrate cannot be combined");
  if (options.check && count > 0) return refuse(err, "--check writes no report and no result files");
  // --calibrate can draw the tree it dates with the fitted S0 and R.
  if (!options.ages.empty()) {
    const bool others = !options.table.empty() || !options.pairs.empty() ||
                        !options.matrix.empty() || !options.nexus.empty();
    if (others || options.bootstrap > 0)
      return refuse(err, "--calibrate writes no report; of the results only --tree and --svg, "
                         "dated with the fitted S0 and R");
  }
  return -1;
}

}  // namespace plix
