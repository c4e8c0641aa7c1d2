# Installs the build into a scratch prefix, then builds the Debian package and
# unpacks it into a scratch root; in both trees the manual page must be there
# and the installed program must answer --version and run the shipped example.

# EMULATOR: the cross-compiling emulator that runs the programs, if any.
separate_arguments(emulator UNIX_COMMAND "${EMULATOR}")

function(check_tree bin man label)
  if(NOT EXISTS "${man}")
    message(FATAL_ERROR "${label}: manual page missing at ${man}")
  endif()
  execute_process(COMMAND ${emulator} "${bin}" --version OUTPUT_VARIABLE version RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR
     NOT version MATCHES "^plix62c [0-9]+\\.[0-9]+\\.[0-9]+\nkernel path: [a-z0-9-]+ \\([^\n]+\\)\n$")
    message(FATAL_ERROR "${label}: --version gave '${version}' (status ${rc})")
  endif()
  # The report's raw bytes: its lines end in CR LF.
  set(report_file "${BUILD_DIR}/install-check-report.txt")
  execute_process(COMMAND ${emulator} "${bin}" INPUT_FILE "${SOURCE_DIR}/examples/small.txt"
                  OUTPUT_FILE "${report_file}" RESULT_VARIABLE rc)
  file(READ "${report_file}" report)
  file(READ "${report_file}" report_hex HEX)
  string(FIND "${report}" "PAIRS" pairs)
  # "Stop - Program terminated." CR LF ends the report.
  if(NOT rc EQUAL 0 OR pairs EQUAL -1 OR
     NOT report_hex MATCHES "53746f70202d2050726f6772616d207465726d696e617465642e0d0a$")
    message(FATAL_ERROR "${label}: the example run failed (status ${rc}):\n${report}")
  endif()
  # The importer finds its meaning table beside the installed program.
  get_filename_component(bindir "${bin}" DIRECTORY)
  execute_process(COMMAND ${emulator} "${bindir}/plix62c-cldf" -q "${SOURCE_DIR}/examples/cldf"
                  OUTPUT_VARIABLE stream ERROR_VARIABLE err RESULT_VARIABLE rc)
  get_filename_component(mandir "${man}" DIRECTORY)
  if(NOT rc EQUAL 0 OR NOT stream MATCHES "\nAna[|]Alpha,North@\n" OR NOT EXISTS "${mandir}/plix62c-cldf.1")
    message(FATAL_ERROR "${label}: plix62c-cldf failed (status ${rc}): ${err}")
  endif()
endfunction()

set(prefix "${BUILD_DIR}/install-check")
file(REMOVE_RECURSE "${prefix}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}"
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed")
endif()
check_tree("${prefix}/bin/plix62c" "${prefix}/share/man/man1/plix62c.1" "installed tree")

set(pkgdir "${BUILD_DIR}/package-check")
file(REMOVE_RECURSE "${pkgdir}")
file(MAKE_DIRECTORY "${pkgdir}")
execute_process(COMMAND cpack -G DEB -B "${pkgdir}" WORKING_DIRECTORY "${BUILD_DIR}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
file(GLOB debs "${pkgdir}/*.deb")
if(NOT rc EQUAL 0 OR NOT debs)
  message(FATAL_ERROR "cpack -G DEB failed:\n${out}")
endif()
execute_process(COMMAND dpkg-deb -x ${debs} "${pkgdir}/unpacked" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "dpkg-deb -x failed")
endif()
check_tree("${pkgdir}/unpacked/usr/bin/plix62c" "${pkgdir}/unpacked/usr/share/man/man1/plix62c.1"
           "Debian package")
