// What the operating system tells about the processors a process may use.
// On Linux: the affinity mask and the CPU quota of the control groups.
// Elsewhere, and on Linux when PLIX_POSIX_FALLBACK is defined (so that this
// code is built and tested there too), the POSIX answer: the processors
// online, no quota.
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "distance/engine.h"
#include "distance/processors.h"

#if defined(__linux__) && !defined(PLIX_POSIX_FALLBACK)
#define PLIX_LINUX_PROCESSORS 1
#include <sched.h>
#endif

namespace plix {

int affinity_cpu_count() {
#ifdef PLIX_LINUX_PROCESSORS
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return n;
  }
#else
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  if (online > 0) return online > 1 << 20 ? 1 << 20 : static_cast<int>(online);
#endif
  const unsigned hw = std::thread::hardware_concurrency();
  return hw > 0 ? static_cast<int>(hw) : 1;
}

int process_cpu_quota() {
#ifdef PLIX_LINUX_PROCESSORS
  std::ifstream in("/proc/self/cgroup");
  std::ostringstream text;
  text << in.rdbuf();
  return in ? cgroup_cpu_limit(text.str(), "/sys/fs/cgroup") : 0;
#else
  return 0;
#endif
}

}  // namespace plix
