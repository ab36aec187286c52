# The cross tree: installer stub, its library, the archive library, the
# sample product, the automation helper and the Windows tests.

set(TARNIS_HOST_BUILD_DIR "${CMAKE_SOURCE_DIR}/build/host" CACHE PATH "native tree (tnpack)")

# Third-party code first, built without our warning and charset flags.
add_subdirectory(third_party)

add_compile_options(-Wall -Wextra
  "$<$<COMPILE_LANGUAGE:CXX>:-finput-charset=UTF-8;-fexec-charset=GBK>")
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
# The installer travels as a download: optimise for size (the heavy work is
# the archive library's, built with its own flags).
add_compile_options(-Os -ffunction-sections -fdata-sections)
add_link_options(-static -static-libgcc -static-libstdc++ -Wl,--gc-sections)

# Everything but the entry points lives here; the installer and the Windows
# test programs link it.
add_library(tnsetup_lib STATIC)
target_include_directories(tnsetup_lib PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(tnsetup_lib PUBLIC
  tinyxml2 zlibstatic_mingw
  shlwapi shell32 ole32 oleaut32 uuid comctl32 comdlg32 gdi32 user32 advapi32 msimg32 imm32 kernel32)

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
