// Where the host's video player is looked for, and opening it: each of its module paths in order
// of preference, as a full path under the host's working directory, in wide characters, so that
// a folder whose name the ANSI code page cannot hold works, and at any length the platform takes.
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
// full path, given the "\\?\" form from MAX_PATH characters on, so that the file calls take it
// whatever the platform's length limit. False, with an empty path, when the current directory
// can't be read or the result does not fit. Any thread.
bool PlayerPathUnderCurrentDirectory(const char* relative, wchar_t* path);

// Whether a file, not a folder, is at `path`.
bool PlayerFileExists(const wchar_t* path);

// Loads the host's video player behind a new bridge: each path in order of preference whose file
// is there, however the one before it ended (too long, missing, or loaded without giving an
// instance), until one gives a wrapped instance. The file probed is the file loaded, so a copy
// planted in the program's folder, which the platform would search first for a relative path, is
// never loaded. `bridge` becomes that bridge, or null when no path gave an instance; a bridge
// without one is discarded whole. False only when memory for a path or a bridge ran out. On the
// thread that constructs the plug-in, which then owns the video window.
bool OpenPlayerBridge(TFruityPlugHost* host, int32_t tag, TFruityBridgePlugHost*& bridge);

}  // namespace tempotally
