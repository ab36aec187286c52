# The native tree: the packing tool, code shared with it, host tests and fuzzers.
find_package(GTest REQUIRED)
add_compile_options(-Wall -Wextra)

set(TN_SUBDIRS util payload ui tools/tnpack bench)
foreach(dir IN LISTS TN_SUBDIRS)
  if(EXISTS "${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt")
    add_subdirectory(${dir})
  endif()
endforeach()
