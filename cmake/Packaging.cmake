# The archive a user unzips into the host's folder: the plug-in in a folder of its own beside the
# host's video player, the editor's typeface where the editor registers it (relative to the host's
# working folder), and INSTALL.txt. Built with `cpack` (tools/package.sh) from a Release or
# MinSizeRel build, whose DLL is stripped at link time, so the archive holds the very file that
# the build made and the tests ran.
set(TEMPOTALLY_PLUGIN_FOLDER "Plugins/Fruity/Generators/ORVA Tempotally")
set(TEMPOTALLY_FONT_FOLDER "Artwork/Fonts/Cuprum")
set(TEMPOTALLY_ARCHIVE "${CMAKE_BINARY_DIR}/package/ORVA-Tempotally-${PROJECT_VERSION}-win32.zip")
# Installing packs what is already built (tools/package.sh builds the DLL), not every target.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

# The DLL alone, without the import library that the link also makes.
install(FILES $<TARGET_FILE:tempotally_dll> DESTINATION "${TEMPOTALLY_PLUGIN_FOLDER}")
install(FILES ${PROJECT_SOURCE_DIR}/third_party/fonts/Cuprum/Cuprum.ttf
              ${PROJECT_SOURCE_DIR}/third_party/fonts/Cuprum/OFL.txt
        DESTINATION "${TEMPOTALLY_FONT_FOLDER}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/package/INSTALL.txt.in
               ${CMAKE_BINARY_DIR}/package-files/INSTALL.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/package-files/INSTALL.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME "ORVA Tempotally")
set(CPACK_PACKAGE_VENDOR "ORVA")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
get_filename_component(CPACK_PACKAGE_FILE_NAME "${TEMPOTALLY_ARCHIVE}" NAME_WLE)
get_filename_component(CPACK_PACKAGE_DIRECTORY "${TEMPOTALLY_ARCHIVE}" DIRECTORY)
# Unzipped straight into the host's folder: no folder of the archive's own name around it.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
include(CPack)
