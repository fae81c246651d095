# ZELQA_HOST_ENVIRONMENT: NAME=VALUE settings for an uninstrumented host program (python3)
# that loads the library. Under AddressSanitizer its run time has to be loaded before
# everything else, and the interpreter's own allocations at exit are not our leaks.
include_guard(GLOBAL)
set(ZELQA_HOST_ENVIRONMENT "")
if(ZELQA_SANITIZE MATCHES "address")
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so
                  OUTPUT_VARIABLE zelqa_asan_runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${zelqa_asan_runtime}")
    message(WARNING "AddressSanitizer run time not found: tests of the library from Python are left out")
    set(ZELQA_HOST_ENVIRONMENT NOTFOUND)
  else()
    set(ZELQA_HOST_ENVIRONMENT "LD_PRELOAD=${zelqa_asan_runtime}" "ASAN_OPTIONS=detect_leaks=0")
  endif()
endif()
