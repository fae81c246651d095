# Cross-compiling the Windows DLL for x86_64 with Debian's mingw-w64 (the posix thread model,
# whose std::thread and std::mutex the library uses).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZELQA_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
