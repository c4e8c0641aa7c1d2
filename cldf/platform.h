// Where the running program's file lies, to find the data installed beside
// it: the system's own answer where there is one (Linux, macOS), else the
// program's name as it was started, looked up in PATH as a shell does.
#pragma once

#include <filesystem>
#include <string>

namespace plix::cldf {

// Empty when it cannot be told.
std::filesystem::path executable_path(const char* argv0);

// The POSIX answer alone: `argv0` with a slash is a path (relative to the
// working directory); without one, the first executable file of that name
// in the directories of `path` (PATH's value).
std::filesystem::path executable_from_name(const std::string& argv0, const std::string& path);

}  // namespace plix::cldf
