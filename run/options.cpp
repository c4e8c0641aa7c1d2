#include "run/options.h"

#include <string_view>

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
};

int refuse(ByteSink& err, const std::string& message) {
  const std::string text = "plix62c: " + message + "\n\n" + std::string(usage_text());
  err.write(text.data(), text.size());
  return USAGE_STATUS;
}

}  // namespace

int parse_options(int argc, const char* const* argv, RunOptions& options, ByteSink& out,
                  ByteSink& err) {
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
    std::string value;
    if (eq != std::string_view::npos) {
      value = arg.substr(eq + 1);
    } else if (i + 1 < argc) {
      value = argv[++i];
    }
    if (value.empty()) return refuse(err, "option " + std::string(name) + " needs a file name");
    std::string& file = options.*spec->file;
    if (!file.empty()) return refuse(err, "option " + std::string(name) + " is given twice");
    file = value;
  }
  // Every file the run writes, the names keys included, must differ.
  std::string files[2 * std::size(OPTIONS)];
  std::size_t count = 0;
  for (const OptionSpec& s : OPTIONS) {
    if (!s.result) continue;
    const std::string& file = options.*s.file;
    if (file.empty()) continue;
    files[count++] = file;
    if (s.file == &RunOptions::matrix || s.file == &RunOptions::nexus || s.file == &RunOptions::tree)
      files[count++] = file + ".names";
  }
  for (std::size_t a = 0; a < count; ++a)
    for (std::size_t b = a + 1; b < count; ++b)
      if (files[a] == files[b]) return refuse(err, "two results would be written to " + files[a]);
  // --check and --calibrate write their own output instead of the report.
  if (options.check && !options.ages.empty())
    return refuse(err, "--check and --calibrate cannot be combined");
  if ((options.check || !options.ages.empty()) && count > 0)
    return refuse(err, std::string(options.check ? "--check" : "--calibrate") +
                           " writes no report and no result files");
  return -1;
}

}  // namespace plix
