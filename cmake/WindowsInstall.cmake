# Installation of a Windows build: bin/ZelqaRpcClientDll.dll, the import library made by
# dlltool (lib/libZelqaRpcClientDll.dll.a) and the public header.
include(GNUInstallDirs)
install(PROGRAMS $<TARGET_FILE:ZelqaRpcClientDll> DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_BINARY_DIR}/src/libZelqaRpcClientDll.dll.a
        DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/zelqa/zelqa_rpc_client.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zelqa)
include(${PROJECT_SOURCE_DIR}/cmake/Package.cmake)
