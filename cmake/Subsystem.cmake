# zorvek_subsystem(<folder> [DEPS lib...]): one static library per folder of src/,
# made of every .cpp in it except the plug-ins' entry files (*Entry.cpp).
function(zorvek_subsystem name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${name}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "Entry\\.cpp$")
  if(sources)
    add_library(zorvek_${name} STATIC ${sources})
    target_include_directories(zorvek_${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(zorvek_${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(zorvek_${name} INTERFACE)
    target_include_directories(zorvek_${name} INTERFACE ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(zorvek_${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# zorvek_test(<folder> [DEPS lib...] [ARGS arg...]): one GoogleTest executable per folder
# of tests/, run with the given arguments.
function(zorvek_test name)
  cmake_parse_arguments(ARG "" "" "DEPS;ARGS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${name}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(test_${name} ${sources})
  target_link_libraries(test_${name} PRIVATE ${ARG_DEPS} zorvek_testsupport GTest::gtest_main GTest::gmock)
  add_test(NAME ${name} COMMAND test_${name} ${ARG_ARGS} WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
  # Plug-ins write their controller map into the user's configuration: not the tester's.
  set_tests_properties(${name} PROPERTIES TIMEOUT 600 ENVIRONMENT "XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/test-config")
endfunction()
