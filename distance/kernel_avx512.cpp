// The similarity kernel on 64-byte vectors (avx512 instructions; flags in distance/isa.cmake).
#if defined(__x86_64__)
#define PLIX_VBYTES 64
#define PLIX_KERNEL_NAME "avx512"
#define PLIX_KERNEL_NS kernel_avx512
#define PLIX_KERNEL_PATH_FN kernel_path_avx512
#include "distance/engine_kernel.h"
#endif
