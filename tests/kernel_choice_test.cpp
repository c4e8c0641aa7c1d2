// PLIX62C_KERNEL: the path it names runs the whole program, --version says
// which path and why, a value this processor cannot run is refused before
// anything is read, and every path gives the same bytes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "distance/engine.h"
#include "tests/programs.h"

namespace plix {
namespace {

namespace fs = std::filesystem;

fs::path scratch(const std::string& name) {
  return fs::temp_directory_path() / ("plix_kernel_" + name + "_" + std::to_string(getpid()));
}

// The program with PLIX62C_KERNEL set to `kernel` ("unset": not set), its
// arguments and redirections in `rest`, after the pipeline `before`.
ShellResult plix(const std::string& kernel, const std::string& rest, const std::string& before = "") {
  const std::string env =
      kernel == "unset" ? "env -u PLIX62C_KERNEL " : "PLIX62C_KERNEL='" + kernel + "' ";
  return run_shell(before + env + program_command(PLIX62C_BINARY) + " " + rest,
                   scratch("err").string());
}

std::vector<std::string> processor_paths() {
  std::vector<std::string> names;
  for (const EngineIsa isa : all_engine_isas)
    if (engine_isa_supported(isa)) names.push_back(engine_isa_name(isa));
  return names;
}

std::string slurp(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(KernelChoice, VersionNamesThePathAndWhy) {
  ShellResult r = plix("unset", "--version </dev/null");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string("plix62c 1.0.0\nkernel path: ") + engine_isa_name(best_engine_isa()) +
                       " (the processor's best)\n");
  for (const std::string& name : processor_paths()) {
    r = plix(name, "--version </dev/null");
    EXPECT_EQ(r.status, 0) << name;
    EXPECT_EQ(r.out, "plix62c 1.0.0\nkernel path: " + name + " (chosen by PLIX62C_KERNEL)\n");
    EXPECT_EQ(r.err, "");
  }
}

// Empty, unknown, of another case, padded, or a path the processor lacks:
// one line naming the value and the processor's paths, status 2, and no
// report although the input is a whole run's.
TEST(KernelChoice, ValueThisProcessorCannotRunIsRefusedBeforeTheRun) {
  std::string have;
  for (const std::string& name : processor_paths()) have += (have.empty() ? "" : ", ") + name;
  const std::string paths = "; the paths of this processor are: " + have + "\n";
  const std::string all = " names no kernel path (portable, avx2, avx512, avx512-bitalg)";
  std::vector<std::pair<std::string, std::string>> cases = {
      {"", "plix62c: PLIX62C_KERNEL is set but empty" + paths},
      {"avx3", "plix62c: PLIX62C_KERNEL=avx3" + all + paths},
      {"AVX2", "plix62c: PLIX62C_KERNEL=AVX2" + all + paths},
      {"Portable", "plix62c: PLIX62C_KERNEL=Portable" + all + paths},
      {" avx2", "plix62c: PLIX62C_KERNEL= avx2" + all + paths},
      {"avx512_bitalg", "plix62c: PLIX62C_KERNEL=avx512_bitalg" + all + paths},
  };
  for (const EngineIsa isa : all_engine_isas) {
    if (engine_isa_supported(isa)) continue;
    const std::string name = engine_isa_name(isa);
    cases.push_back({name, "plix62c: PLIX62C_KERNEL=" + name + ": this processor lacks that path" + paths});
  }
  const std::string example = std::string(PLIX_SOURCE_DIR) + "/examples/small.txt";
  for (const auto& [value, message] : cases) {
    for (const std::string& args : {" < '" + example + "'", std::string(" --version </dev/null")}) {
      const ShellResult r = plix(value, args);
      EXPECT_EQ(r.status, 2) << "'" << value << "'" << args;
      EXPECT_EQ(r.out, "") << value;
      EXPECT_EQ(r.err, message);
    }
  }
}

// The examples with every result file through every path: standard output,
// standard error, exit status and each file's bytes as the portable path's.
TEST(KernelChoice, EveryPathGivesTheSameBytes) {
  const fs::path gendb = fs::path(PLIX62C_BINARY).parent_path() / "tools" / "gendb";
  struct Input {
    std::string before, after;  // a generator's pipeline, or a redirection
  };
  std::vector<Input> inputs;
  for (const char* name : {"small.txt", "families.txt", "generated.txt", "empty-database.txt"})
    inputs.push_back({"", "< '" + std::string(PLIX_SOURCE_DIR) + "/examples/" + name + "'"});
  if (fs::exists(gendb)) {
    for (const char* synonyms : {"1", "2"})
      inputs.push_back({program_command(gendb.string()) +
                            " --languages 300 --families 12 --level 0 --mutation 400 --synonyms " +
                            synonyms + " | ",
                        ""});
  }
  const char* results[] = {"table", "pairs", "matrix", "nexus", "tree", "svg"};
  for (const auto& [before, after] : inputs) {
    const std::string input = before + after;
    struct Run {
      ShellResult shell;
      std::vector<std::string> files;
    };
    std::vector<Run> runs;
    for (const std::string& name : processor_paths()) {
      const fs::path dir = scratch(name);
      fs::create_directories(dir);
      std::string options;
      for (const char* r : results) options += std::string(" --") + r + " '" + (dir / r).string() + "'";
      Run run{plix(name, options + " " + after, before), {}};
      for (const auto& entry : fs::directory_iterator(dir))
        run.files.push_back(entry.path().filename().string() + "\n" + slurp(entry.path()));
      std::sort(run.files.begin(), run.files.end());
      fs::remove_all(dir);
      runs.push_back(run);
      // The generated runs succeed: six result files and the names files of
      // the matrix, the NEXUS file and the tree.
      if (!before.empty()) {
        EXPECT_EQ(run.shell.status, 0) << name << ": " << run.shell.err;
        EXPECT_EQ(run.files.size(), 9u) << name;
      }
      const Run& first = runs.front();
      EXPECT_EQ(run.shell.status, first.shell.status) << name << " " << input;
      EXPECT_EQ(run.shell.out, first.shell.out) << name << " " << input;
      EXPECT_EQ(run.shell.err, first.shell.err) << name << " " << input;
      EXPECT_EQ(run.files, first.files) << name << " " << input;
    }
  }
}

}  // namespace
}  // namespace plix
