# White-box tests of the plug-in object: they link its code and read its fields.
tempotally_win_test(NAME whitebox_plugin
  SOURCES whitebox_plugin.cpp ${PROJECT_SOURCE_DIR}/resources/Tempotally.rc
  LIBS tempotally_plugin testhost)

# The built module's resources, read from the file as a host's loader would see them.
set(dll_path "Z:${CMAKE_BINARY_DIR}/plugin/ORVA Tempotally.dll")
string(REPLACE "/" "\\\\" dll_path "${dll_path}")
tempotally_win_test(NAME module_resources SOURCES module_resources.cpp LIBS version)
target_compile_definitions(module_resources PRIVATE "TEMPOTALLY_BUILT_DLL=\"${dll_path}\"")
add_dependencies(module_resources tempotally_dll)

# The zoom drag and the Ctrl+click with real input, read from inside the object.
tempotally_win_test(NAME whitebox_input
  SOURCES whitebox_input.cpp support/RealInput.cpp ${PROJECT_SOURCE_DIR}/resources/Tempotally.rc
  LIBS tempotally_plugin testhost)

# The zoom drag on a second monitor: a display of its own with two Xinerama heads, and a Wine
# prefix of its own, as Wine keeps the monitors it found in the prefix.
add_executable(whitebox_monitor whitebox_monitor.cpp support/RealInput.cpp
               ${PROJECT_SOURCE_DIR}/resources/Tempotally.rc)
target_include_directories(whitebox_monitor PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(whitebox_monitor PRIVATE tempotally_plugin testhost gtest_main gtest)
add_test(NAME whitebox_monitor
  COMMAND env "TEMPOTALLY_XVFB_SCREENS=+xinerama -screen 0 1024x768x24 -screen 1 1280x1024x24"
          WINEPREFIX=${CMAKE_BINARY_DIR}/wine-prefix-monitors
          ${PROJECT_SOURCE_DIR}/tools/with-wine-display.sh
          ${CMAKE_CURRENT_SOURCE_DIR}/support/on-xinerama.sh $<TARGET_FILE:whitebox_monitor>
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
set_tests_properties(whitebox_monitor PROPERTIES TIMEOUT 600 LABELS "win;whitebox")
