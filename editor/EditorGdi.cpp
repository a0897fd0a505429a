// The shared skin and fonts, and the canvas. A paint copies back from the background only what the
// last paint drew over, writes the LEDs, bars and marker as pixels and draws a changed readout with
// GDI: the pixels of composing everything over the skin each time, as the parts never overlap but
// where a later one covers an earlier one whole (the LEDs over label text, the bars over all).
#include "editor/EditorGdi.h"

#include <cstring>

namespace tempotally {

SharedGdi sharedGdi;
int32_t editorInstanceCount = 0;

namespace {

// Registers the typeface embedded in the module for this process only. Once per module load: the
// registration outlives every instance, like the one of the file.
void RegisterEmbeddedFont(HINSTANCE module) {
  static HANDLE registered = nullptr;
  if (registered) return;
  HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(EmbeddedFontResource), RT_RCDATA);
  HGLOBAL data = info ? LoadResource(module, info) : nullptr;
  void* bytes = data ? LockResource(data) : nullptr;
  const DWORD size = info ? SizeofResource(module, info) : 0;
  DWORD fonts = 0;
  if (bytes && size) registered = AddFontMemResourceEx(bytes, size, nullptr, &fonts);
}

HFONT CreateEditorFont(int height) {
  return CreateFontA(height, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_OUTLINE_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                     VARIABLE_PITCH | FF_DONTCARE, EditorFontFace);
}

constexpr COLORREF TextColour = 0xB6BBBC;
constexpr COLORREF ReadoutTint = 0x8489C6;
constexpr COLORREF DimTextColour = 0x7A7F80;

// Without DT_SINGLELINE this flag does nothing: the readout stands at the rectangle's top left.
constexpr UINT ReadoutFlags = DT_VCENTER;

// Label text runs past its rectangle unless clipped to it.
constexpr UINT LabelFlags = DT_SINGLELINE;
constexpr UINT UnclippedLabelFlags = DT_SINGLELINE | DT_NOCLIP;

constexpr int AboutDateOffset = 16;
constexpr int AboutCreditsOffset = 20;
constexpr const char* AboutDate = "5th June 2016";
constexpr const char* AboutCredits =
    "Video kept in step with the tempo\nDesign and code: ORVA\nTypeface Cuprum, SIL OFL 1.1";

RECT ToRect(const PixelRect& at) { return {at.left, at.top, at.right, at.bottom}; }

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

SharedGdiUser::SharedGdiUser(HINSTANCE moduleInstance) {
  if (editorInstanceCount++ > 0) return;
  // Without the host's copy of the file the editor still shows its own face, not a substitute.
  if (AddFontResourceExA(EditorFontPath, FR_PRIVATE, nullptr) == 0) {
    RegisterEmbeddedFont(moduleInstance);
  }
  sharedGdi.titleFont = CreateEditorFont(TitleFontHeight);
  sharedGdi.readoutFont = CreateEditorFont(ReadoutFontHeight);
  sharedGdi.labelFont = CreateEditorFont(LabelFontHeight);
  sharedGdi.skinBitmap = LoadBitmapA(moduleInstance, MAKEINTRESOURCEA(SkinBitmapResource));
}

SharedGdiUser::~SharedGdiUser() {
  if (--editorInstanceCount > 0) return;
  // DeleteObject ignores a null handle.
  DeleteObject(sharedGdi.skinBitmap);
  DeleteObject(sharedGdi.titleFont);
  DeleteObject(sharedGdi.readoutFont);
  DeleteObject(sharedGdi.labelFont);
  sharedGdi = SharedGdi{};
}

bool EditorCanvas::Fit(HDC target, int width, int height) {
  const PixelView& now = back_.View();
  if (back_ && now.width == width && now.height == height && skinDrawn_ == sharedGdi.skinBitmap) {
    return true;
  }
  readoutCurrent_ = false;
  graphWritten_ = PixelRect{};
  skinDrawn_ = nullptr;
  MemoryDc skin(CreateCompatibleDC(target));
  if (!skin || !background_.Make(target, width, height) || !back_.Make(target, width, height) ||
      !ledSprites_.Make(target, 2 * LedSize, LedSize)) {
    back_.Reset();
    return false;
  }
  {
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
  CopyArea(background_.View(), back_.View(), ReadoutRect);
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
  if (Intersects(graphWritten_, ReadoutRect)) readoutCurrent_ = false;

  DrawReadout(model);
  for (int i = 0; i < ToggleCount; ++i) {
    const int sprite = LedSize * model.leds[i];
    CopyBlock(ledSprites_.View(), {sprite, 0, sprite + LedSize, LedSize}, back, Toggles[i].led.x,
              Toggles[i].led.y);
  }
  graphWritten_ = model.graphShown ? WriteGraph(model, back) : PixelRect{};
  BitBlt(target, 0, 0, width, height, back_.Dc(), 0, 0, SRCCOPY);
}

}  // namespace tempotally
