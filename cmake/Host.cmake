# The native tree: the packing tool, code shared with it, host tests and fuzzers.
find_package(GTest REQUIRED)
add_compile_options(-Wall -Wextra ${TN_WARNINGS_AS_ERRORS_FLAG})

set(TN_SUBDIRS util payload ui tools/tnpack bench)
foreach(dir IN LISTS TN_SUBDIRS)
  if(EXISTS "${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt")
    add_subdirectory(${dir})
  endif()
endforeach()

# The sources are formatted as .clang-format says.
add_test(NAME lint.format
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/check_format.py ${CMAKE_SOURCE_DIR})
set_tests_properties(lint.format PROPERTIES LABELS lint TIMEOUT 300)
