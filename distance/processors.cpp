#include "distance/processors.h"

#include <charconv>
#include <fstream>
#include <sstream>

#include "distance/engine.h"

namespace plix {

namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\n'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

// A whole decimal number, or -1.
long long number(std::string_view s) {
  s = trim(s);
  long long v = -1;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return (ec == std::errc() && end == s.data() + s.size()) ? v : -1;
}

int quota_limit(long long quota, long long period) {
  if (quota <= 0 || period <= 0) return 0;
  const long long cpus = (quota + period - 1) / period;
  return cpus > 1 << 20 ? 1 << 20 : static_cast<int>(cpus);
}

// The text of a small file, empty when it cannot be read.
std::string file_text(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return in ? text.str() : std::string();
}

// Smaller of two limits where 0 means none.
int tighter(int a, int b) {
  return a == 0 ? b : (b == 0 || b > a ? a : b);
}

// The limit of the group at `dir` and of every group above it up to `top`.
template <typename Read>
int limit_along(std::string dir, const std::string& top, Read read) {
  int limit = 0;
  for (;;) {
    limit = tighter(limit, read(dir));
    if (dir.size() <= top.size()) return limit;
    dir.resize(dir.rfind('/'));
  }
}

}  // namespace

int cpu_max_limit(std::string_view cpu_max) {
  cpu_max = trim(cpu_max);
  const std::size_t blank = cpu_max.find(' ');
  if (blank == std::string_view::npos) return 0;
  return quota_limit(number(cpu_max.substr(0, blank)), number(cpu_max.substr(blank + 1)));
}

int cfs_quota_limit(std::string_view quota, std::string_view period) {
  return quota_limit(number(quota), number(period));
}

int cgroup_cpu_limit(std::string_view proc_cgroup, const std::string& root) {
  int limit = 0;
  while (!proc_cgroup.empty()) {
    const std::size_t eol = proc_cgroup.find('\n');
    std::string_view line = proc_cgroup.substr(0, eol);
    proc_cgroup.remove_prefix(eol == std::string_view::npos ? proc_cgroup.size() : eol + 1);
    // hierarchy-id:controllers:path
    const std::size_t c1 = line.find(':');
    const std::size_t c2 = c1 == std::string_view::npos ? c1 : line.find(':', c1 + 1);
    if (c2 == std::string_view::npos) continue;
    const std::string_view controllers = line.substr(c1 + 1, c2 - c1 - 1);
    std::string path(line.substr(c2 + 1));
    while (!path.empty() && path.back() == '/') path.pop_back();
    if (path.find("/..") != std::string::npos) continue;
    if (controllers.empty()) {
      limit = tighter(limit, limit_along(root + path, root, [](const std::string& dir) {
                        return cpu_max_limit(file_text(dir + "/cpu.max"));
                      }));
      continue;
    }
    // Version 1: the cpu controller, alone or mounted with cpuacct.
    std::string_view rest = controllers;
    bool cpu = false;
    while (!rest.empty()) {
      const std::size_t comma = rest.find(',');
      if (rest.substr(0, comma) == "cpu") cpu = true;
      rest.remove_prefix(comma == std::string_view::npos ? rest.size() : comma + 1);
    }
    if (!cpu) continue;
    for (const char* mount : {"/cpu", "/cpu,cpuacct", "/cpuacct,cpu"}) {
      const std::string top = root + mount;
      limit = tighter(limit, limit_along(top + path, top, [](const std::string& dir) {
                        return cfs_quota_limit(file_text(dir + "/cpu.cfs_quota_us"),
                                               file_text(dir + "/cpu.cfs_period_us"));
                      }));
    }
  }
  return limit;
}

int usable_cpu_count() {
  const int cpus = affinity_cpu_count();
  const int quota = process_cpu_quota();
  return quota > 0 && quota < cpus ? quota : cpus;
}

}  // namespace plix
