# The installer stub's version information, generated from the configuration
# the stub carries (TARNIS_INFO: Publisher, DisplayName, DisplayVersion), so
# that the file's properties, the elevation prompt and the uninstall entry
# cannot disagree.
#
#   tn_version_resource(<out_var> <target> <config.gbk>)
#     adds the command that writes <target>_version.rc in the current binary
#     folder and stores its path in <out_var>; the stub's resource script
#     includes it and lists it in OBJECT_DEPENDS.

function(tn_version_resource out_var target config)
  set(version_rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  add_custom_command(OUTPUT ${version_rc}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/make_version_rc.py ${config} ${version_rc}
    DEPENDS ${config} ${CMAKE_SOURCE_DIR}/tools/make_version_rc.py
    COMMENT "Writing the version information of ${target} from its configuration")
  set(${out_var} ${version_rc} PARENT_SCOPE)
endfunction()
