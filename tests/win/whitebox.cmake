# White-box tests of the plug-in object: they link its code and read its fields.
tempotally_win_test(NAME whitebox_plugin
  SOURCES whitebox_plugin.cpp ${PROJECT_SOURCE_DIR}/resources/Tempotally.rc
  LIBS tempotally_plugin)
