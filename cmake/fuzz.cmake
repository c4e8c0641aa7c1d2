# libFuzzer targets (configure with CXX=clang++ -DPLIX_FUZZ=ON):
#   fuzz_run     a whole run in-process, the fuzz input as standard input
#   fuzz_format  the format compiler and interpreter alone
if(PLIX_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "PLIX_FUZZ needs clang (configure with CXX=clang++)")
  endif()
  foreach(target fuzz_run fuzz_format)
    add_executable(${target} tests/fuzz/${target}.cpp tests/fuzz/run_state_block.cpp)
    target_link_libraries(${target} PRIVATE plixcore)
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer)
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
  endforeach()
endif()
# An undefined-behaviour report must stop the fuzzer like a crash, so that
# the input is kept.
if(PLIX_FUZZ)
  foreach(layer ${PLIX_LAYER_LIBRARIES})
    target_compile_options(${layer} PRIVATE -fno-sanitize-recover=undefined)
  endforeach()
  foreach(target fuzz_run fuzz_format)
    target_compile_options(${target} PRIVATE -fno-sanitize-recover=undefined)
  endforeach()
endif()
# fuzz_cldf: the CLDF importer's readers (CSV, metadata, trees, meaning table).
if(PLIX_FUZZ AND TARGET plixcldf)
  add_executable(fuzz_cldf tests/fuzz/fuzz_cldf.cpp)
  target_link_libraries(fuzz_cldf PRIVATE plixcldf)
  target_compile_options(fuzz_cldf PRIVATE -fsanitize=fuzzer -fno-sanitize-recover=undefined)
  target_link_options(fuzz_cldf PRIVATE -fsanitize=fuzzer)
  target_compile_options(plixcldf PRIVATE -fno-sanitize-recover=undefined)
endif()
