// Which copy LoadLibraryA takes for the video player's relative path when both the program's own
// folder and the current directory hold one: the program's folder wins, so the plug-in, which
// probes under the current directory, loads the full path it probed, also where that directory's
// name lies outside the ANSI code page or its player's path past MAX_PATH. A probe program runs
// from a folder of its own with another folder as its current directory.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "devhost/WorkingFolder.h"
#include "devhost/PlayerLayout.h"

namespace tempotally {
namespace {

using testhost::Wide;
using testhost::WindowsPath;
using testhost::WorkingFolder;
using testsupport::InstallPlayer;
using testsupport::PlayerSlot;
using testsupport::RelativePath;

constexpr DWORD ProbeTimeoutMs = 120000;
// Outside any ANSI code page: Greek, CJK and Cyrillic in one name.
constexpr char UnicodeName[] = "uni-\u03A9\u97F3-\u0416";
// A host folder this long puts the player's path past MAX_PATH.
constexpr size_t LongFolderChars = 200;

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

  // Runs the probe from `app` in `where` (by default `current`) and returns the file it loaded, or
  // "none". With a plug-in module, the player files loaded while the plug-in lived, one a line.
  std::string Probe(const std::string& relative, const std::string& plugIn = "",
                    const std::string& where = "") {
    const std::string out = folder.Path() + "\\loaded.txt";
    DeleteFileA(out.c_str());
    std::string command = "\"" + app + "\\probe.exe\" \"" + relative + "\" \"" + out + "\"";
    if (!plugIn.empty()) command += " \"" + plugIn + "\"";
    std::wstring wideCommand = Wide(command);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &wideCommand[0], nullptr, nullptr, FALSE, 0, nullptr,
                        Wide(where.empty() ? current : where).c_str(), &startup, &process)) {
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

// A host folder named outside the ANSI code page, and one so long that the player's path passes
// MAX_PATH: the player under it loads in either layout, and the planted copies never do.
TEST_F(LoadLibrarySearch, PlugInLoadsThePlayerUnderAFolderOfAnyNameAndLength) {
  const std::string plugIn = WindowsPath(TEMPOTALLY_DLL);
  ASSERT_TRUE(InstallPlayer(STANDIN_PLAYER_DLL, PlayerSlot::Path1, app));  // the planted copies
  ASSERT_TRUE(InstallPlayer(STANDIN_PLAYER_DLL, PlayerSlot::Path2, app));
  const std::string unicode = folder.Path() + "\\" + UnicodeName;
  std::string longer = folder.Path() + "\\" + UnicodeName + "-";
  longer.append(LongFolderChars - std::min(LongFolderChars - 1, Wide(longer).size()), 'x');
  ASSERT_GE(Wide(longer).size(), LongFolderChars);
  ASSERT_GE(Wide(longer).size() + 1 + std::strlen(RelativePath(PlayerSlot::Path2)),
            static_cast<size_t>(MAX_PATH));
  for (const std::string& host : {unicode, longer}) {
    SCOPED_TRACE(Wide(host).size());
    ASSERT_TRUE(CreateDirectoryW(Wide(host).c_str(), nullptr));
    for (PlayerSlot slot : {PlayerSlot::Path1, PlayerSlot::Path2}) {
      SCOPED_TRACE(RelativePath(slot));
      ASSERT_TRUE(testsupport::RemovePlayer(PlayerSlot::Path1, host));
      ASSERT_TRUE(InstallPlayer(STANDIN_PLAYER_DLL, slot, host));
      EXPECT_EQ(Probe(RelativePath(PlayerSlot::Path1), plugIn, host),
                host + "\\" + RelativePath(slot));
    }
  }
}

TEST_F(LoadLibrarySearch, NeitherFolderHoldsOne) {
  EXPECT_EQ(Probe(RelativePath(PlayerSlot::Path1)), "none");
}

}  // namespace
}  // namespace tempotally
