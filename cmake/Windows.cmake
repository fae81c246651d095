# The Windows build: the DLL on the system's RPC run time, cross-compiled with mingw-w64
# (toolchain files cmake/mingw-w64-*.cmake), and its tests under Wine.

# The C and C++ run times are linked in, so the DLL needs nothing beside it but the system.
add_link_options(-static -static-libgcc -static-libstdc++)
# Windows 7 and later: the system calls the platform uses (inet_pton, BCryptGenRandom).
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601)
# The C run time's POSIX subset, as the code above the platform uses it: localtime_r, and
# O_CLOEXEC for the files the library opens, which on Windows means a descriptor that child
# processes do not inherit, in binary mode (the library writes bytes, never text lines).
# O_NOFOLLOW is a no-op there: an unprivileged account cannot plant a symbolic link.
add_compile_definitions(_POSIX_THREAD_SAFE_FUNCTIONS "O_CLOEXEC=(_O_NOINHERIT | _O_BINARY)"
                        O_NOFOLLOW=0)

# Header-only Boost, from the build machine's headers: Debian has no Boost built for mingw, and
# the library uses only parts that need none. The folder holds nothing but the boost/ tree,
# so the build machine's other headers stay out of the cross build.
set(ZELQA_BOOST_HEADERS /usr/include/boost CACHE PATH "The boost/ folder of header-only Boost")
set(boost_root ${PROJECT_BINARY_DIR}/boost-headers)
file(MAKE_DIRECTORY ${boost_root})
file(CREATE_LINK ${ZELQA_BOOST_HEADERS} ${boost_root}/boost SYMBOLIC)
add_library(Boost::headers INTERFACE IMPORTED)
target_include_directories(Boost::headers SYSTEM INTERFACE ${boost_root})
target_compile_definitions(Boost::headers INTERFACE BOOST_ALL_NO_LIB BOOST_USE_WINAPI_VERSION=0x0601)

# zlib from libz-mingw-w64-dev, the static archive rather than zlib1.dll.
find_library(ZELQA_ZLIB_STATIC NAMES libz.a REQUIRED)
find_path(ZELQA_ZLIB_INCLUDE zlib.h REQUIRED)
add_library(ZLIB::ZLIB STATIC IMPORTED)
set_target_properties(ZLIB::ZLIB PROPERTIES IMPORTED_LOCATION ${ZELQA_ZLIB_STATIC}
                      INTERFACE_INCLUDE_DIRECTORIES ${ZELQA_ZLIB_INCLUDE})

# On i686 the .def names the __stdcall symbols as the compiler decorates them (name@bytes of
# arguments) and --kill-at exports them undecorated; x86_64 has one calling convention and no
# decoration.
function(zelqa_stdcall_suffix out bytes)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(${out} "@${bytes}" PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()
zelqa_stdcall_suffix(ZELQA_ARGS_DoRpcCall 20)
zelqa_stdcall_suffix(ZELQA_ARGS_LibStrFree 4)
zelqa_stdcall_suffix(ZELQA_ARGS_RpcConnect 28)
zelqa_stdcall_suffix(ZELQA_ARGS_RpcDisconnect 8)

# The DLL and the programs that load it share one folder, where Windows looks for DLLs.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)

add_subdirectory(rpcrt)
add_subdirectory(src)
# The tests include their own folders from the repository root ("tests/..."), as on Linux;
# the libraries above never see it.
include_directories(${PROJECT_SOURCE_DIR})
add_subdirectory(tests/windows)
include(cmake/WindowsInstall.cmake)
