# The portable unit tests, the same sources as in the Linux build, as GoogleTest programs run
# under Wine. Left out: what only the POSIX platform has (the file-backed registry store, its
# stand-ins for the system's texts, debug output and wininet module, handles that are file
# descriptors, processes that fork, file modes), and what pins the Linux build's own answers
# (the compiler's type names, the ANSI code page being UTF-8, a freed string pointer set to null,
# which Wine's run time leaves).
add_subdirectory(googletest)

set(shared ${PROJECT_SOURCE_DIR}/tests)
set(posix_platform ${PROJECT_SOURCE_DIR}/src/platform/posix)

# zelqa_windows_unit_test(NAME SOURCES...): one program, registered as one test run by Wine.
function(zelqa_windows_unit_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE zelqa_core GTest::gmock GTest::gtest_main)
  # The POSIX functions mingw's run time lacks; the registry store loads .reg text as there.
  target_compile_options(${name} PRIVATE -include ${CMAKE_CURRENT_SOURCE_DIR}/posix_compat.h)
  target_sources(${name} PRIVATE registry_import.cc ${posix_platform}/reg_file_parser.cc)
  add_test(NAME ${name} COMMAND ${name})
  # Wine ends a crashed program with its debugger's status, which may be 0: only GoogleTest's
  # own summary says that every test ran and passed.
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${ZELQA_WINE_ENVIRONMENT}" TIMEOUT 300
                       PASS_REGULAR_EXPRESSION "\\[  PASSED  \\]"
                       FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]|Unhandled")
endfunction()

zelqa_windows_unit_test(windows_unit_tests
  ${shared}/exc/error_text_test.cc
  ${shared}/exc/exceptions_test.cc
  ${shared}/exc/format_message_test.cc
  ${shared}/exc/saved_record_test.cc
  ${shared}/exc/string_conv_test.cc
  ${shared}/message/factory_test.cc
  ${shared}/message/item_roundtrip_test.cc
  ${shared}/logging/record_format_test.cc
  ${shared}/logging/logger_test.cc
  ${shared}/logging/aging_test.cc)

# Replaces the process's registry store under the process logger, so it runs on its own, as on
# Linux; its collector of external log records is on Winsock.
zelqa_windows_unit_test(windows_logging_registry_tests
  ${shared}/logging/registry_settings_test.cc udp_collector.cc)

# Many threads logging at once, each ending with its thread-local state.
zelqa_windows_unit_test(windows_logging_concurrency_tests ${shared}/logging/concurrency_test.cc)
