# The 7z extraction library ("7zTmp.dll" inside the installer): the sources
# of 7-Zip's extraction-only 7z bundle, built with our cross compiler and
# exported under plain names through 7-Zip's own export list.

set(_sz ${SEVENZIP_SOURCE_DIR})
set(_sz_cpp
  Common/CRC Common/CrcReg Common/IntToString Common/MyString Common/MyVector
  Common/NewHandler Common/Sha256Reg Common/StringConvert Common/StringToInt
  Common/Wildcard Common/Sha256Prepare
  Windows/PropVariant Windows/Synchronization Windows/System
  7zip/Common/CreateCoder 7zip/Common/CWrappers 7zip/Common/InBuffer
  7zip/Common/FilterCoder 7zip/Common/LimitedStreams 7zip/Common/MethodId
  7zip/Common/MethodProps 7zip/Common/OutBuffer 7zip/Common/ProgressUtils
  7zip/Common/PropId 7zip/Common/StreamBinder 7zip/Common/StreamObjects
  7zip/Common/StreamUtils 7zip/Common/VirtThread
  7zip/Archive/ArchiveExports 7zip/Archive/DllExports2
  7zip/Archive/Common/CoderMixer2 7zip/Archive/Common/HandlerOut
  7zip/Archive/Common/ItemNameUtils 7zip/Archive/Common/OutStreamWithCRC
  7zip/Archive/Common/ParseProperties
  7zip/Archive/7z/7zCompressionMode 7zip/Archive/7z/7zDecode
  7zip/Archive/7z/7zExtract 7zip/Archive/7z/7zHandler 7zip/Archive/7z/7zHeader
  7zip/Archive/7z/7zIn 7zip/Archive/7z/7zProperties 7zip/Archive/7z/7zRegister
  7zip/Compress/CodecExports 7zip/Compress/Bcj2Coder 7zip/Compress/Bcj2Register
  7zip/Compress/BcjCoder 7zip/Compress/BcjRegister 7zip/Compress/BitlDecoder
  7zip/Compress/BranchMisc 7zip/Compress/BranchRegister 7zip/Compress/ByteSwap
  7zip/Compress/BZip2Crc 7zip/Compress/BZip2Decoder 7zip/Compress/BZip2Register
  7zip/Compress/CopyCoder 7zip/Compress/CopyRegister 7zip/Compress/DeflateDecoder
  7zip/Compress/DeflateRegister 7zip/Compress/DeltaFilter
  7zip/Compress/Lzma2Decoder 7zip/Compress/Lzma2Register
  7zip/Compress/LzmaDecoder 7zip/Compress/LzmaRegister 7zip/Compress/LzOutWindow
  7zip/Compress/PpmdDecoder 7zip/Compress/PpmdRegister
  7zip/Crypto/7zAes 7zip/Crypto/7zAesRegister 7zip/Crypto/MyAes 7zip/Crypto/MyAesReg)
set(_sz_c
  7zStream Alloc Bcj2 Bra Bra86 BraIA64 CpuArch Delta Lzma2Dec Lzma2DecMt
  LzmaDec MtDec Ppmd7 Ppmd7Dec SwapBytes Threads
  7zCrc 7zCrcOpt Aes AesOpt Sha256 Sha256Opt)

set(_sz_sources ${_sz}/CPP/7zip/Bundles/Format7zExtract/StdAfx.cpp)
foreach(f IN LISTS _sz_cpp)
  list(APPEND _sz_sources ${_sz}/CPP/${f}.cpp)
endforeach()
foreach(f IN LISTS _sz_c)
  list(APPEND _sz_sources ${_sz}/C/${f}.c)
endforeach()

add_library(sevenzip_dll SHARED ${_sz_sources} ${_sz}/CPP/7zip/Archive/Archive2.def)
set_target_properties(sevenzip_dll PROPERTIES
  OUTPUT_NAME 7zTmp PREFIX "" SUFFIX ".dll"
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_compile_definitions(sevenzip_dll PRIVATE Z7_EXTRACT_ONLY)
target_compile_options(sevenzip_dll PRIVATE -O2 -w)
target_link_options(sevenzip_dll PRIVATE -static -s -Wl,--kill-at -Wl,--enable-stdcall-fixup)
target_link_libraries(sevenzip_dll PRIVATE oleaut32 user32)
set(TARNIS_ARCHIVE_LIBRARY ${CMAKE_BINARY_DIR}/7zTmp.dll CACHE INTERNAL "")

# Signed (Authenticode) before it is embedded, when scripts/build.sh is given
# TN_SIGN_PKCS12 and TN_SIGN_PASS_FILE; unsigned otherwise. A change of
# certificate, password file or of signing at all relinks and re-signs it.
set(TN_SIGN_PKCS12 "" CACHE FILEPATH "PKCS#12 file the archive library is signed with (empty: unsigned)")
set(TN_SIGN_PASS_FILE "" CACHE FILEPATH "file whose first line is the password of TN_SIGN_PKCS12")
set(_sign_stamp ${CMAKE_BINARY_DIR}/archive_library_signing.txt)
file(CONFIGURE OUTPUT ${_sign_stamp} CONTENT "${TN_SIGN_PKCS12}\n${TN_SIGN_PASS_FILE}\n")
set_property(TARGET sevenzip_dll APPEND PROPERTY LINK_DEPENDS ${_sign_stamp})
if(TN_SIGN_PKCS12 OR TN_SIGN_PASS_FILE)
  foreach(_input TN_SIGN_PKCS12 TN_SIGN_PASS_FILE)
    if(NOT EXISTS "${${_input}}")
      message(FATAL_ERROR "${_input} \"${${_input}}\" does not exist; both TN_SIGN_PKCS12 and "
                          "TN_SIGN_PASS_FILE are needed to sign the archive library")
    endif()
  endforeach()
  find_program(TN_OSSLSIGNCODE osslsigncode)
  if(NOT TN_OSSLSIGNCODE)
    message(FATAL_ERROR "osslsigncode is missing (scripts/setup.sh installs it)")
  endif()
  # The signature carries the build's time, so that a rebuild signs to the
  # same bytes; a new time relinks and re-signs.
  set_property(TARGET sevenzip_dll APPEND PROPERTY LINK_DEPENDS
    ${TN_SIGN_PKCS12} ${TN_SIGN_PASS_FILE} ${TN_SOURCE_DATE_EPOCH_FILE})
  add_dependencies(sevenzip_dll source_date_epoch)
  add_custom_command(TARGET sevenzip_dll POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DFILE=$<TARGET_FILE:sevenzip_dll> -DPKCS12=${TN_SIGN_PKCS12}
            -DPASS_FILE=${TN_SIGN_PASS_FILE} -DTIME_FILE=${TN_SOURCE_DATE_EPOCH_FILE}
            -DSIGNCODE=${TN_OSSLSIGNCODE}
            -P ${CMAKE_SOURCE_DIR}/cmake/SignFile.cmake
    COMMENT "Signing the archive library with ${TN_SIGN_PKCS12}")
  message(STATUS "The archive library is signed with ${TN_SIGN_PKCS12}")
endif()
