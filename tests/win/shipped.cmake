# The release as a user gets it (package builds only, see tools/package.sh): the archive packed by
# CPack and unpacked afresh, the black-box suite run once more against the DLL out of it, and the
# archive's listing and DLL checked against what that suite ran.
if(NOT TEMPOTALLY_PACKAGE)
  return()
endif()

set(shipped_root ${CMAKE_BINARY_DIR}/shipped)
set(archive ${TEMPOTALLY_ARCHIVE})
set(dll_entry "${TEMPOTALLY_PLUGIN_FOLDER}/ORVA Tempotally.dll")
set(shipped_dll "${shipped_root}/${dll_entry}")

add_test(NAME package_archive
  COMMAND ${CMAKE_COMMAND} -DCPACK=${CMAKE_CPACK_COMMAND} -DCONFIG=${CMAKE_BINARY_DIR}/CPackConfig.cmake
          -DARCHIVE=${archive} -DUNPACK_TO=${shipped_root}
          -P ${CMAKE_CURRENT_SOURCE_DIR}/shipped/pack_and_unpack.cmake)
set_tests_properties(package_archive PROPERTIES FIXTURES_SETUP archive LABELS shipped)

# One entry: every black-box program, and the module's resources, against the unpacked DLL.
add_test(NAME blackbox_shipped
  COMMAND ${CMAKE_COMMAND} -DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}
          "-DPROGRAMS=$<TARGET_FILE:blackbox_plugin>;$<TARGET_FILE:blackbox_sync>;$<TARGET_FILE:blackbox_statecall>;$<TARGET_FILE:module_resources>"
          -P ${CMAKE_CURRENT_SOURCE_DIR}/shipped/run_suite.cmake
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
set_tests_properties(blackbox_shipped PROPERTIES
  FIXTURES_REQUIRED archive FIXTURES_SETUP shipped_suite LABELS shipped TIMEOUT 900
  ENVIRONMENT "TEMPOTALLY_DLL=Z:${shipped_dll}")

add_test(NAME package_contents
  COMMAND ${CMAKE_COMMAND} -DARCHIVE=${archive}
          "-DEXPECTED=INSTALL.txt;${TEMPOTALLY_FONT_FOLDER}/Cuprum.ttf;${TEMPOTALLY_FONT_FOLDER}/OFL.txt;${dll_entry}"
          -DSHIPPED_DLL=${shipped_dll} -DBUILT_DLL=$<TARGET_FILE:tempotally_dll>
          -DDLL_ENTRY=${dll_entry} -DOBJDUMP=${CMAKE_OBJDUMP} -DSCRATCH=${CMAKE_BINARY_DIR}/package-check
          -P ${CMAKE_CURRENT_SOURCE_DIR}/shipped/check_package.cmake)
set_tests_properties(package_contents PROPERTIES
  FIXTURES_REQUIRED "archive;shipped_suite" LABELS shipped)
