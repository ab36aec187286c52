# Two builds of the same sources give the same bytes, wherever the sources,
# the fetched packages and the build tree lie (tests/release checks it for
# the stub and the archive library):
#
# - the linker writes no link time into PE headers and export directories
#   (their time stamps are 0);
# - __FILE__ and debug information name files relative to the source tree,
#   the fetched packages as deps/ and generated files as build/ (GCC tries
#   the prefix given last first, so the deeper folders come last);
# - static libraries carry no member times or owners (ar D);
# - where a file format needs a time (the skin package's ZIP entries, the
#   signing time of the archive library) it is SOURCE_DATE_EPOCH, or the
#   commit time of the checked-out sources (tools/source_date_epoch.py).
#
# Included by the cross tree before anything is added, so that the
# third-party code is built the same way.

add_link_options(-Wl,--no-insert-timestamp)
foreach(_map "${CMAKE_SOURCE_DIR}/=" "${TARNIS_DEPS_DIR}/=deps/" "${CMAKE_BINARY_DIR}/=build/")
  add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${_map}>")
endforeach()
foreach(_lang C CXX)
  set(CMAKE_${_lang}_ARCHIVE_CREATE "<CMAKE_AR> qcD <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${_lang}_ARCHIVE_APPEND "<CMAKE_AR> qD <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${_lang}_ARCHIVE_FINISH "<CMAKE_RANLIB> -D <TARGET>")
endforeach()

# The build's time, read again at every build and rewritten only when it
# changes. What carries it depends on the file and on the target
# source_date_epoch.
set(TN_SOURCE_DATE_EPOCH_FILE ${CMAKE_BINARY_DIR}/source_date_epoch.txt CACHE INTERNAL "")
add_custom_target(source_date_epoch
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/source_date_epoch.py
          ${CMAKE_SOURCE_DIR} ${TN_SOURCE_DATE_EPOCH_FILE}
  BYPRODUCTS ${TN_SOURCE_DATE_EPOCH_FILE}
  COMMENT "Reading the build's time (SOURCE_DATE_EPOCH or the commit time)"
  VERBATIM)
