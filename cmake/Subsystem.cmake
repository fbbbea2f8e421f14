# zorvek_subsystem(<folder> [DEPS lib...]): one static library per folder of src/,
# made of every .cpp in it except the plug-in entry files (*Entry.cpp).
# Sources name headers "<folder>/File.h". Each library's include root holds only its own
# folder (a link in the build tree), so a file sees its own folder and those of the
# libraries it links, the layers below it: an include that goes upward does not compile.
function(zorvek_subsystem name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${name}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "Entry\\.cpp$")
  set(root ${CMAKE_BINARY_DIR}/include/${name})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${name} ${root}/${name} SYMBOLIC)
  if(sources)
    add_library(zorvek_${name} STATIC ${sources})
    target_include_directories(zorvek_${name} PUBLIC ${root})
    target_link_libraries(zorvek_${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(zorvek_${name} INTERFACE)
    target_include_directories(zorvek_${name} INTERFACE ${root})
    target_link_libraries(zorvek_${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# zorvek_test(<folder> [DEPS lib...] [ARGS arg...]): one GoogleTest executable per folder
# of tests/, run with the given arguments.
include(GoogleTest)
function(zorvek_test name)
  cmake_parse_arguments(ARG "" "" "DEPS;ARGS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${name}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(test_${name} ${sources})
  target_link_libraries(test_${name} PRIVATE ${ARG_DEPS} zorvek_testsupport GTest::gtest_main GTest::gmock)
  # Each test case is a ctest test of its own, named <folder>.<Suite>.<Test>; the list is
  # read when ctest runs, so a build for another processor needs no emulator to finish.
  # Plug-ins write their controller map into the user's configuration: not the tester's.
  gtest_discover_tests(test_${name} TEST_PREFIX "${name}." WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
                       EXTRA_ARGS ${ARG_ARGS} DISCOVERY_MODE PRE_TEST
                       PROPERTIES TIMEOUT 600 ENVIRONMENT "XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/test-config")
endfunction()
