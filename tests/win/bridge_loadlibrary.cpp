// Which copy LoadLibraryA takes for the video player's relative path when both the program's own
// folder and the current directory hold one: the program's folder wins, so the plug-in, which
// probes under the current directory, loads the full path it probed. A probe program runs from a
// folder of its own with another folder as its current directory.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "devhost/WorkingFolder.h"
#include "devhost/PlayerLayout.h"

namespace tempotally {
namespace {

using testhost::WindowsPath;
using testhost::WorkingFolder;
using testsupport::InstallPlayer;
using testsupport::PlayerSlot;
using testsupport::RelativePath;

constexpr DWORD ProbeTimeoutMs = 120000;

class LoadLibrarySearch : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.Ready());
    app = folder.Path() + "\\app";
    current = folder.Path() + "\\current";
    ASSERT_TRUE(CreateDirectoryA(app.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(current.c_str(), nullptr));
    ASSERT_TRUE(
        CopyFileA(WindowsPath(BRIDGE_PROBE_EXE).c_str(), (app + "\\probe.exe").c_str(), FALSE));
  }

  // Runs the probe from `app` in `current` and returns the file it loaded, or "none". With a
  // plug-in module, the player file that the plug-in loaded.
  std::string Probe(const std::string& relative, const std::string& plugIn = "") {
    const std::string out = folder.Path() + "\\loaded.txt";
    DeleteFileA(out.c_str());
    std::string command = "\"" + app + "\\probe.exe\" \"" + relative + "\" \"" + out + "\"";
    if (!plugIn.empty()) command += " \"" + plugIn + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, current.c_str(),
                        &startup, &process)) {
      return "not started";
    }
    WaitForSingleObject(process.hProcess, ProbeTimeoutMs);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::ifstream in(out);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  WorkingFolder folder{"bridge_loadlibrary.work"};
  std::string app;
  std::string current;
};

TEST_F(LoadLibrarySearch, ProgramFolderCopyWinsOverCurrentDirectory) {
  ASSERT_TRUE(InstallPlayer(STANDIN_PLAYER_DLL, PlayerSlot::Path1, app));
  ASSERT_TRUE(InstallPlayer(STANDIN_PLAYER_DLL, PlayerSlot::Path1, current));
  EXPECT_EQ(Probe(RelativePath(PlayerSlot::Path1)), app + "\\" + RelativePath(PlayerSlot::Path1));
}

TEST_F(LoadLibrarySearch, CurrentDirectoryCopyWhenProgramFolderHasNone) {
  ASSERT_TRUE(InstallPlayer(STANDIN_PLAYER_DLL, PlayerSlot::Path1, current));
  EXPECT_EQ(Probe(RelativePath(PlayerSlot::Path1)),
            current + "\\" + RelativePath(PlayerSlot::Path1));
}

TEST_F(LoadLibrarySearch, ProgramFolderCopyLoadsWhereFopenFindsNothing) {
  ASSERT_TRUE(InstallPlayer(STANDIN_PLAYER_DLL, PlayerSlot::Path2, app));
  EXPECT_EQ(Probe(RelativePath(PlayerSlot::Path2)), app + "\\" + RelativePath(PlayerSlot::Path2));
}

// Not used by the plug-in: even a leading ".\" does not tie the load to the current directory;
// only a full path would.
TEST_F(LoadLibrarySearch, DotPrefixedPathAlsoPrefersProgramFolder) {
  ASSERT_TRUE(InstallPlayer(STANDIN_PLAYER_DLL, PlayerSlot::Path1, app));
  ASSERT_TRUE(InstallPlayer(STANDIN_PLAYER_DLL, PlayerSlot::Path1, current));
  EXPECT_EQ(Probe(std::string(".\\") + RelativePath(PlayerSlot::Path1)),
            app + "\\" + RelativePath(PlayerSlot::Path1));
}

// The plug-in loads the very file it probed, under the current directory: a copy planted in the
// program's folder is never loaded.
TEST_F(LoadLibrarySearch, PlugInLoadsOnlyThePlayerUnderTheCurrentDirectory) {
  struct Case {
    bool currentHasPath1;
    bool currentHasPath2;
    std::string expected;  // relative to `current`, or "none"
  };
  const std::string plugIn = WindowsPath(TEMPOTALLY_DLL);
  ASSERT_TRUE(InstallPlayer(STANDIN_PLAYER_DLL, PlayerSlot::Path1, app));  // the planted copies
  ASSERT_TRUE(InstallPlayer(STANDIN_PLAYER_DLL, PlayerSlot::Path2, app));
  for (const Case& c : {Case{true, false, RelativePath(PlayerSlot::Path1)},
                        Case{false, true, RelativePath(PlayerSlot::Path2)},
                        Case{false, false, "none"}}) {
    SCOPED_TRACE(c.expected);
    ASSERT_TRUE(testsupport::RemovePlayer(PlayerSlot::Path1, current));
    ASSERT_TRUE(testsupport::RemovePlayer(PlayerSlot::Path2, current));
    if (c.currentHasPath1) {
      ASSERT_TRUE(InstallPlayer(STANDIN_PLAYER_DLL, PlayerSlot::Path1, current));
    }
    if (c.currentHasPath2) {
      ASSERT_TRUE(InstallPlayer(STANDIN_PLAYER_DLL, PlayerSlot::Path2, current));
    }
    EXPECT_EQ(Probe(RelativePath(PlayerSlot::Path1), plugIn),
              c.expected == "none" ? c.expected : current + "\\" + c.expected);
  }
}

TEST_F(LoadLibrarySearch, NeitherFolderHoldsOne) {
  EXPECT_EQ(Probe(RelativePath(PlayerSlot::Path1)), "none");
}

}  // namespace
}  // namespace tempotally
