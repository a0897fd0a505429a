// Chooses which of the two video-player module paths to load, as a full path under the current
// directory: a relative path given to LoadLibraryA is searched for in the program's folder and
// the system folders first, so the file probed here and the file loaded could differ.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "bridge/TFruityBridgePlugHost.h"

namespace tempotally {

namespace {

// `folder` and `relative` joined into `path`; false when they do not fit.
bool Join(const char* folder, DWORD folderLength, const char* relative,
          char (&path)[PlayerPathChars]) {
  const bool separated = folderLength > 0 && (folder[folderLength - 1] == '\\' ||
                                              folder[folderLength - 1] == '/');
  const size_t relativeLength = std::strlen(relative);
  const size_t total = folderLength + (separated ? 0 : 1) + relativeLength;
  if (total >= PlayerPathChars) return false;
  std::memcpy(path, folder, folderLength);
  size_t at = folderLength;
  if (!separated) path[at++] = '\\';
  std::memcpy(path + at, relative, relativeLength + 1);
  return true;
}

}  // namespace

bool ChooseVideoPlayerPath(char (&path)[PlayerPathChars]) {
  path[0] = '\0';
  char folder[PlayerPathChars];
  const DWORD length = GetCurrentDirectoryA(sizeof folder, folder);
  if (length == 0 || length >= sizeof folder) return false;
  if (!Join(folder, length, VideoPlayerPath1, path)) return false;
  if (std::FILE* probe = std::fopen(path, "rb")) {
    std::fclose(probe);
    return true;
  }
  if (Join(folder, length, VideoPlayerPath2, path)) return true;
  path[0] = '\0';
  return false;
}

}  // namespace tempotally
