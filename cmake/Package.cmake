# What users install, made by cpack from the install rules: on Linux a Debian package of the
# whole installed tree, on Windows a zip of the DLL with its import library and header.
# A Debian package is made from a build configured with -DCMAKE_INSTALL_PREFIX=/usr, whose
# folders (lib/<multiarch>, the Python package in lib/python3/dist-packages) are Debian's.
set(CPACK_PACKAGE_NAME zelqa-rpc)
set(CPACK_PACKAGE_VENDOR Zelqa)
set(CPACK_PACKAGE_CONTACT "Zelqa RPC maintainers <zelqa-rpc@zelqa.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Client library calling DoRpc over authenticated Microsoft RPC")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(arch win64)
  else()
    set(arch win32)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ZelqaRpcClientDll-${PROJECT_VERSION}-${arch})
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "Client library calling DoRpc over authenticated Microsoft RPC\n"
      " The shared library with its C header, pkg-config and CMake files, the command-line\n"
      " client zelqa-rpc, the reference server zelqa-rpc-server and the Python package\n"
      " zelqa_rpc.")
  # The libraries the programs and the library link (libc, libstdc++, MIT Kerberos, nettle,
  # zlib) are found by dpkg-shlibdeps; the library's own SONAME is in the package itself. The
  # Python package runs on the system's interpreter.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/src)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS python3)
endif()
include(CPack)

# The package's file list and dependencies, from a build whose prefix is the package's.
if(NOT WIN32 AND CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  add_test(NAME package_deb
           COMMAND ${PROJECT_SOURCE_DIR}/tests/install/deb_package_test.sh ${PROJECT_BINARY_DIR})
  set_tests_properties(package_deb PROPERTIES TIMEOUT 300)
endif()
