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
