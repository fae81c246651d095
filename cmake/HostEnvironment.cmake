# ZELQA_HOST_ENVIRONMENT: NAME=VALUE settings for an uninstrumented host program (python3)
# that loads the library. Under AddressSanitizer its run time has to be loaded before
# everything else, with libstdc++ beside it so that its interception of C++ throws finds the
# real one; the interpreter's own allocations at exit are not our leaks.
set(ZELQA_HOST_ENVIRONMENT "")
if(ZELQA_SANITIZE MATCHES "address")
  set(zelqa_preload "")
  foreach(runtime libasan.so libstdc++.so)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(IS_ABSOLUTE "${path}")
      list(APPEND zelqa_preload ${path})
    endif()
  endforeach()
  list(LENGTH zelqa_preload found)
  if(found EQUAL 2)
    list(JOIN zelqa_preload ":" zelqa_preload)
    set(ZELQA_HOST_ENVIRONMENT "LD_PRELOAD=${zelqa_preload}" "ASAN_OPTIONS=detect_leaks=0")
  else()
    message(WARNING "AddressSanitizer run time not found: the tests that load the library "
                    "into python3 are left out")
    set(ZELQA_HOST_ENVIRONMENT NOTFOUND)
  endif()
endif()
