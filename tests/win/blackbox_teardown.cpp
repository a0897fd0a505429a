// Ending an instance whose video player leaves its editor alive at release: the player's module
// must stay loaded until the video window, the editor's parent, is gone with it, so the editor's
// last messages run in loaded code. Run in a child process, which a host would lose otherwise.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>

#include "BlackboxPaths.h"
#include "devhost/PlayerLayout.h"
#include "devhost/RawPlug.h"
#include "devhost/TestHost.h"
#include "devhost/WorkingFolder.h"

namespace tempotally::testhost {
namespace {

using testsupport::PlayerSlot;

constexpr int SetUpFailed = 2;  // then 3: the editor's end ran in unloaded code, or never

void PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

// Creates and releases one instance in the stand-in player's presence; exits the process.
void ReleaseWithEditorLeftAlive(bool destructorAlone) {
  WorkingFolder folder("blackbox-teardown");
  if (!folder.Ready() ||
      !testsupport::InstallPlayer(TEMPOTALLY_PLAYER_PATH, PlayerSlot::Path1, folder.Path())) {
    std::_Exit(SetUpFailed);
  }
  SetEnvironmentVariableA(StandInKeepEditorVariable, "1");
  PluginModule module(WindowsPath(TEMPOTALLY_DLL_PATH));
  TestHost host;
  RawPlug plug = module.Create(host, 1);
  if (!plug.Valid() || !testsupport::FindOwnWindow("Tempotally_Plugin")) std::_Exit(SetUpFailed);
  PumpMessages();
  if (destructorAlone) {
    using DestroyFn = void*(__stdcall*)(void*, uint32_t);
    void* object = plug.Object();
    void** table = *static_cast<void***>(object);
    reinterpret_cast<DestroyFn>(table[18])(object, 1);
  } else {
    plug.Release();
  }
  PumpMessages();
  const bool editorSawItsEnd = GetEnvironmentVariableA(StandInEditorDestroyedVariable, nullptr, 0) > 0;
  const bool videoWindowGone = testsupport::FindOwnWindow("Tempotally_Plugin") == nullptr;
  std::_Exit(editorSawItsEnd && videoWindowGone ? 0 : SetUpFailed + 1);
}

TEST(Teardown, PlayerEditorLeftAliveGoesBeforeThePlayerIsUnloaded) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (bool destructorAlone : {false, true}) {
    SCOPED_TRACE(destructorAlone ? "destructor slot" : "release");
    EXPECT_EXIT(ReleaseWithEditorLeftAlive(destructorAlone), ::testing::ExitedWithCode(0), "");
  }
}

}  // namespace
}  // namespace tempotally::testhost
