// Which kernel path runs: the processor's instruction sets, the path table,
// the choice of PLIX62C_KERNEL and the kernels' work areas.
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <string_view>

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

const char* engine_isa_name(EngineIsa isa) {
  switch (isa) {
    case EngineIsa::avx2: return "avx2";
    case EngineIsa::avx512: return "avx512";
    case EngineIsa::avx512_bitalg: return "avx512-bitalg";
    default: return "portable";
  }
}

KernelChoice choose_engine_isa(const char* variable) {
  KernelChoice choice;
  choice.isa = best_engine_isa();
  if (variable == nullptr) return choice;
  const std::string_view value = variable;
  std::string have;
  for (const EngineIsa isa : all_engine_isas) {
    if (!engine_isa_supported(isa)) continue;
    if (!have.empty()) have += ", ";
    have += engine_isa_name(isa);
  }
  const std::string paths = "; the paths of this processor are: " + have;
  const std::string name = std::string(KERNEL_VARIABLE);
  if (value.empty()) {
    choice.error = name + " is set but empty" + paths;
    return choice;
  }
  for (const EngineIsa isa : all_engine_isas) {
    if (value != engine_isa_name(isa)) continue;
    if (!engine_isa_supported(isa)) {
      choice.error = name + "=" + std::string(value) + ": this processor lacks that path" + paths;
      return choice;
    }
    choice.isa = isa;
    choice.from_variable = true;
    return choice;
  }
  std::string all;
  for (const EngineIsa isa : all_engine_isas)
    all += std::string(all.empty() ? "" : ", ") + engine_isa_name(isa);
  choice.error = name + "=" + std::string(value) + " names no kernel path (" + all + ")" + paths;
  return choice;
}

KernelChoice run_kernel_choice() { return choose_engine_isa(std::getenv(KERNEL_VARIABLE)); }

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
