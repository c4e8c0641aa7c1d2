// The importer's program file found from its name as a shell finds it: the
// POSIX fallback where the system cannot tell (no /proc/self/exe).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "cldf/platform.h"

namespace plix::cldf {
namespace {

namespace fs = std::filesystem;

TEST(CldfPlatform, ProgramNameLooksUpPathAsAShellDoes) {
  const fs::path d = fs::temp_directory_path() / ("plix_exe_" + std::to_string(getpid()));
  fs::remove_all(d);
  for (const char* dir : {"a", "b", "c"}) fs::create_directories(d / dir);
  auto make = [](const fs::path& p, bool executable) {
    std::ofstream(p) << "#!/bin/sh\n";
    chmod(p.c_str(), executable ? 0755 : 0644);
  };
  make(d / "a" / "prog", false);  // not executable: passed over
  make(d / "b" / "prog", true);
  make(d / "c" / "prog", true);
  fs::create_directories(d / "a" / "tool");  // a folder of that name is no program
  make(d / "c" / "tool", true);
  make(d / "here", true);
  const fs::path cwd = fs::current_path();
  fs::current_path(d);
  const std::string a = (d / "a").string(), b = (d / "b").string(), c = (d / "c").string();
  struct Case {
    std::string name, path;
    fs::path want;
  } cases[] = {
      {"prog", a + ":" + b + ":" + c, d / "b" / "prog"},
      {"tool", a + ":" + c, d / "c" / "tool"},
      {"here", "/nonexistent::" + a, d / "here"},  // an empty entry is the working folder
      {"here", a + ":", d / "here"},
      {"here", a, {}},
      {"missing", a + ":" + b, {}},
      {"c/prog", "", d / "c" / "prog"},  // with a slash: relative to the working folder
      {"", a, {}},
  };
  for (const Case& k : cases)
    EXPECT_EQ(executable_from_name(k.name, k.path), k.want) << k.name << " in " << k.path;
  fs::current_path(cwd);
  fs::remove_all(d);
}

}  // namespace
}  // namespace plix::cldf
