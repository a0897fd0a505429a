# Black-box tests of the built plug-in module, loaded by path and driven through the raw test host
# the way a host from another compiler drives it.
file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/blackbox/BlackboxPaths.h CONTENT
"// Generated: where the build put the modules under test.
#pragma once
#include \"support/PluginUnderTest.h\"
#define TEMPOTALLY_DLL_PATH \\
  (::tempotally::testsupport::PluginUnderTest(\"$<TARGET_FILE:tempotally_dll>\"))
#define TEMPOTALLY_PLAYER_PATH \"$<TARGET_FILE:standin_player>\"
")

# Without a video player: the module file, instances, and the host's calls.
tempotally_win_test(NAME blackbox_plugin
  SOURCES blackbox_module.cpp blackbox_calls.cpp blackbox_song.cpp
  LIBS testhost tempotally_core ole32 uuid)
target_include_directories(blackbox_plugin PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/blackbox)
add_dependencies(blackbox_plugin tempotally_dll)

# With the stand-in player laid out where the plug-in looks for the host's video player.
tempotally_win_test(NAME blackbox_sync
  SOURCES blackbox_sync.cpp ${PROJECT_SOURCE_DIR}/devhost/PlayerLayout.cpp
  LIBS testhost tempotally_core)
target_include_directories(blackbox_sync PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/blackbox)
add_dependencies(blackbox_sync tempotally_dll standin_player)

# The state call with the stand-in player: the video window's placement and options, the player's
# bytes behind the plug-in's, and the editor's fold after a restore.
tempotally_win_test(NAME blackbox_statecall
  SOURCES blackbox_statecall.cpp ${PROJECT_SOURCE_DIR}/devhost/PlayerLayout.cpp
  LIBS testhost tempotally_core ole32 uuid)
target_include_directories(blackbox_statecall PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/blackbox)
add_dependencies(blackbox_statecall tempotally_dll standin_player)

# Release with a player that leaves its editor alive, in child processes.
tempotally_win_test(NAME blackbox_teardown
  SOURCES blackbox_teardown.cpp ${PROJECT_SOURCE_DIR}/devhost/PlayerLayout.cpp
  LIBS testhost)
target_include_directories(blackbox_teardown PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/blackbox)
add_dependencies(blackbox_teardown tempotally_dll standin_player)

# The editor with real input: injected mouse and key events on the editor parented in a frame.
tempotally_win_test(NAME blackbox_input
  SOURCES blackbox_input.cpp support/RealInput.cpp ${PROJECT_SOURCE_DIR}/devhost/PlayerLayout.cpp
  LIBS testhost tempotally_core ole32 uuid)
target_include_directories(blackbox_input PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/blackbox)
add_dependencies(blackbox_input tempotally_dll standin_player)

# The editor's pixels through the built module, against the skin and the paint model.
tempotally_win_test(NAME blackbox_paint
  SOURCES blackbox_paint.cpp
  LIBS testhost tempotally_core ole32 uuid)
target_include_directories(blackbox_paint PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/blackbox)
add_dependencies(blackbox_paint tempotally_dll)

# The editor's kept back buffer over a fold cycle, and its frame timer for ticks on another thread.
tempotally_win_test(NAME blackbox_frame
  SOURCES blackbox_frame.cpp
  LIBS testhost tempotally_song ole32 uuid)
target_include_directories(blackbox_frame PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/blackbox)
add_dependencies(blackbox_frame tempotally_dll)

# The editor's typeface, each in a fresh process: from the host's font file, and from the copy
# inside the module when there is no file.
foreach(mode IN ITEMS file:1 none:0)
  string(REPLACE ":" ";" parts ${mode})
  list(GET parts 0 name)
  list(GET parts 1 present)
  tempotally_win_test(NAME blackbox_font_${name} SOURCES blackbox_font.cpp LIBS testhost ole32 uuid)
  target_include_directories(blackbox_font_${name} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/blackbox)
  target_compile_definitions(blackbox_font_${name} PRIVATE TEMPOTALLY_FONT_FILE=${present}
    "TEMPOTALLY_FONT_SOURCE=\"${PROJECT_SOURCE_DIR}/third_party/fonts/Cuprum/Cuprum.ttf\"")
  add_dependencies(blackbox_font_${name} tempotally_dll)
endforeach()
