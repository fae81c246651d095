# Adds every immediate sub-folder of DIR that has its own CMakeLists.txt, so that each
# subsystem keeps its build rules to itself.
function(zelqa_add_subdirs dir)
  if(EXISTS ${PROJECT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
    return()
  endif()
  file(GLOB children LIST_DIRECTORIES true CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${dir}/*)
  list(SORT children)
  foreach(child ${children})
    if(IS_DIRECTORY ${child} AND EXISTS ${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# zelqa_add_test(NAME SOURCES... LIBS ...): one GoogleTest executable registered with CTest.
function(zelqa_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()

# zelqa_include_root(TARGET FOLDER [UNDER NAME] [EXCEPT CHILD...]): an INTERFACE target through
# which FOLDER's headers, and nothing else, are included as "<name>/...", name being FOLDER's
# last component, or as "NAME/<name>/..." with UNDER. The include root is a folder of the build
# tree holding one link to FOLDER, so a library that does not link TARGET cannot reach those
# headers: a wrong include fails to compile. With EXCEPT, "<name>" is a folder of links to
# FOLDER's children but those named, which are left to another target's root.
function(zelqa_include_root target folder)
  cmake_parse_arguments(R "" "UNDER" "EXCEPT" ${ARGN})
  get_filename_component(name ${folder} NAME)
  set(root ${PROJECT_BINARY_DIR}/include-roots/${target})
  set(parent ${root})
  if(R_UNDER)
    set(parent ${root}/${R_UNDER})
  endif()
  file(MAKE_DIRECTORY ${parent})
  if(R_EXCEPT)
    # A link left by an earlier configuration would put the new links inside FOLDER itself.
    if(IS_SYMLINK ${parent}/${name})
      file(REMOVE ${parent}/${name})
    endif()
    file(MAKE_DIRECTORY ${parent}/${name})
    file(GLOB children RELATIVE ${folder} CONFIGURE_DEPENDS ${folder}/*)
    foreach(child ${children})
      if(NOT child IN_LIST R_EXCEPT)
        file(CREATE_LINK ${folder}/${child} ${parent}/${name}/${child} SYMBOLIC)
      endif()
    endforeach()
  else()
    if(IS_DIRECTORY ${parent}/${name} AND NOT IS_SYMLINK ${parent}/${name})
      file(REMOVE_RECURSE ${parent}/${name})
    endif()
    file(CREATE_LINK ${folder} ${parent}/${name} SYMBOLIC)
  endif()
  add_library(${target} INTERFACE)
  target_include_directories(${target} INTERFACE ${root})
endfunction()
