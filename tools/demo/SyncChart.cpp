// Draws the sync chart with GDI into a surface of its own and writes it as a PNG file.
#include "tools/demo/SyncChart.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cwchar>

#include "editor/EditorGdi.h"
#include "tools/demo/PngWriter.h"

namespace tempotally::demo {
namespace {

constexpr int Width = 960;
constexpr int Left = 96;
constexpr int Right = Width - 40;
constexpr int TempoTop = 64;
constexpr int TempoBottom = 224;
constexpr int ErrorTop = 280;
constexpr int ErrorBottom = 584;

constexpr double BpmLow = 60.0;
constexpr double BpmHigh = 180.0;
constexpr double BpmGridStep = 30.0;
constexpr double BeatGridStep = 16.0;
// Errors from a microsecond to 100 seconds, one grid line a decade.
constexpr int DecadeLow = -6;
constexpr int DecadeHigh = 2;

constexpr COLORREF Paper = RGB(255, 255, 255);
constexpr COLORREF Ink = RGB(40, 40, 40);
constexpr COLORREF Grid = RGB(222, 222, 222);
constexpr COLORREF TempoColour = RGB(40, 80, 170);
constexpr COLORREF HostColour = RGB(215, 90, 20);
constexpr COLORREF ToldColour = RGB(20, 150, 70);
constexpr COLORREF RestoredColour = RGB(150, 50, 170);
constexpr int TextHeight = 15;
constexpr int TitleHeight = 20;
constexpr int LineWidth = 2;
// The legend sits under the beat axis, clear of every series.
constexpr int LegendTop = ErrorBottom + 52;
constexpr int LegendRow = TextHeight + 6;
constexpr int LegendRows = 4;
constexpr int Height = LegendTop + LegendRows * LegendRow + 24;
// The point at the end of the song's first tick (the first point is its start).
constexpr size_t FirstTickPoint = 1;

int X(double beat, double lastBeat) {
  return Left + static_cast<int>(std::lround(beat / lastBeat * (Right - Left)));
}

int TempoY(double bpm) {
  const double clamped = std::clamp(bpm, BpmLow, BpmHigh);
  return TempoBottom - static_cast<int>(std::lround((clamped - BpmLow) / (BpmHigh - BpmLow) *
                                                    (TempoBottom - TempoTop)));
}

int ErrorY(double seconds) {
  const double decade = seconds > 0.0 ? std::log10(seconds) : DecadeLow;
  const double clamped = std::clamp(decade, double(DecadeLow), double(DecadeHigh));
  return ErrorBottom -
         static_cast<int>(std::lround((clamped - DecadeLow) / (DecadeHigh - DecadeLow) *
                                      (ErrorBottom - ErrorTop)));
}

void Text(HDC dc, int x, int y, const wchar_t* text, UINT align = TA_LEFT | TA_TOP) {
  SetTextAlign(dc, align);
  TextOutW(dc, x, y, text, static_cast<int>(std::wcslen(text)));
}

void Line(HDC dc, int x0, int y0, int x1, int y1) {
  MoveToEx(dc, x0, y0, nullptr);
  LineTo(dc, x1, y1);
}

// One series as a polyline in `pen`; points without a value break it.
template <typename ToY>
void Series(HDC dc, HPEN pen, const std::vector<SyncPoint>& points, double lastBeat,
            double SyncPoint::*value, ToY toY) {
  const SelectedObject selected(dc, pen);
  std::vector<POINT> run;
  auto flush = [&] {
    if (run.size() > 1) Polyline(dc, run.data(), static_cast<int>(run.size()));
    run.clear();
  };
  for (const SyncPoint& p : points) {
    if (std::isnan(p.*value)) {
      flush();
      continue;
    }
    run.push_back({X(p.beat, lastBeat), toY(p.*value)});
  }
  flush();
}

// The outline of `r`, its right and bottom edges included.
void Frame(HDC dc, HPEN pen, const RECT& r) {
  const SelectedObject selected(dc, pen);
  const SelectedObject hollow(dc, GetStockObject(NULL_BRUSH));
  Rectangle(dc, r.left, r.top, r.right + 1, r.bottom + 1);
}

// The lowest line also carries every smaller error, exact agreement included.
const wchar_t* DecadeLabel(int decade) {
  static const wchar_t* const labels[] = {
      L"\u2264 1 \u00b5s", L"10 \u00b5s", L"100 \u00b5s", L"1 ms", L"10 ms",
      L"100 ms",           L"1 s",        L"10 s",        L"100 s"};
  return labels[decade - DecadeLow];
}

void Draw(HDC dc, const std::vector<SyncPoint>& points) {
  const double lastBeat = std::max(1.0, points.back().beat);
  // The time told after the song's first tick cannot hold that tick's length, which the host's
  // figures give only from the second tick on: drawn, but left out of the largest errors.
  double hostMax = 0.0, toldMax = 0.0, restoredMax = 0.0;
  for (size_t i = 0; i < points.size(); ++i) {
    const SyncPoint& p = points[i];
    if (!std::isnan(p.hostError)) hostMax = std::max(hostMax, p.hostError);
    if (i <= FirstTickPoint) continue;
    if (!std::isnan(p.toldError)) toldMax = std::max(toldMax, p.toldError);
    if (!std::isnan(p.restoredError)) restoredMax = std::max(restoredMax, p.restoredError);
  }

  const GdiObject<HBRUSH> paper(CreateSolidBrush(Paper));
  const RECT all = {0, 0, Width, Height};
  FillRect(dc, &all, paper.Get());
  SetBkMode(dc, TRANSPARENT);
  const GdiObject<HFONT> title(CreateFontW(TitleHeight, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET,
                                           0, 0, ANTIALIASED_QUALITY, 0, L"Tahoma"));
  const GdiObject<HFONT> label(CreateFontW(TextHeight, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET,
                                           0, 0, ANTIALIASED_QUALITY, 0, L"Tahoma"));
  const GdiObject<HPEN> gridPen(CreatePen(PS_SOLID, 1, Grid));
  const GdiObject<HPEN> inkPen(CreatePen(PS_SOLID, 1, Ink));

  {
    const SelectedObject font(dc, title.Get());
    SetTextColor(dc, Ink);
    Text(dc, Left, 16, L"The song's tempo, and how far each time strays from the true time");
  }
  const SelectedObject font(dc, label.Get());
  SetTextColor(dc, Ink);

  // Grids and their labels.
  {
    const SelectedObject pen(dc, gridPen.Get());
    for (double beat = 0.0; beat <= lastBeat + 1e-9; beat += BeatGridStep) {
      const int x = X(beat, lastBeat);
      Line(dc, x, TempoTop, x, TempoBottom);
      Line(dc, x, ErrorTop, x, ErrorBottom);
      wchar_t text[16];
      std::swprintf(text, 16, L"%.0f", beat);
      Text(dc, x, ErrorBottom + 6, text, TA_CENTER | TA_TOP);
    }
    for (double bpm = BpmLow; bpm <= BpmHigh + 1e-9; bpm += BpmGridStep) {
      const int y = TempoY(bpm);
      Line(dc, Left, y, Right, y);
      wchar_t text[16];
      std::swprintf(text, 16, L"%.0f", bpm);
      Text(dc, Left - 8, y - TextHeight / 2, text, TA_RIGHT | TA_TOP);
    }
    for (int decade = DecadeLow; decade <= DecadeHigh; ++decade) {
      const int y = ErrorY(std::pow(10.0, decade));
      Line(dc, Left, y, Right, y);
      Text(dc, Left - 8, y - TextHeight / 2, DecadeLabel(decade), TA_RIGHT | TA_TOP);
    }
  }
  Frame(dc, inkPen.Get(), {Left, TempoTop, Right, TempoBottom});
  Frame(dc, inkPen.Get(), {Left, ErrorTop, Right, ErrorBottom});
  Text(dc, Left, TempoTop - TextHeight - 6, L"Tempo (BPM)");
  Text(dc, Left, ErrorTop - TextHeight - 6, L"Error against the true time (log scale)");
  Text(dc, (Left + Right) / 2, ErrorBottom + 26, L"Beat", TA_CENTER | TA_TOP);

  const GdiObject<HPEN> tempoPen(CreatePen(PS_SOLID, LineWidth, TempoColour));
  const GdiObject<HPEN> hostPen(CreatePen(PS_SOLID, LineWidth, HostColour));
  const GdiObject<HPEN> toldPen(CreatePen(PS_SOLID, LineWidth, ToldColour));
  // Thin and dashed: it lies on the told time's line wherever the save kept the time exactly.
  const GdiObject<HPEN> restoredPen(CreatePen(PS_DASH, 1, RestoredColour));
  Series(dc, tempoPen.Get(), points, lastBeat, &SyncPoint::bpm, TempoY);
  Series(dc, hostPen.Get(), points, lastBeat, &SyncPoint::hostError, ErrorY);
  Series(dc, toldPen.Get(), points, lastBeat, &SyncPoint::toldError, ErrorY);
  Series(dc, restoredPen.Get(), points, lastBeat, &SyncPoint::restoredError, ErrorY);

  // The legend, with each series' largest error, and what the told time's error is made of.
  const struct {
    const GdiObject<HPEN>& pen;
    COLORREF colour;
    const wchar_t* name;
    double largest;
  } legend[] = {
      {hostPen, HostColour, L"the host's own time", hostMax},
      {toldPen, ToldColour, L"the time told to the video player, after the first tick", toldMax},
      {restoredPen, RestoredColour, L"the same, played again after the project was saved and reopened",
       restoredMax}};
  int y = LegendTop;
  for (const auto& entry : legend) {
    {
      const SelectedObject pen(dc, entry.pen.Get());
      Line(dc, Left, y + TextHeight / 2, Left + 30, y + TextHeight / 2);
    }
    wchar_t text[128];
    if (entry.largest >= 1.0) {
      std::swprintf(text, 128, L"%ls: up to %.2f s", entry.name, entry.largest);
    } else {
      std::swprintf(text, 128, L"%ls: up to %.3f ms", entry.name, entry.largest * 1000.0);
    }
    SetTextColor(dc, entry.colour);
    Text(dc, Left + 38, y, text);
    y += LegendRow;
  }
  SetTextColor(dc, Ink);
  Text(dc, Left + 38, y,
       L"What remains on the ramp is the host's sampling: it reports each tick's tempo at the "
       L"tick's start.");
}

}  // namespace

bool WriteSyncChart(const std::string& path, const std::vector<SyncPoint>& points) {
  DibSurface surface;
  if (points.empty() || !surface.Make(nullptr, Width, Height)) return false;
  Draw(surface.Dc(), points);
  GdiFlush();
  const PixelView& view = surface.View();
  testhost::Pixels pixels{Width, Height, {view.pixels, view.pixels + Width * Height}};
  for (uint32_t& p : pixels.rgb) p &= 0x00FFFFFF;
  return WritePng(path, pixels);
}

}  // namespace tempotally::demo
