// The editor's drawing. The skin and every text that never changes are drawn once per size into
// the background; a paint copies back from it only what the last paint drew over (the readout when
// it changed, the graph), writes the LEDs, bars and marker as pixels and draws the readout text
// with GDI, then copies the back buffer to the window in one transfer. The result is the same, to
// the pixel, as drawing everything over the skin in each paint: the parts never overlap except
// where a later one covers an earlier one whole (the LEDs over label text, the bars over all).
#include "editor/EditorCanvas.h"

#include <cstring>

#include "editor/EditorGdi.h"
#include "editor/EditorLayout.h"
#include "editor/Toggles.h"

namespace tempotally {

namespace {

constexpr COLORREF TextColour = 0xB6BBBC;
constexpr COLORREF ReadoutTint = 0x8489C6;
constexpr COLORREF DimTextColour = 0x7A7F80;

// Without DT_SINGLELINE this flag does nothing: the readout stands at the rectangle's top left.
constexpr UINT ReadoutFlags = DT_VCENTER;
// The readout is clipped to its rectangle, so this is all that a new readout needs restored.
constexpr PixelRect ReadoutArea = {ReadoutRect.left, ReadoutRect.top, ReadoutRect.right,
                                   ReadoutRect.bottom};

// Label text runs past its rectangle unless clipped to it.
constexpr UINT LabelFlags = DT_SINGLELINE;
constexpr UINT UnclippedLabelFlags = DT_SINGLELINE | DT_NOCLIP;

constexpr int AboutDateOffset = 16;
constexpr int AboutCreditsOffset = 20;
constexpr const char* AboutDate = "5th June 2016";
constexpr const char* AboutCredits =
    "Video kept in step with the tempo\nDesign and code: ORVA\nTypeface Cuprum, SIL OFL 1.1";

RECT ToRect(const ClientRect& at) { return {at.left, at.top, at.right, at.bottom}; }

// The labels and the about block, in the order and with the fonts and colours of every paint.
void DrawStaticText(HDC dc) {
  SelectedObject font(dc, sharedGdi.labelFont);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, TextColour);
  for (const ToggleRow& toggle : Toggles) {
    RECT rect = ToRect(toggle.labelRect);
    DrawTextA(dc, toggle.label, -1, &rect, toggle.labelClipped ? LabelFlags : UnclippedLabelFlags);
  }
  RECT about = ToRect(AboutRect);
  font.Select(sharedGdi.titleFont);
  DrawTextA(dc, AboutTitle, -1, &about, DT_WORDBREAK);
  about.top += AboutDateOffset;
  font.Select(sharedGdi.labelFont);
  SetTextColor(dc, DimTextColour);
  DrawTextA(dc, AboutDate, -1, &about, DT_WORDBREAK);
  about.top += AboutCreditsOffset;
  DrawTextA(dc, AboutCredits, -1, &about, DT_WORDBREAK);
}

}  // namespace

bool EditorCanvas::Fit(HDC target, int width, int height) {
  const PixelView& now = back_.View();
  if (back_ && now.width == width && now.height == height && skinDrawn_ == sharedGdi.skinBitmap) {
    return true;
  }
  readoutCurrent_ = false;
  graphWritten_ = PixelRect{};
  skinDrawn_ = nullptr;
  if (!background_.Make(target, width, height) || !back_.Make(target, width, height) ||
      !ledSprites_.Make(target, 2 * LedSize, LedSize)) {
    back_.Reset();
    return false;
  }
  {
    MemoryDc skin(target);
    if (!skin) {
      back_.Reset();
      return false;
    }
    SelectedObject skinSelection(skin.Get(), sharedGdi.skinBitmap);
    BITMAP sheet{};
    GetObjectA(sharedGdi.skinBitmap, sizeof sheet, &sheet);
    BitBlt(background_.Dc(), 0, 0, sheet.bmWidth, sheet.bmHeight, skin.Get(), 0, 0, SRCCOPY);
    BitBlt(ledSprites_.Dc(), 0, 0, 2 * LedSize, LedSize, skin.Get(), LedSpriteX, LedSpriteY,
           SRCCOPY);
  }
  DrawStaticText(background_.Dc());
  GdiFlush();
  CopyArea(background_.View(), back_.View(), {0, 0, width, height});
  skinDrawn_ = sharedGdi.skinBitmap;
  return true;
}

void EditorCanvas::DrawReadout(const PaintModel& model) {
  if (readoutCurrent_ && shownTint_ == model.readoutTinted &&
      std::strcmp(shownReadout_, model.readout) == 0) {
    return;
  }
  CopyArea(background_.View(), back_.View(), ReadoutArea);
  HDC dc = back_.Dc();
  SelectedObject font(dc, sharedGdi.readoutFont);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, model.readoutTinted ? ReadoutTint : TextColour);
  RECT readout = ToRect(ReadoutRect);
  DrawTextA(dc, model.readout, -1, &readout, ReadoutFlags);
  GdiFlush();
  std::memcpy(shownReadout_, model.readout, sizeof shownReadout_);
  shownTint_ = model.readoutTinted;
  readoutCurrent_ = true;
}

void EditorCanvas::Paint(HDC target, int width, int height, const PaintModel& model) {
  if (!Fit(target, width, height)) return;
  const PixelView& back = back_.View();
  // What the last graph covered goes back to the background; bars tall enough to reach the
  // readout take it with them.
  CopyArea(background_.View(), back, graphWritten_);
  if (Intersects(graphWritten_, ReadoutArea)) readoutCurrent_ = false;
  graphWritten_ = PixelRect{};

  DrawReadout(model);
  for (const ToggleRow& toggle : Toggles) {
    CopyBlock(ledSprites_.View(), LedSize * model.Led(toggle.toggle), 0, back, toggle.led.x,
              toggle.led.y, LedSize, LedSize);
  }
  if (model.graphShown) graphWritten_ = WriteGraph(model, back);
  BitBlt(target, 0, 0, width, height, back_.Dc(), 0, 0, SRCCOPY);
}

}  // namespace tempotally
