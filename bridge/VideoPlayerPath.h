// Where the host's video player is looked for, and opening it: each of its module paths in order
// of preference, as a full wide-character path under the host's working directory, so that any
// folder name and any length the platform takes work.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "abi/FruityPlugInterface.h"

namespace tempotally {

class TFruityBridgePlugHost;

// The platform's longest path, 32767 characters, and the terminator.
constexpr size_t PlayerPathChars = 32768;
// The player's module paths, relative to the host's working directory, in order of preference.
inline constexpr char VideoPlayerPath1[] =
    "Plugins\\Fruity\\Generators\\Fruity Video Player 2\\Fruity Video Player 2.dll";
inline constexpr char VideoPlayerPath2[] =
    "Plugins\\Fruity\\Generators\\Fruity Video Player\\Fruity Video Player.dll";

// Writes `relative` under the current directory into `path` (PlayerPathChars characters) as a
// full path, in the "\\?\" form from MAX_PATH characters on. False, with an empty path, when the
// current directory can't be read or the result does not fit. Any thread.
bool PlayerPathUnderCurrentDirectory(const char* relative, wchar_t* path);

// Loads the player behind a new bridge from the first path whose file is there and gives a wrapped
// instance; the file probed is the file loaded. `bridge` becomes that bridge, or null when none
// did; false only when memory ran out. On the thread that constructs the plug-in, which then owns
// the video window.
bool OpenPlayerBridge(TFruityPlugHost* host, int32_t tag, TFruityBridgePlugHost*& bridge);

}  // namespace tempotally
