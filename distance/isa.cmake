# Instruction-set flags of the kernel files only: the rest of the program,
# and the portable kernel, run on any x86-64; the engine picks the widest
# kernel the processor supports when a run starts.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64|amd64")
  set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/distance/kernel_avx2.cpp
    PROPERTIES COMPILE_OPTIONS "-mavx2;-mbmi2")
  set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/distance/kernel_avx512.cpp
    PROPERTIES COMPILE_OPTIONS "-mavx512f;-mavx512bw;-mavx512vl;-mavx512dq;-mbmi2")
  set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/distance/kernel_avx512_bitalg.cpp
    PROPERTIES COMPILE_OPTIONS
    "-mavx512f;-mavx512bw;-mavx512vl;-mavx512dq;-mavx512bitalg;-mavx512vpopcntdq;-mavx512vbmi2;-mbmi2")
endif()
