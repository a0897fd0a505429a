# Tests of the video bridge alone, with the stand-in player laid out at the video player's paths
# and a raw fake as the real host; and where LoadLibraryA finds a relative module path.
set(bridge_support
  ${CMAKE_CURRENT_LIST_DIR}/support/FakeRealHost.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/RawStdcall.cpp)

tempotally_win_test(NAME bridge_host
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bridge_host.cpp ${bridge_support}
  LIBS tempotally_bridge)

# Where LoadLibraryA finds a relative path with folders: the probe runs from a folder of its own
# with another folder as its current directory.
add_executable(bridge_loadlibrary_probe ${CMAKE_CURRENT_LIST_DIR}/bridge_loadlibrary_probe.cpp)
tempotally_win_test(NAME bridge_loadlibrary
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bridge_loadlibrary.cpp ${PROJECT_SOURCE_DIR}/devhost/PlayerLayout.cpp
  LIBS testhost)
target_compile_definitions(bridge_loadlibrary PRIVATE
  "BRIDGE_PROBE_EXE=\"$<TARGET_FILE:bridge_loadlibrary_probe>\""
  "STANDIN_PLAYER_DLL=\"$<TARGET_FILE:standin_player>\""
  "TEMPOTALLY_DLL=\"$<TARGET_FILE:tempotally_dll>\"")
add_dependencies(bridge_loadlibrary bridge_loadlibrary_probe standin_player tempotally_dll)

tempotally_win_test(NAME bridge_player
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bridge_player.cpp ${PROJECT_SOURCE_DIR}/devhost/PlayerLayout.cpp
          ${bridge_support}
  LIBS tempotally_bridge testhost)
target_compile_definitions(bridge_player PRIVATE
  "STANDIN_PLAYER_DLL=\"$<TARGET_FILE:standin_player>\"")
add_dependencies(bridge_player standin_player)

# The bridge as the plug-in object drives it.
if(TARGET tempotally_plugin)
  tempotally_win_test(NAME bridge_plugin
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/bridge_plugin.cpp
            ${PROJECT_SOURCE_DIR}/devhost/PlayerLayout.cpp ${bridge_support}
            ${PROJECT_SOURCE_DIR}/resources/Tempotally.rc
    LIBS tempotally_plugin testhost)
  target_compile_definitions(bridge_plugin PRIVATE
    "STANDIN_PLAYER_DLL=\"$<TARGET_FILE:standin_player>\"")
  add_dependencies(bridge_plugin standin_player)
endif()
