# Test registration shared by both trees.
#
#   tn_add_windows_test(NAME SOURCES a_test.cpp ... [LAYER tn_x] [LIBS extra])
#     a GoogleTest program linked with the installer library (or, with
#     LAYER, only with that layer and the ones below it), run by ctest under
#     Wine (CMAKE_CROSSCOMPILING_EMULATOR) in a prefix of its own.
#   tn_add_host_test(NAME SOURCES a_test.cpp ... [LIBS extra])
#     a native GoogleTest program.
#   tn_add_e2e_test(NAME SCRIPT tests/e2e/test_x.py [TIMEOUT s])
#     an end-to-end script run with the harness on a display of its own.

function(tn_add_windows_test name)
  cmake_parse_arguments(T "" "LAYER" "SOURCES;LIBS" ${ARGN})
  if(NOT T_LAYER)
    set(T_LAYER tnsetup_lib)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE tn_test_support ${T_LAYER} gtest_main gtest ${T_LIBS})
  add_dependencies(${name} tn_idle)
  target_compile_options(${name} PRIVATE -Wno-missing-field-initializers)
  target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++)
  add_test(NAME win.${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(win.${name} PROPERTIES
    LABELS windows TIMEOUT 300 FIXTURES_REQUIRED wine_prefixes
    ENVIRONMENT "TN_BUILD_DIR=${CMAKE_BINARY_DIR};TN_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()

function(tn_add_host_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE GTest::gtest_main ${T_LIBS})
  add_test(NAME host.${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(host.${name} PROPERTIES LABELS host TIMEOUT 300
    ENVIRONMENT "TN_BUILD_DIR=${CMAKE_BINARY_DIR};TN_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()

function(tn_add_e2e_test name)
  cmake_parse_arguments(T "" "SCRIPT;TIMEOUT" "" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME e2e.${name}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/${T_SCRIPT})
  set_tests_properties(e2e.${name} PROPERTIES
    LABELS e2e TIMEOUT ${T_TIMEOUT} FIXTURES_REQUIRED "wine_prefixes;e2e_inputs"
    ENVIRONMENT "TN_BUILD_DIR=${CMAKE_BINARY_DIR};TN_SOURCE_DIR=${CMAKE_SOURCE_DIR};TN_HOST_BUILD_DIR=${TARNIS_HOST_BUILD_DIR};PYTHONPATH=${CMAKE_SOURCE_DIR}/tests/harness;PYTHONDONTWRITEBYTECODE=1")
endfunction()
