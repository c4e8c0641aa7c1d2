// The similarity kernel on 16-byte vectors (any processor).

#define PLIX_VBYTES 16
#define PLIX_KERNEL_NAME "portable"
#define PLIX_KERNEL_NS kernel_portable
#define PLIX_KERNEL_PATH_FN kernel_path_portable
#include "distance/engine_kernel.h"

