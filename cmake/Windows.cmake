# The cross tree: installer stub, its library, the archive library, the
# sample product, the automation helper and the Windows tests.

set(TARNIS_HOST_BUILD_DIR "${CMAKE_SOURCE_DIR}/build/host" CACHE PATH "native tree (tnpack)")

# The same bytes from every build of the same sources, third-party code included.
include(${CMAKE_SOURCE_DIR}/cmake/Reproducible.cmake)

# Third-party code first, built without our warning and charset flags.
add_subdirectory(third_party)

add_compile_options(-Wall -Wextra ${TN_WARNINGS_AS_ERRORS_FLAG}
  "$<$<COMPILE_LANGUAGE:CXX>:-finput-charset=UTF-8;-fexec-charset=GBK>")
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
# The installer travels as a download: optimise for size (the heavy work is
# the archive library's, built with its own flags).
add_compile_options(-Os -ffunction-sections -fdata-sections)
add_link_options(-static -static-libgcc -static-libstdc++ -Wl,--gc-sections)

# One static library per folder, each linking only the layers below it:
#   app -> pages -> actions, hypervisor, payload, config -> ui, util
# so that a call that runs upwards fails to link, and tools/check_layers.py
# fails the build on an include that runs upwards. tnsetup_lib is the whole
# installer but its entry point; the installer and most test programs link it.
add_library(tn_util STATIC)
add_library(tn_ui STATIC)
add_library(tn_config STATIC)
add_library(tn_payload STATIC)
add_library(tn_actions STATIC)
add_library(tn_hypervisor STATIC)
add_library(tn_pages STATIC)
add_library(tn_app STATIC)
foreach(layer tn_util tn_ui tn_config tn_payload tn_actions tn_hypervisor tn_pages tn_app)
  target_include_directories(${layer} PUBLIC ${CMAKE_SOURCE_DIR})
  add_dependencies(${layer} layer_check)
endforeach()
target_link_libraries(tn_util PUBLIC
  shlwapi shell32 ole32 oleaut32 uuid comctl32 comdlg32 gdi32 user32 advapi32 msimg32 imm32 kernel32)
target_link_libraries(tn_ui PUBLIC zlibstatic_mingw tn_util)
target_link_libraries(tn_config PUBLIC tn_util)
target_link_libraries(tn_payload PUBLIC tn_config tn_util sevenzip_headers)
target_link_libraries(tn_actions PUBLIC tn_payload tn_config tn_util tinyxml2)
target_link_libraries(tn_hypervisor PUBLIC tn_payload tn_config tn_util)
target_link_libraries(tn_pages PUBLIC tn_actions tn_hypervisor tn_payload tn_config tn_ui tn_util)
target_link_libraries(tn_app PUBLIC tn_pages)
add_library(tnsetup_lib INTERFACE)
target_link_libraries(tnsetup_lib INTERFACE tn_app)

add_custom_target(layer_check
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/check_layers.py ${CMAKE_SOURCE_DIR}
  COMMENT "Checking that includes follow the layers")

set(TN_SUBDIRS tests/support util config payload ui skin pages actions hypervisor app sample tools/winauto tests/e2e tests/release bench)
foreach(dir IN LISTS TN_SUBDIRS)
  if(EXISTS "${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt")
    add_subdirectory(${dir})
  endif()
endforeach()

# Template Wine prefixes, made once per tree and copied per test.
add_test(NAME setup.wine_prefixes
  COMMAND ${CMAKE_SOURCE_DIR}/tests/harness/prepare-prefixes ${CMAKE_BINARY_DIR}/prefixes)
set_tests_properties(setup.wine_prefixes PROPERTIES
  FIXTURES_SETUP wine_prefixes TIMEOUT 600 LABELS setup)
