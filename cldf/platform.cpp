#include "cldf/platform.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <system_error>

#if defined(__APPLE__) && !defined(PLIX_POSIX_FALLBACK)
#include <mach-o/dyld.h>
#endif

namespace plix::cldf {

namespace fs = std::filesystem;

fs::path executable_from_name(const std::string& argv0, const std::string& path) {
  std::error_code ec;
  if (argv0.empty()) return {};
  if (argv0.find('/') != std::string::npos) {
    const fs::path p = fs::absolute(argv0, ec);
    return ec ? fs::path() : p.lexically_normal();
  }
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    // An empty entry is the working directory.
    const std::string dir = end == start ? "." : path.substr(start, end - start);
    const fs::path candidate = fs::path(dir) / argv0;
    if (fs::is_regular_file(candidate, ec) && access(candidate.c_str(), X_OK) == 0) {
      const fs::path p = fs::absolute(candidate, ec);
      return ec ? fs::path() : p.lexically_normal();
    }
    start = end + 1;
  }
  return {};
}

fs::path executable_path(const char* argv0) {
  std::error_code ec;
#if defined(__linux__) && !defined(PLIX_POSIX_FALLBACK)
  const fs::path linked = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) return linked;
#elif defined(__APPLE__) && !defined(PLIX_POSIX_FALLBACK)
  char buffer[4096];
  std::uint32_t size = sizeof buffer;
  if (_NSGetExecutablePath(buffer, &size) == 0) {
    const fs::path named = fs::canonical(buffer, ec);
    if (!ec) return named;
  }
#endif
  const char* path = std::getenv("PATH");
  fs::path exe = executable_from_name(argv0 == nullptr ? "" : argv0, path == nullptr ? "" : path);
  // A link to the program: the data lie beside the file it names.
  if (!exe.empty()) {
    fs::path real = fs::canonical(exe, ec);
    if (!ec) return real;
  }
  return exe;
}

}  // namespace plix::cldf
