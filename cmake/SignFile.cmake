# Signs one Windows executable in place with Authenticode (osslsigncode):
#
#   cmake -DFILE=x.dll -DPKCS12=cert.p12 -DPASS_FILE=pass.txt
#         [-DTIME_FILE=source_date_epoch.txt] [-DSIGNCODE=osslsigncode]
#         -P cmake/SignFile.cmake
#
# The password is read by osslsigncode from PASS_FILE (first line); it is
# never on a command line. On failure FILE is removed, so that the next
# build makes it again instead of embedding it unsigned. TIME_FILE holds the
# signing time (seconds since 1970); with it the same file signed with the
# same key gives the same bytes. Without it the signing time is now.
if(NOT SIGNCODE)
  set(SIGNCODE osslsigncode)
endif()
foreach(input FILE PKCS12 PASS_FILE)
  if(NOT ${input} OR NOT EXISTS "${${input}}")
    file(REMOVE "${FILE}")
    message(FATAL_ERROR "SignFile: ${input} \"${${input}}\" does not exist")
  endif()
endforeach()
set(signing_time)
if(TIME_FILE)
  file(READ "${TIME_FILE}" seconds)
  string(STRIP "${seconds}" seconds)
  if(NOT seconds MATCHES "^[0-9]+$")
    file(REMOVE "${FILE}")
    message(FATAL_ERROR "SignFile: ${TIME_FILE} holds no time (\"${seconds}\")")
  endif()
  set(signing_time -time ${seconds})
endif()
execute_process(
  COMMAND ${SIGNCODE} sign -pkcs12 ${PKCS12} -readpass ${PASS_FILE} -h sha256 ${signing_time}
          -in ${FILE} -out ${FILE}.signed
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  file(REMOVE "${FILE}" "${FILE}.signed")
  message(FATAL_ERROR "cannot sign ${FILE} with ${PKCS12} (password from ${PASS_FILE}): ${result}\n${output}")
endif()
file(RENAME "${FILE}.signed" "${FILE}")
message(STATUS "Signed ${FILE} with ${PKCS12}")
