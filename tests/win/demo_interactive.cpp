// The demo's interactive host, driven from another process as a person would: keys for the
// transport, a click and a drag in the editor, a screenshot, and closing the window.
#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "devhost/WorkingFolder.h"
#include "tests/win/support/RealInput.h"
#include "tools/demo/PngWriter.h"

namespace tempotally::testhost {
namespace {

using testsupport::Button;

constexpr char HostClass[] = "TempotallyDemoHost";
constexpr DWORD StartTimeoutMs = 120000;
constexpr DWORD ExitTimeoutMs = 60000;
constexpr char Screenshot[] = "demo-interactive.png";

std::string Title(HWND window) {
  char text[256] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

void Tap(WORD key) {
  testsupport::Key(key, true);
  testsupport::Key(key, false);
  testsupport::Pump(300);
}

// The window's pixels as they are on the screen, as a PNG file; the number of distinct colours.
size_t CaptureToPng(HWND window, const std::string& path) {
  RECT rect{};
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  Pixels pixels{width, height, {}};
  std::set<COLORREF> colours;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const COLORREF c = GetPixel(memory, x, y);
      colours.insert(c);
      pixels.rgb.push_back(Rgb(GetRValue(c), GetGValue(c), GetBValue(c)));
    }
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  EXPECT_TRUE(demo::WritePng(path, pixels));
  return colours.size();
}

TEST(InteractiveHost, PlaysStopsAndRewindsTakesClicksAndDragsAndClosesWhenAsked) {
  WorkingFolder folder("demo-interactive");
  ASSERT_TRUE(folder.Ready());
  std::string command = "\"" + WindowsPath(TEMPOTALLY_DEMO_EXE) + "\" --interactive \"" +
                        WindowsPath(TEMPOTALLY_DEMO_PLUGIN) + "\" \"" +
                        WindowsPath(TEMPOTALLY_DEMO_PLAYER) + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             folder.Path().c_str(), &startup, &process));

  HWND host = nullptr;
  for (DWORD waited = 0; waited < StartTimeoutMs && !(host && IsWindowVisible(host));
       waited += 100) {
    testsupport::Pump(100);
    host = FindWindowA(HostClass, nullptr);
  }
  ASSERT_NE(host, nullptr);
  const HWND editor = GetWindow(host, GW_CHILD);
  ASSERT_NE(editor, nullptr);
  SetForegroundWindow(host);
  testsupport::Pump(500);
  EXPECT_NE(Title(host).find("stopped"), std::string::npos) << Title(host);

  Tap(VK_SPACE);
  testsupport::Pump(1500);
  EXPECT_NE(Title(host).find("playing"), std::string::npos) << Title(host);
  EXPECT_EQ(Title(host).find("beat 0.0 "), std::string::npos) << Title(host);

  testsupport::ClickAt(testsupport::ScreenPoint(editor, 30, 70));  // Freeze
  testsupport::MoveTo(testsupport::ScreenPoint(editor, 120, 130));
  testsupport::Press(Button::Left);
  for (int i = 0; i < 10; ++i) testsupport::MoveBy(-4, -4);
  testsupport::Release(Button::Left);
  testsupport::Pump(500);

  Tap(VK_SPACE);
  EXPECT_NE(Title(host).find("stopped"), std::string::npos) << Title(host);
  const size_t colours = CaptureToPng(host, Screenshot);
  EXPECT_GT(colours, 8u) << "the screenshot is nearly blank";
  Tap(VK_HOME);
  EXPECT_NE(Title(host).find("beat 0.0 "), std::string::npos) << Title(host);
  Tap('3');
  EXPECT_NE(Title(host).find("Slowing"), std::string::npos) << Title(host);

  PostMessageA(host, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(process.hProcess, ExitTimeoutMs), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  EXPECT_EQ(code, 0u);
  if (code == STILL_ACTIVE) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

}  // namespace
}  // namespace tempotally::testhost
