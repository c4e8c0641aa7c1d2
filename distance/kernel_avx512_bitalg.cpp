// The similarity kernel on 64-byte vectors with the lane population counts
// of later avx512 processors (flags in distance/isa.cmake).
#if defined(__x86_64__)
#define PLIX_VBYTES 64
#define PLIX_KERNEL_NAME "avx512-bitalg"
#define PLIX_KERNEL_NS kernel_avx512_bitalg
#define PLIX_KERNEL_PATH_FN kernel_path_avx512_bitalg
#include "distance/engine_kernel.h"
#endif
