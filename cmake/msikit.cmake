# msikit_library(<name> SOURCES <files...> [LIBS <libs...>])
#   A static library whose headers sit beside its sources, linking LIBS for
#   itself and its users.
function(msikit_library name)
  cmake_parse_arguments(P "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${P_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  if(P_LIBS)
    target_link_libraries(${name} PUBLIC ${P_LIBS})
  endif()
endfunction()

# msikit_test_helpers(<name>)
#   The header-only helpers in tests/ beside the calling CMakeLists.txt, for
#   the suites of the tools built on that library.
function(msikit_test_helpers name)
  add_library(${name} INTERFACE)
  target_include_directories(${name} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR}/tests)
endfunction()

# msikit_program(<name> SOURCES <files...> [LIBS <libs...>])
#   A console program, built into ${CMAKE_BINARY_DIR}/bin/<name>.
function(msikit_program name)
  cmake_parse_arguments(P "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${P_SOURCES})
  target_link_libraries(${name} PRIVATE ${P_LIBS})
endfunction()

# msikit_tests(<name> SOURCES <files...> [LIBS <libs...>] [PROGRAMS <progs...>]
#              [LABELS <labels...>])
#   A GoogleTest executable registered with ctest, built into
#   ${CMAKE_BINARY_DIR}/tests/<name>. Tests that run built programs link
#   msikit_testsupport, which finds them in ../bin/ beside that folder (so a
#   moved build folder still works), and name those programs under PROGRAMS
#   so that they are rebuilt first. LABELS
#   become ctest labels of every test: "slow" marks tests of several
#   seconds each, which `ctest -LE slow` skips (the full suite runs them).
function(msikit_tests name)
  if(NOT MSI_TESTS)
    return()
  endif()
  cmake_parse_arguments(P "" "" "SOURCES;LIBS;PROGRAMS;LABELS" ${ARGN})
  add_executable(${name} ${P_SOURCES})
  set_target_properties(${name} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${P_LIBS} msikit_testsupport
                        GTest::gtest GTest::gtest_main)
  if(P_PROGRAMS)
    add_dependencies(${name} ${P_PROGRAMS})
  endif()
  set(labels "")
  if(P_LABELS)
    set(labels PROPERTIES LABELS "${P_LABELS}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
                       WORKING_DIRECTORY ${CMAKE_BINARY_DIR} ${labels})
endfunction()

if(MSI_TESTS)
  include(GoogleTest)
endif()
