// Ending an instance whose video player leaves its editor alive at release: the player's module
// must stay loaded until the video window, the editor's parent, is gone with it, so the editor's
// last messages run in loaded code; also when the host releases on a thread that does not own the
// windows. Run in child processes, which a host would lose otherwise.
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
  const bool editorSawItsEnd =
      GetEnvironmentVariableA(StandInEditorDestroyedVariable, nullptr, 0) > 0;
  const bool videoWindowGone = testsupport::FindOwnWindow("Tempotally_Plugin") == nullptr;
  std::_Exit(editorSawItsEnd && videoWindowGone ? 0 : SetUpFailed + 1);
}

BOOL CALLBACK CountWindow(HWND, LPARAM counter) {
  ++*reinterpret_cast<int*>(counter);
  return TRUE;
}

int ThreadWindows() {
  int count = 0;
  EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&count));
  return count;
}

DWORD WINAPI ReleaseOnThisThread(void* plug) {
  static_cast<RawPlug*>(plug)->Release();
  return 0;
}

// Released on a second thread while this one, which owns the editor and the video window, takes
// no messages: the release must not wait for it, messages to the windows afterwards reach neither
// the freed object nor the released player, and once this thread takes messages again both
// windows end here, the player's editor in loaded code, before its module goes.
enum ReleaseFault { ReleaseWaited = 3, ReachedFreedObjects, NotEndedHere, LeftBehind };
void ReleaseOnAnotherThread() {
  WorkingFolder folder("blackbox-teardown-thread");
  if (!folder.Ready() ||
      !testsupport::InstallPlayer(TEMPOTALLY_PLAYER_PATH, PlayerSlot::Path1, folder.Path())) {
    std::_Exit(SetUpFailed);
  }
  SetEnvironmentVariableA(StandInKeepEditorVariable, "1");
  HWND frame = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 700, 100, 300, 300, nullptr,
                               nullptr, nullptr, nullptr);
  const int windowsBefore = ThreadWindows();
  PluginModule module(WindowsPath(TEMPOTALLY_DLL_PATH));
  TestHost host;
  RawPlug plug = module.Create(host, 1);
  HWND video = testsupport::FindOwnWindow("Tempotally_Plugin");
  const testsupport::StandInApi player =
      testsupport::StandInApi::Of(testsupport::LoadedPlayer(PlayerSlot::Path1, folder.Path()));
  if (!plug.Valid() || !video || !player.Valid() || !frame) std::_Exit(SetUpFailed);
  plug.Dispatch(PlugIdShowEditor, 0, reinterpret_cast<uintptr_t>(frame));
  HWND editor = plug.EditorWindow();
  PumpMessages();

  HANDLE thread = CreateThread(nullptr, 0, ReleaseOnThisThread, &plug, 0, nullptr);
  if (!thread) std::_Exit(SetUpFailed);
  if (WaitForSingleObject(thread, 30000) != WAIT_OBJECT_0) std::_Exit(ReleaseWaited);
  CloseHandle(thread);

  const size_t hostCalls = host.CallCount();
  const int32_t playerCalls = player.Record()->callCount;
  SendMessageA(editor, WM_PAINT, 0, 0);
  SendMessageA(editor, WM_MOUSEMOVE, 0, MAKELPARAM(120, 130));
  SendMessageA(video, WM_SIZE, SIZE_RESTORED, MAKELPARAM(300, 200));
  SendMessageA(video, WM_CLOSE, 0, 0);
  if (host.CallCount() != hostCalls || player.Record()->callCount != playerCalls) {
    std::_Exit(ReachedFreedObjects);
  }
  if (!IsWindow(editor) || !IsWindow(video) ||
      !testsupport::LoadedPlayer(PlayerSlot::Path1, folder.Path())) {
    std::_Exit(NotEndedHere);  // they cannot have ended without this thread
  }

  for (int round = 0; round < 20 && (IsWindow(editor) || IsWindow(video)); ++round) {
    PumpMessages();
    Sleep(20);
  }
  // The player's editor ended in loaded code, and only then its module went.
  if (IsWindow(editor) || IsWindow(video) ||
      GetEnvironmentVariableA(StandInEditorDestroyedVariable, nullptr, 0) == 0) {
    std::_Exit(NotEndedHere);
  }
  if (testsupport::LoadedPlayer(PlayerSlot::Path1, folder.Path()) ||
      ThreadWindows() != windowsBefore) {
    std::_Exit(LeftBehind);
  }
  std::_Exit(0);
}

TEST(Teardown, ReleaseOnAnotherThreadHandsTheWindowsToTheirOwnThread) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(ReleaseOnAnotherThread(), ::testing::ExitedWithCode(0), "");
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
