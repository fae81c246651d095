# Installation: the shared library with its public header, a pkg-config file and a CMake
# package, both programs and the Python package. The static internals (zelqa_core, rpcrt)
# stay in the build tree: the shared library carries all of them.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The interpreter the Python package is installed for and tested with: Debian's own first,
# since that is the one python3-pytest belongs to and whose dist-packages we install into.
find_program(ZELQA_PYTHON3 NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
find_program(ZELQA_PYTHON3 NAMES python3)

set(ZELQA_PYTHON_INSTALL_DIR "" CACHE STRING
    "Folder for the zelqa_rpc Python package, absolute or relative to the prefix (empty: Debian's)")
set(zelqa_python_dir ${ZELQA_PYTHON_INSTALL_DIR})
if(NOT zelqa_python_dir)
  if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    set(zelqa_python_dir lib/python3/dist-packages)
  else()
    # Debian's python3 searches /usr/local/lib/python3.X/dist-packages, X its minor version.
    set(zelqa_python_version 3)
    if(ZELQA_PYTHON3)
      execute_process(COMMAND ${ZELQA_PYTHON3} -c "import sys; print('%d.%d' % sys.version_info[:2])"
                      OUTPUT_VARIABLE zelqa_python_version OUTPUT_STRIP_TRAILING_WHITESPACE)
    endif()
    set(zelqa_python_dir lib/python${zelqa_python_version}/dist-packages)
  endif()
endif()

# Relative paths between installed folders keep the installed tree relocatable
# (cmake --install --prefix elsewhere, or a copied tree).
function(zelqa_install_relative out from to)
  if(IS_ABSOLUTE "${from}" OR IS_ABSOLUTE "${to}")
    cmake_path(ABSOLUTE_PATH from BASE_DIRECTORY ${CMAKE_INSTALL_PREFIX})
    cmake_path(ABSOLUTE_PATH to BASE_DIRECTORY ${CMAKE_INSTALL_PREFIX})
    set(${out} ${to} PARENT_SCOPE)
  else()
    file(RELATIVE_PATH rel /prefix/${from} /prefix/${to})
    string(REGEX REPLACE "/$" "" rel "${rel}")
    if(NOT rel)
      set(rel .)
    endif()
    set(${out} ${rel} PARENT_SCOPE)
  endif()
endfunction()

set_target_properties(ZelqaRpcClientDll PROPERTIES
  VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR} EXPORT_NAME RpcClient)
install(TARGETS ZelqaRpcClientDll EXPORT ZelqaRpcClientTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/zelqa DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        FILES_MATCHING PATTERN "*.h")
install(TARGETS zelqa-rpc zelqa-rpc-server RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# CMake package: find_package(ZelqaRpcClient) gives the imported target Zelqa::RpcClient.
set(zelqa_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/ZelqaRpcClient)
install(EXPORT ZelqaRpcClientTargets NAMESPACE Zelqa:: DESTINATION ${zelqa_cmake_dir})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/ZelqaRpcClientConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/ZelqaRpcClientConfig.cmake
                              INSTALL_DESTINATION ${zelqa_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ZelqaRpcClientConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ZelqaRpcClientConfig.cmake
              ${PROJECT_BINARY_DIR}/ZelqaRpcClientConfigVersion.cmake
        DESTINATION ${zelqa_cmake_dir})

# pkg-config file, its prefix found from its own place.
zelqa_install_relative(zelqa_pc_prefix ${CMAKE_INSTALL_LIBDIR}/pkgconfig .)
if(IS_ABSOLUTE "${zelqa_pc_prefix}")
  set(ZELQA_PC_PREFIX ${zelqa_pc_prefix})
else()
  set(ZELQA_PC_PREFIX "\${pcfiledir}/${zelqa_pc_prefix}")
endif()
foreach(kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}}")
    set(ZELQA_PC_${kind} ${CMAKE_INSTALL_${kind}})
  else()
    set(ZELQA_PC_${kind} "\${prefix}/${CMAKE_INSTALL_${kind}}")
  endif()
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/cmake/zelqa-rpc-client.pc.in
               ${PROJECT_BINARY_DIR}/zelqa-rpc-client.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/zelqa-rpc-client.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# Python package, told where the library lies relative to it.
zelqa_install_relative(ZELQA_PYTHON_LIBRARY_DIR ${zelqa_python_dir}/zelqa_rpc
                       ${CMAKE_INSTALL_LIBDIR})
set(ZELQA_PYTHON_LIBRARY_NAME libZelqaRpcClientDll.so.${PROJECT_VERSION_MAJOR})
configure_file(${PROJECT_SOURCE_DIR}/cmake/zelqa_rpc_installed.py.in
               ${PROJECT_BINARY_DIR}/python/_installed.py @ONLY)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/zelqa_rpc DESTINATION ${zelqa_python_dir}
        FILES_MATCHING PATTERN "*.py" PATTERN "__pycache__" EXCLUDE)
install(FILES ${PROJECT_BINARY_DIR}/python/_installed.py DESTINATION ${zelqa_python_dir}/zelqa_rpc)
set(ZELQA_PYTHON_INSTALL_PATH ${zelqa_python_dir})
include(${PROJECT_SOURCE_DIR}/cmake/Package.cmake)
