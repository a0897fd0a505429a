// Lays the stand-in video player out where the plug-in looks for the host's video player, and
// reaches the test exports of a loaded copy of it. Paths are UTF-8 (devhost/WorkingFolder.h).
#pragma once

#include <windows.h>

#include <string>

#include "devhost/standin_player/StandInRecord.h"

namespace tempotally::testsupport {

// The player's module paths relative to the host's working directory, in order of preference.
constexpr char PlayerRelativePath1[] =
    "Plugins\\Fruity\\Generators\\Fruity Video Player 2\\Fruity Video Player 2.dll";
constexpr char PlayerRelativePath2[] =
    "Plugins\\Fruity\\Generators\\Fruity Video Player\\Fruity Video Player.dll";

enum class PlayerSlot { Path1, Path2 };

const char* RelativePath(PlayerSlot slot);

// `relative` under `folder`; under the current directory when `folder` is empty. Full path.
std::string PathUnder(const std::string& folder, const std::string& relative);

// Copies `builtPlayer` (a path from the build, Unix or Windows) to the slot's path under `folder`,
// creating the folders. True when the copy is in place.
//
// Never lay the player out under the test program's own folder: LoadLibraryA searches a relative
// path with folders against the program's folder before the current directory, so a copy there
// would shadow the copy in every working folder.
bool InstallPlayer(const std::string& builtPlayer, PlayerSlot slot, const std::string& folder = "");

// Removes the copy at the slot's path under `folder`; true when none is left. Fails while the copy
// is loaded.
bool RemovePlayer(PlayerSlot slot, const std::string& folder = "");

// Full path of the file a module was loaded from; empty for null.
std::string ModuleFileName(HMODULE module);

// The copy loaded from the slot's path under `folder`, or null when that file is not loaded.
// Takes no reference.
HMODULE LoadedPlayer(PlayerSlot slot, const std::string& folder = "");

// A top-level window of this process with the class `className`, or null. FindWindowA would also
// see the windows of test programs running beside this one.
HWND FindOwnWindow(const char* className);

// The stand-in's test exports in one loaded copy.
struct StandInApi {
  HMODULE module = nullptr;
  StandInGetRecordFn getRecord = nullptr;
  StandInResetRecordFn resetRecord = nullptr;
  StandInHostDispatchFn hostDispatch = nullptr;
  StandInCallHostFn callHost = nullptr;

  static StandInApi Of(HMODULE module);
  bool Valid() const { return getRecord && resetRecord && hostDispatch && callHost; }
  StandInRecord* Record() const { return getRecord ? getRecord() : nullptr; }
  void Reset() const {
    if (resetRecord) resetRecord();
  }
};

// Keeps the copy at `fullPath` loaded while it lives, so its record outlives the unloads made by
// the code under test, and so switches can be set before that code loads it.
class StandInHold {
 public:
  explicit StandInHold(const std::string& fullPath);
  ~StandInHold();
  StandInHold(const StandInHold&) = delete;
  StandInHold& operator=(const StandInHold&) = delete;

  bool Loaded() const { return api_.Valid(); }
  HMODULE Module() const { return api_.module; }
  const StandInApi& Api() const { return api_; }
  StandInRecord* Record() const { return api_.Record(); }

 private:
  StandInApi api_;
};

}  // namespace tempotally::testsupport
