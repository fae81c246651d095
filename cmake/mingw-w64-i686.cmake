# Cross-compiling the Windows DLL for i686 with Debian's mingw-w64 (the posix thread model,
# whose std::thread and std::mutex the library uses).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZELQA_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
