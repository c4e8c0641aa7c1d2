// Which kernel path runs: the processor's instruction sets, the path table,
// the processors the process may use and the kernels' work areas.
#include <sched.h>

#include <cstdint>
#include <cstdlib>
#include <new>
#include <thread>

#include "distance/engine.h"

namespace plix {

const KernelPath& kernel_path_portable();
#if defined(__x86_64__)
const KernelPath& kernel_path_avx2();
const KernelPath& kernel_path_avx512();
const KernelPath& kernel_path_avx512_bitalg();
#endif

bool engine_isa_supported(EngineIsa isa) {
  switch (isa) {
    case EngineIsa::portable: return true;
#if defined(__x86_64__)
    case EngineIsa::avx2: return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2");
    case EngineIsa::avx512:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
             __builtin_cpu_supports("bmi2");
    case EngineIsa::avx512_bitalg:
      return engine_isa_supported(EngineIsa::avx512) && __builtin_cpu_supports("avx512bitalg") &&
             __builtin_cpu_supports("avx512vpopcntdq") && __builtin_cpu_supports("avx512vbmi2");
#endif
    default: return false;
  }
}

EngineIsa best_engine_isa() {
  if (engine_isa_supported(EngineIsa::avx512_bitalg)) return EngineIsa::avx512_bitalg;
  if (engine_isa_supported(EngineIsa::avx512)) return EngineIsa::avx512;
  if (engine_isa_supported(EngineIsa::avx2)) return EngineIsa::avx2;
  return EngineIsa::portable;
}

const char* engine_isa_name(EngineIsa isa) { return kernel_path(isa).name; }

const KernelPath& kernel_path(EngineIsa isa) {
#if defined(__x86_64__)
  if (isa == EngineIsa::avx512_bitalg && engine_isa_supported(isa))
    return kernel_path_avx512_bitalg();
  if (isa == EngineIsa::avx512 && engine_isa_supported(isa)) return kernel_path_avx512();
  if (isa == EngineIsa::avx2 && engine_isa_supported(isa)) return kernel_path_avx2();
#endif
  (void)isa;
  return kernel_path_portable();
}

int affinity_cpu_count() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return n;
  }
  const unsigned hw = std::thread::hardware_concurrency();
  return hw > 0 ? static_cast<int>(hw) : 1;
}

KernelWork::KernelWork(const KernelPath& path) {
  // calloc hands out fresh zero pages for a block this size, so only the
  // parts a run touches become resident.
  block_ = std::calloc(1, path.work_bytes + 64);
  if (block_ == nullptr) throw std::bad_alloc();
  const auto at = reinterpret_cast<std::uintptr_t>(block_);
  aligned_ = reinterpret_cast<unsigned char*>((at + 63) / 64 * 64);
}

KernelWork::~KernelWork() { std::free(block_); }

}  // namespace plix
