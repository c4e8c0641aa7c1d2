# Instruction-set flags of the kernel files only: the rest of the program,
# and the portable kernel, run on any x86-64; the engine picks the widest
# kernel the processor supports when a run starts. Targets that are not
# x86-64 get no flags (the kernel files compile to nothing there); a macOS
# build for several architectures hands them to its x86-64 half alone.
set(PLIX_AVX2_FLAGS -mavx2 -mbmi2)
set(PLIX_AVX512_FLAGS -mavx512f -mavx512bw -mavx512vl -mavx512dq -mbmi2)
set(PLIX_AVX512_BITALG_FLAGS ${PLIX_AVX512_FLAGS} -mavx512bitalg -mavx512vpopcntdq -mavx512vbmi2)

set(PLIX_X86_FLAG_PREFIX "")
if(APPLE AND CMAKE_OSX_ARCHITECTURES)
  list(FIND CMAKE_OSX_ARCHITECTURES x86_64 at)
  list(LENGTH CMAKE_OSX_ARCHITECTURES architectures)
  if(at LESS 0)
    set(PLIX_X86_KERNELS OFF)
  else()
    set(PLIX_X86_KERNELS ON)
    if(architectures GREATER 1)
      set(PLIX_X86_FLAG_PREFIX -Xarch_x86_64)
    endif()
  endif()
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  set(PLIX_X86_KERNELS ON)
else()
  set(PLIX_X86_KERNELS OFF)
endif()

function(plix_kernel_flags file)
  set(options "")
  foreach(flag IN LISTS ARGN)
    if(PLIX_X86_FLAG_PREFIX)
      # One word pair each: CMake would merge repeated prefixes otherwise.
      list(APPEND options "SHELL:${PLIX_X86_FLAG_PREFIX} ${flag}")
    else()
      list(APPEND options ${flag})
    endif()
  endforeach()
  set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/distance/${file}
    PROPERTIES COMPILE_OPTIONS "${options}")
endfunction()

if(PLIX_X86_KERNELS)
  plix_kernel_flags(kernel_avx2.cpp ${PLIX_AVX2_FLAGS})
  plix_kernel_flags(kernel_avx512.cpp ${PLIX_AVX512_FLAGS})
  plix_kernel_flags(kernel_avx512_bitalg.cpp ${PLIX_AVX512_BITALG_FLAGS})
endif()
