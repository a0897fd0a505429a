// The loader searches the program's and the system's folders first for a relative path, so the
// file probed and the file loaded could differ: both use one full path. Wide calls throughout: the
// ANSI ones turn every character outside the code page into '?'.
#include "bridge/VideoPlayerPath.h"

#include <cstring>
#include <cwchar>
#include <memory>
#include <new>

#include "bridge/TFruityBridgePlugHost.h"

namespace tempotally {

namespace {

// The form of a full path that the file calls take past MAX_PATH characters, for a drive path
// and for a share ("\\server\share\..." becomes "\\?\UNC\server\share\...").
constexpr wchar_t LongPathPrefix[] = L"\\\\?\\";
constexpr wchar_t LongSharePrefix[] = L"\\\\?\\UNC\\";
constexpr size_t ShareStartChars = 2;  // the "\\" a share begins with
constexpr const char* PlayerPaths[] = {VideoPlayerPath1, VideoPlayerPath2};

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Appends `text` at `at`; false when it, with the terminator, would not fit.
bool Append(wchar_t* path, size_t& at, const wchar_t* text, size_t length) {
  if (at + length >= PlayerPathChars) return false;
  std::wmemcpy(path + at, text, length);
  at += length;
  path[at] = L'\0';
  return true;
}

// `folder` and `relative` (plain ASCII) joined into `path`, with the long form's prefix when the
// result reaches MAX_PATH and the folder has none yet.
bool Join(const wchar_t* folder, size_t folderLength, const char* relative, wchar_t* path) {
  const bool separated = folderLength > 0 && IsSeparator(folder[folderLength - 1]);
  const size_t relativeLength = std::strlen(relative);
  const size_t plainLength = folderLength + (separated ? 0 : 1) + relativeLength;
  path[0] = L'\0';
  if (plainLength >= MAX_PATH &&
      std::wcsncmp(folder, LongPathPrefix, std::wcslen(LongPathPrefix)) != 0) {
    const bool share =
        folderLength > ShareStartChars && IsSeparator(folder[0]) && IsSeparator(folder[1]);
    std::wcscpy(path, share ? LongSharePrefix : LongPathPrefix);
    if (share) {
      folder += ShareStartChars;
      folderLength -= ShareStartChars;
    }
  }
  size_t at = std::wcslen(path);
  if (!Append(path, at, folder, folderLength)) return false;
  if (!separated && !Append(path, at, L"\\", 1)) return false;
  if (at + relativeLength >= PlayerPathChars) return false;
  for (size_t i = 0; i <= relativeLength; ++i) {
    path[at + i] = static_cast<wchar_t>(static_cast<unsigned char>(relative[i]));
  }
  return true;
}

}  // namespace

bool PlayerPathUnderCurrentDirectory(const char* relative, wchar_t* path) {
  path[0] = L'\0';
  std::unique_ptr<wchar_t[]> folder(new (std::nothrow) wchar_t[PlayerPathChars]);
  if (!folder) return false;
  const DWORD length = GetCurrentDirectoryW(PlayerPathChars, folder.get());
  if (length == 0 || length >= PlayerPathChars) return false;
  if (Join(folder.get(), length, relative, path)) return true;
  path[0] = L'\0';
  return false;
}

bool OpenPlayerBridge(TFruityPlugHost* host, int32_t tag, TFruityBridgePlugHost*& bridge) {
  bridge = nullptr;
  std::unique_ptr<wchar_t[]> path(new (std::nothrow) wchar_t[PlayerPathChars]);
  if (!path) return false;
  for (const char* relative : PlayerPaths) {
    if (!PlayerPathUnderCurrentDirectory(relative, path.get())) continue;
    const DWORD attributes = GetFileAttributesW(path.get());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    auto* candidate = new (std::nothrow) TFruityBridgePlugHost(host, path.get(), tag);
    if (!candidate) return false;
    if (candidate->wrappedPlug) {
      bridge = candidate;
      return true;
    }
    delete candidate;  // destroys the window, gives back the class, unloads the module
  }
  return true;
}

}  // namespace tempotally
