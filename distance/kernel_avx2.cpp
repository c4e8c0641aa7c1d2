// The similarity kernel on 32-byte vectors (avx2 instructions; flags in distance/isa.cmake).
#if defined(__x86_64__)
#define PLIX_VBYTES 32
#define PLIX_KERNEL_NAME "avx2"
#define PLIX_KERNEL_NS kernel_avx2
#define PLIX_KERNEL_PATH_FN kernel_path_avx2
#include "distance/engine_kernel.h"
#endif
