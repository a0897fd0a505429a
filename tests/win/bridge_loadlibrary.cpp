// Which copy LoadLibraryA takes for the video player's relative path when both the program's own
// folder and the current directory hold one. The plug-in probes path 1 with fopen (current
// directory only) but loads it with LoadLibraryA, which searches the program's folder first, so the
// two can disagree. A probe program runs from a folder of its own with another folder as its
// current directory.
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

  // Runs the probe from `app` in `current` and returns the file it loaded, or "none".
  std::string Probe(const std::string& relative) {
    const std::string out = folder.Path() + "\\loaded.txt";
    DeleteFileA(out.c_str());
    std::string command = "\"" + app + "\\probe.exe\" \"" + relative + "\" \"" + out + "\"";
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

TEST_F(LoadLibrarySearch, NeitherFolderHoldsOne) {
  EXPECT_EQ(Probe(RelativePath(PlayerSlot::Path1)), "none");
}

}  // namespace
}  // namespace tempotally
