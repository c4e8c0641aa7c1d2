// How many processors a run may keep busy: those of the affinity mask, fewer
// when a control group of the process has a CPU quota.
#pragma once

#include <string>
#include <string_view>

namespace plix {

// Processors of the affinity mask and of the CPU quota, whichever is fewer
// (at least 1).
int usable_cpu_count();

// Processors the CPU quota of the process's control groups allows, 0 for
// none (always 0 where the system has no control groups).
int process_cpu_quota();

// Processors a CPU quota allows, rounded up, or 0 for no quota: `cpu_max` is
// the text of a cgroup v2 cpu.max file ("max 100000", "150000 100000"); the
// v1 form is the texts of cpu.cfs_quota_us (-1 for none) and
// cpu.cfs_period_us. Text that is not a quota counts as none.
int cpu_max_limit(std::string_view cpu_max);
int cfs_quota_limit(std::string_view quota, std::string_view period);

// The smallest quota of the control groups of the process and their
// ancestors, 0 when none has one: `proc_cgroup` is the text of
// /proc/self/cgroup, `root` the mount point of the cgroup file systems
// (/sys/fs/cgroup).
int cgroup_cpu_limit(std::string_view proc_cgroup, const std::string& root);

}  // namespace plix
