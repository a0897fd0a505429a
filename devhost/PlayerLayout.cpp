// Copies of the stand-in player at the video player's paths, and access to their records.
#include "devhost/PlayerLayout.h"

#include "devhost/WorkingFolder.h"

namespace tempotally::testsupport {

namespace {

using testhost::CurrentDirectory;
using testhost::FilePath;
using testhost::Utf8;
using testhost::Wide;

constexpr DWORD MaxPathChars = 32768;  // the platform's longest path and the terminator

std::string AsWindowsPath(const std::string& path) {
  std::string result = path;
  for (char& c : result) {
    if (c == '/') c = '\\';
  }
  if (!path.empty() && path[0] == '/') result = "Z:" + result;
  return result;
}

// Creates every folder on the way to the file at `path`.
void CreateFoldersFor(const std::string& path) {
  for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1)) {
    CreateDirectoryW(FilePath(path.substr(0, at)).c_str(), nullptr);
  }
}

template <typename Fn>
Fn Export(HMODULE module, const char* name) {
  FARPROC address = GetProcAddress(module, name);
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(address));
}

struct OwnWindowSearch {
  const char* className;
  HWND found;
};

BOOL CALLBACK MatchOwnWindow(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<OwnWindowSearch*>(parameter);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  char name[256] = {};
  GetClassNameA(window, name, sizeof name);
  if (process != GetCurrentProcessId() || lstrcmpiA(name, search->className) != 0) return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

const char* RelativePath(PlayerSlot slot) {
  return slot == PlayerSlot::Path1 ? PlayerRelativePath1 : PlayerRelativePath2;
}

std::string PathUnder(const std::string& folder, const std::string& relative) {
  const std::string base = folder.empty() ? CurrentDirectory() : AsWindowsPath(folder);
  return base + "\\" + relative;
}

bool InstallPlayer(const std::string& builtPlayer, PlayerSlot slot, const std::string& folder) {
  const std::string target = PathUnder(folder, RelativePath(slot));
  CreateFoldersFor(target);
  const std::wstring source = FilePath(AsWindowsPath(builtPlayer));
  return CopyFileW(source.c_str(), FilePath(target).c_str(), FALSE) != 0;
}

bool RemovePlayer(PlayerSlot slot, const std::string& folder) {
  const std::string target = PathUnder(folder, RelativePath(slot));
  DeleteFileW(FilePath(target).c_str());
  return GetFileAttributesW(FilePath(target).c_str()) == INVALID_FILE_ATTRIBUTES;
}

std::string ModuleFileName(HMODULE module) {
  if (!module) return std::string();
  std::wstring buffer(MaxPathChars, L'\0');
  const DWORD length = GetModuleFileNameW(module, &buffer[0], MaxPathChars);
  buffer.resize(length < MaxPathChars ? length : 0);
  return Utf8(buffer);
}

HMODULE LoadedPlayer(PlayerSlot slot, const std::string& folder) {
  return GetModuleHandleW(Wide(PathUnder(folder, RelativePath(slot))).c_str());
}

HWND FindOwnWindow(const char* className) {
  OwnWindowSearch search = {className, nullptr};
  EnumWindows(MatchOwnWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

StandInApi StandInApi::Of(HMODULE module) {
  StandInApi api;
  if (!module) return api;
  api.module = module;
  api.getRecord = Export<StandInGetRecordFn>(module, "StandInGetRecord");
  api.resetRecord = Export<StandInResetRecordFn>(module, "StandInResetRecord");
  api.hostDispatch = Export<StandInHostDispatchFn>(module, "StandInHostDispatch");
  api.callHost = Export<StandInCallHostFn>(module, "StandInCallHost");
  return api;
}

StandInHold::StandInHold(const std::string& fullPath)
    : api_(StandInApi::Of(LoadLibraryW(Wide(fullPath).c_str()))) {}

StandInHold::~StandInHold() {
  if (api_.module) FreeLibrary(api_.module);
}

}  // namespace tempotally::testsupport
