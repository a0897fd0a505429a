// The editor's typeface through the built module, in a fresh process each: with the font file in
// the host's artwork folder (TEMPOTALLY_FONT_FILE 1) and with no such file (0), the readout is
// drawn in Cuprum, pixel for pixel, and not in the face the system would substitute.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "BlackboxPaths.h"
#include "devhost/RawPlug.h"
#include "devhost/TestHost.h"
#include "devhost/WindowPixels.h"
#include "devhost/WorkingFolder.h"
#include "tests/win/blackbox_state.h"

namespace tempotally::testhost {
namespace {

constexpr int32_t Tag = 0xF0;
constexpr int SkinBitmap = 101;
constexpr RECT Readout = {48, 10, 230, 80};
constexpr RECT Compared = {48, 10, 230, 58};  // the digits, above the rule under them
constexpr COLORREF TextColour = 0xB6BBBC;

// A face no system has: what GDI draws for it is its substitute for any missing face. (Asking for
// "Cuprum" itself before it is registered would also do, but GDI may then keep that answer.)
constexpr const char* MissingFace = "Tempotally Missing Face";

// The readout as the editor draws it, in what `faceName` means to this process right now.
Pixels RenderReadout(HMODULE module, const char* faceName, std::string* face) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP canvas = CreateCompatibleBitmap(screen, 240, 294);
  HBITMAP skin = LoadBitmapA(module, MAKEINTRESOURCEA(SkinBitmap));
  HDC skinDc = CreateCompatibleDC(screen);
  HGDIOBJ oldCanvas = SelectObject(dc, canvas);
  HGDIOBJ oldSkin = SelectObject(skinDc, skin);
  BitBlt(dc, 0, 0, 240, 294, skinDc, 0, 0, SRCCOPY);
  HFONT font = CreateFontA(48, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_OUTLINE_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                           VARIABLE_PITCH | FF_DONTCARE, faceName);
  HGDIOBJ oldFont = SelectObject(dc, font);
  char name[LF_FACESIZE] = {};
  GetTextFaceA(dc, sizeof name, name);
  *face = name;
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, TextColour);
  RECT rect = Readout;
  DrawTextA(dc, "00:00.00", -1, &rect, DT_VCENTER);
  SelectObject(dc, oldFont);
  SelectObject(dc, oldCanvas);
  SelectObject(skinDc, oldSkin);
  Pixels out = BitmapPixels(canvas);
  DeleteObject(font);
  DeleteDC(skinDc);
  DeleteDC(dc);
  DeleteObject(skin);
  DeleteObject(canvas);
  ReleaseDC(nullptr, screen);
  return out;
}

int Differences(const Pixels& a, const Pixels& b) {
  int n = 0;
  for (int y = Compared.top; y < Compared.bottom; ++y) {
    for (int x = Compared.left; x < Compared.right; ++x) n += a.At(x, y) != b.At(x, y);
  }
  return n;
}

bool CopyFontInto(const std::string& folder) {
  std::string path = folder;
  for (const char* part : {"\\Artwork", "\\Fonts", "\\Cuprum"}) {
    path += part;
    CreateDirectoryA(path.c_str(), nullptr);
  }
  return CopyFileA(WindowsPath(TEMPOTALLY_FONT_SOURCE).c_str(), (path + "\\Cuprum.ttf").c_str(),
                   FALSE) != 0;
}

TEST(EditorFont, ReadoutIsDrawnInCuprum) {
  PluginModule module(WindowsPath(TEMPOTALLY_DLL_PATH));
  ASSERT_TRUE(module.HasFactory());
  std::string face;
  const Pixels substitute = RenderReadout(module.Handle(), MissingFace, &face);
  ASSERT_NE(face, "Cuprum");

  WorkingFolder folder(TEMPOTALLY_FONT_FILE ? "font-file" : "font-none");
  ASSERT_TRUE(folder.Ready());
  if (TEMPOTALLY_FONT_FILE) {
    ASSERT_TRUE(CopyFontInto(folder.Path()));
  }

  TestHost host;
  RawPlug plug = module.Create(host, Tag);
  ASSERT_TRUE(plug.Valid());
  HWND frame = CreateWindowExA(0, "STATIC", "host frame", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN,
                               0, 0, 300, 340, nullptr, nullptr, nullptr, nullptr);
  plug.Dispatch(PlugIdShowEditor, 0, reinterpret_cast<uintptr_t>(frame));
  state::Restore(plug, state::Encode(state::DefaultKeys(), {}));  // sizes the editor
  const Pixels shown = CaptureWindow(plug.EditorWindow());
  ASSERT_EQ(shown.height, 294);

  const Pixels cuprum = RenderReadout(module.Handle(), "Cuprum", &face);
  EXPECT_EQ(face, "Cuprum");
  EXPECT_GT(Differences(cuprum, substitute), 100) << "the faces should differ visibly";
  EXPECT_EQ(Differences(shown, cuprum), 0);

  plug.Release();
  DestroyWindow(frame);
}

}  // namespace
}  // namespace tempotally::testhost
