// The editor's paint, on the window thread: the engine is read in two steps into a paint model
// (timeline/SharedEngine.h), the host is asked for its selection between them outside any engine
// access, and the picture is then composed from the model alone in a client-sized memory bitmap
// over the skin and copied to the window in one transfer.
#include "editor/Editor.h"
#include "editor/EditorGdi.h"
#include "editor/GdiHandles.h"
#include "editor/PaintModel.h"
#include "plugin/TempotallyPlug.h"
#include "timeline/SharedEngine.h"

namespace tempotally {

namespace {

constexpr COLORREF TextColour = 0xB6BBBC;
constexpr COLORREF ReadoutTint = 0x8489C6;
constexpr COLORREF DimTextColour = 0x7A7F80;

constexpr RECT ReadoutRect = {48, 10, 230, 80};
// Without DT_SINGLELINE this flag does nothing: the readout stands at the rectangle's top left.
constexpr UINT ReadoutFlags = DT_VCENTER;

struct ToggleLabel {
  const char* text;
  RECT rect;
  UINT flags;
  Toggle toggle;
};
constexpr UINT LabelFlags = DT_SINGLELINE | DT_NOCLIP;
constexpr ToggleLabel ToggleLabels[] = {
    {"Freeze", {25, 64, 50, 76}, LabelFlags, Toggle::Freeze},
    {"Look ahead", {70, 64, 113, 76}, LabelFlags, Toggle::LookAhead},
    {"Optimise", {138, 64, 176, 76}, DT_SINGLELINE, Toggle::Optimise},
    {"Selection", {193, 64, 230, 76}, DT_SINGLELINE, Toggle::Selection},
    {"Show video player", {25, 80, 50, 92}, LabelFlags, Toggle::ShowVideo},
    {"Video on-top", {118, 80, 143, 92}, LabelFlags, Toggle::VideoOnTop},
};

// LED sprites on the skin: the off cell, then the on cell to its right.
constexpr int LedSize = 10;
constexpr int LedSpriteX = 375;
constexpr int LedSpriteY = 195;
constexpr int LedLeftOfLabel = 15;
constexpr int LedBelowLabelTop = 2;

constexpr RECT AboutRect = {10, 209, 230, 288};
constexpr int AboutDateOffset = 16;
constexpr int AboutCreditsOffset = 20;
constexpr const char* AboutDate = "5th June 2016";
constexpr const char* AboutCredits =
    "Video kept in step with the tempo\nDesign and code: ORVA\nTypeface Cuprum, SIL OFL 1.1";

void DrawModel(HDC dc, HDC skin, HFONT labelFont, const PaintModel& model) {
  SelectedObject font(dc, sharedGdi.readoutFont);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, model.readoutTinted ? ReadoutTint : TextColour);
  RECT readout = ReadoutRect;
  DrawTextA(dc, model.readout, -1, &readout, ReadoutFlags);

  font.Select(labelFont);
  SetTextColor(dc, TextColour);
  for (const ToggleLabel& label : ToggleLabels) {
    RECT rect = label.rect;
    DrawTextA(dc, label.text, -1, &rect, label.flags);
    BitBlt(dc, label.rect.left - LedLeftOfLabel, label.rect.top + LedBelowLabelTop, LedSize, LedSize,
           skin, LedSpriteX + LedSize * model.Led(label.toggle), LedSpriteY, SRCCOPY);
  }

  RECT about = AboutRect;
  font.Select(sharedGdi.titleFont);
  DrawTextA(dc, AboutTitle, -1, &about, DT_WORDBREAK);
  about.top += AboutDateOffset;
  font.Select(labelFont);
  SetTextColor(dc, DimTextColour);
  DrawTextA(dc, AboutDate, -1, &about, DT_WORDBREAK);
  about.top += AboutCreditsOffset;
  DrawTextA(dc, AboutCredits, -1, &about, DT_WORDBREAK);

  if (!model.graphShown) return;
  SelectedObject pen(dc, GetStockObject(NULL_PEN));
  SelectedObject brush(dc, GetStockObject(WHITE_BRUSH));
  int lastBrush = -1;
  for (int i = 0; i < GraphColumns; ++i) {
    const GraphColumn& column = model.columns[i];
    if (!column.drawn) continue;
    const int choice = static_cast<int>(column.brush);
    if (choice != lastBrush) {
      lastBrush = choice;
      brush.Select(GetStockObject(column.brush == BarBrush::White ? WHITE_BRUSH : LTGRAY_BRUSH));
    }
    // With the null pen the rectangle fills one pixel column, down to the row above the baseline.
    Rectangle(dc, GraphLeft + i, GraphBaseline, GraphLeft + i + 2, GraphBaseline - column.height);
  }
  if (model.markerShown) {
    brush.Select(GetStockObject(DKGRAY_BRUSH));
    Rectangle(dc, model.markerX, GraphBaseline, model.markerRight, MarkerTop);
  }
}

}  // namespace

void PaintEditor(ORVAVSTExprPlug* plug, HWND window) {
  if (!plug->editorShown) return;
  plug->timeline.Refresh();
  const bool askSelection = plug->timeline.Options().selection != 0;

  // The host fills the selection in beats; one that ignores the call leaves (0, 0).
  if (askSelection) {
    plug->hostSelection[0] = plug->hostSelection[1] = 0.0;
    if (plug->host) {
      plug->host->HostDispatch(plug->instanceTag, HostId::Selection, 0,
                               reinterpret_cast<TWord>(plug->hostSelection));
    }
    plug->hostSelection[0] *= TicksPerBeat;
    plug->hostSelection[1] *= TicksPerBeat;
  }

  PaintModel model;
  const GraphView view{
      plug->graphSpan, plug->graphMargin, {plug->hostSelection[0], plug->hostSelection[1]}};
  plug->timeline.Read([&](const TimelineEngine& engine) { BuildPaintModel(engine, view, model); });

  GdiObject<HFONT> labelFont;
  PaintSession paint(window);
  RECT client{};
  GetClientRect(window, &client);
  GdiObject<HBITMAP> bufferBitmap(CreateCompatibleBitmap(paint.Dc(), client.right, client.bottom));
  MemoryDc buffer(paint.Dc());
  if (!buffer || !bufferBitmap) return;
  SelectedObject bufferSelection(buffer.Get(), bufferBitmap.Get());
  {
    MemoryDc skin(paint.Dc());
    if (!skin) return;
    SelectedObject skinSelection(skin.Get(), sharedGdi.skinBitmap);
    BITMAP sheet{};
    GetObjectA(sharedGdi.skinBitmap, sizeof sheet, &sheet);
    BitBlt(buffer.Get(), 0, 0, sheet.bmWidth, sheet.bmHeight, skin.Get(), 0, 0, SRCCOPY);
    labelFont.Reset(CreateEditorFont(LabelFontHeight));
    DrawModel(buffer.Get(), skin.Get(), labelFont.Get(), model);
  }
  BitBlt(paint.Dc(), 0, 0, client.right, client.bottom, buffer.Get(), 0, 0, SRCCOPY);
}

}  // namespace tempotally
