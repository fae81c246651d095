# ZelqaRpcClientDll.dll: the four entry points with undecorated names and fixed ordinals from
# the module definition file, nothing else exported, and an import library made from the same
# file (dlltool -k), which a 32-bit __stdcall caller links against. How the .def is decorated
# per architecture: cmake/Windows.cmake.
set(ZELQA_DLL_DEF ${CMAKE_CURRENT_BINARY_DIR}/ZelqaRpcClientDll.def)
configure_file(${PROJECT_SOURCE_DIR}/src/api/ZelqaRpcClientDll.def.in ${ZELQA_DLL_DEF} @ONLY)

set(import_lib ${CMAKE_CURRENT_BINARY_DIR}/libZelqaRpcClientDll.dll.a)
target_link_libraries(ZelqaRpcClientDll PRIVATE zelqa_core)
# The linker's own import library would name the undecorated symbols, which a __stdcall
# caller does not look for; it is written aside and replaced by dlltool's.
set_target_properties(ZelqaRpcClientDll PROPERTIES PREFIX "" IMPORT_PREFIX ""
                      IMPORT_SUFFIX ".linker.a" LINK_DEPENDS ${ZELQA_DLL_DEF})
target_link_options(ZelqaRpcClientDll PRIVATE ${ZELQA_DLL_DEF} -Wl,--kill-at
                    -Wl,--exclude-all-symbols)
add_custom_command(TARGET ZelqaRpcClientDll POST_BUILD
  COMMAND ${CMAKE_DLLTOOL} -k -d ${ZELQA_DLL_DEF} -D ZelqaRpcClientDll.dll -l ${import_lib}
  BYPRODUCTS ${import_lib} VERBATIM)
