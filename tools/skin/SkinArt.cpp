// Draws the editor's skin sheet. The editor shows the sheet's top-left 240 pixels across, down to
// the fold height; two 10 x 10 cells further right are the LED sprites that the paint copies next
// to each toggle label. Shapes are anti-aliased by counting 4 x 4 samples inside each pixel.
#include "tools/skin/SkinArt.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "editor/EditorLayout.h"

namespace tempotally::skin {

namespace {

struct Colour {
  double r, g, b;
};

Colour Mix(Colour a, Colour b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

constexpr Colour WindowColour{49, 55, 59};
constexpr Colour SpareColour{40, 45, 49};

struct Panel {
  PanelBounds at;
  Colour fill, frame;
};
constexpr Panel TopPanelArt{TopPanel, {54, 60, 64}, {39, 45, 49}};
constexpr Panel GraphPanelArt{GraphPanel, {33, 39, 43}, {25, 31, 35}};
constexpr Panel AboutPanelArt{AboutPanel, {29, 34, 38}, {25, 31, 35}};

// Graph rules at each quarter of the bars' full height, a dot every third column.
constexpr int RuleStep = GraphMaxBar / 4;
constexpr int RuleDotStep = 3;

constexpr int Samples = 4;  // per axis, per pixel

class Canvas {
 public:
  Canvas() : pixels_(SheetSize * SheetSize, Colour{0, 0, 0}) {}

  void Fill(int left, int top, int right, int bottom, Colour colour) {
    for (int y = top; y <= bottom; ++y) {
      for (int x = left; x <= right; ++x) At(x, y) = colour;
    }
  }

  // The panel in its frame colour, then its inside in its fill colour.
  void DrawPanel(const Panel& panel) {
    const PanelBounds& at = panel.at;
    Fill(at.left, at.top, at.right, at.bottom, panel.frame);
    Fill(at.left + 1, at.top + 1, at.right - 1, at.bottom - 1, panel.fill);
  }

  // Blends the shape's mean colour over each pixel of the box, in proportion to how much of the
  // pixel the shape covers.
  void Shade(int left, int top, int right, int bottom,
             const std::function<bool(double, double)>& inside,
             const std::function<Colour(double, double)>& colourAt, double alpha = 1.0) {
    for (int y = top; y <= bottom; ++y) {
      for (int x = left; x <= right; ++x) {
        Colour sum{0, 0, 0};
        int hits = 0;
        for (int sy = 0; sy < Samples; ++sy) {
          for (int sx = 0; sx < Samples; ++sx) {
            const double px = x + (sx + 0.5) / Samples, py = y + (sy + 0.5) / Samples;
            if (!inside(px, py)) continue;
            const Colour c = colourAt(px, py);
            sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b};
            ++hits;
          }
        }
        if (hits == 0) continue;
        Blend(x, y, {sum.r / hits, sum.g / hits, sum.b / hits}, alpha * hits / (Samples * Samples));
      }
    }
  }

  // Shade in one colour; whole-number channels, so the mean is that colour exactly.
  void Paint(int left, int top, int right, int bottom,
             const std::function<bool(double, double)>& inside, Colour colour, double alpha = 1.0) {
    const auto same = [colour](double, double) { return colour; };
    Shade(left, top, right, bottom, inside, same, alpha);
  }

  std::vector<uint8_t> BitmapFile() const {
    constexpr uint32_t FileHeader = 14, InfoHeader = 40, Bpp = 24, Planes = 1, BiRgb = 0;
    constexpr uint32_t RowBytes = (SheetSize * 3 + 3) / 4 * 4;
    constexpr uint32_t ImageBytes = RowBytes * SheetSize;
    constexpr uint32_t PixelsPerMetre = 2835;  // 72 dpi
    // The file header after "BM", then the info header, as little-endian words; the planes and
    // the bits per pixel share one word. A positive height: rows bottom-up.
    const uint32_t words[] = {FileHeader + InfoHeader + ImageBytes, 0, FileHeader + InfoHeader,
                              InfoHeader, SheetSize, SheetSize, Planes | Bpp << 16, BiRgb,
                              ImageBytes, PixelsPerMetre, PixelsPerMetre, 0, 0};
    std::vector<uint8_t> out = {'B', 'M'};
    for (const uint32_t word : words) {
      for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(word >> (8 * i)));
    }
    for (int y = SheetSize - 1; y >= 0; --y) {
      for (int x = 0; x < SheetSize; ++x) {
        const Colour& c = pixels_[y * SheetSize + x];
        out.insert(out.end(), {Channel(c.b), Channel(c.g), Channel(c.r)});
      }
      out.resize(out.size() + RowBytes - SheetSize * 3, 0);
    }
    return out;
  }

 private:
  Colour& At(int x, int y) { return pixels_[y * SheetSize + x]; }

  void Blend(int x, int y, Colour colour, double alpha) { At(x, y) = Mix(At(x, y), colour, alpha); }

  static uint8_t Channel(double v) { return static_cast<uint8_t>(std::clamp(v, 0.0, 255.0) + 0.5); }

  std::vector<Colour> pixels_;
};

double Squared(double v) { return v * v; }

auto Disc(double cx, double cy, double radius) {
  return [=](double x, double y) { return Squared(x - cx) + Squared(y - cy) <= Squared(radius); };
}

auto Ring(double cx, double cy, double inner, double outer) {
  return [=](double x, double y) {
    const double d = Squared(x - cx) + Squared(y - cy);
    return d >= Squared(inner) && d <= Squared(outer);
  };
}

// A stroke of the given width from (x0, y0) to (x1, y1), with round ends.
auto Stroke(double x0, double y0, double x1, double y1, double width) {
  return [=](double x, double y) {
    const double dx = x1 - x0, dy = y1 - y0;
    double t = ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy);
    t = t < 0.0 ? 0.0 : (t > 1.0 ? 1.0 : t);
    return Squared(x - (x0 + t * dx)) + Squared(y - (y0 + t * dy)) <= Squared(width / 2);
  };
}

constexpr Colour Orange{255, 140, 26};
constexpr Colour DeepOrange{214, 96, 8};
constexpr Colour PaleOrange{255, 222, 176};
constexpr Colour Steel{108, 116, 121};
constexpr Colour DarkSteel{72, 79, 84};

// A lit or unlit LED on the top panel's fill: a dark bezel, a body shaded from its upper left,
// a small reflection, and for the lit one a faint glow around it.
void DrawLed(Canvas& canvas, int left, int top, bool lit) {
  const double cx = left + LedSize / 2.0, cy = top + LedSize / 2.0;
  const int right = left + LedSize - 1, bottom = top + LedSize - 1;
  canvas.Fill(left, top, right, bottom, TopPanelArt.fill);
  if (lit) canvas.Paint(left, top, right, bottom, Disc(cx, cy, 5.0), Orange, 0.28);
  canvas.Paint(left, top, right, bottom, Disc(cx, cy, 4.4), {28, 32, 35});
  const Colour light = lit ? Orange : Colour{150, 156, 160};
  const Colour dark = lit ? DeepOrange : Colour{84, 90, 94};
  const double lightX = cx - 1.2, lightY = cy - 1.4, radius = 3.6;
  canvas.Shade(left, top, right, bottom, Disc(cx, cy, radius), [=](double x, double y) {
    const double t = std::sqrt(Squared(x - lightX) + Squared(y - lightY)) / (radius + 1.8);
    return Mix(light, dark, t > 1.0 ? 1.0 : t);
  });
  canvas.Paint(left, top, right, bottom, Disc(cx - 1.1, cy - 1.3, 1.3),
               lit ? PaleOrange : Colour{196, 200, 203}, lit ? 0.85 : 0.55);
}

// A stopwatch to the left of the readout.
void DrawStopwatch(Canvas& canvas) {
  const double cx = 27.0, cy = 38.0;
  canvas.Paint(23, 19, 31, 23, Stroke(25.5, 21.0, 28.5, 21.0, 2.6), Steel);
  canvas.Paint(25, 21, 29, 26, Stroke(27.0, 22.0, 27.0, 25.5, 2.0), Steel);
  canvas.Paint(34, 22, 40, 28, Stroke(35.5, 26.5, 38.0, 24.0, 2.0), Steel);
  canvas.Paint(12, 23, 42, 53, Ring(cx, cy, 10.6, 13.2), Steel);
  canvas.Paint(14, 25, 40, 51, Disc(cx, cy, 10.6), {46, 52, 56});
  constexpr double Marks[4][2] = {{0.0, -1.0}, {1.0, 0.0}, {0.0, 1.0}, {-1.0, 0.0}};
  for (const auto& m : Marks) {
    canvas.Paint(14, 25, 40, 51,
                 Stroke(cx + m[0] * 7.4, cy + m[1] * 7.4, cx + m[0] * 9.2, cy + m[1] * 9.2, 1.4),
                 DarkSteel);
  }
  canvas.Paint(20, 30, 35, 41, Stroke(cx, cy, cx + 5.6, cy - 5.6, 1.8), Orange);
  canvas.Paint(23, 34, 31, 42, Disc(cx, cy, 2.0), Orange);
}

// Faint dotted rules across the graph panel at each quarter of the bars' full height.
void DrawGraphRules(Canvas& canvas) {
  constexpr Colour Rule{41, 47, 51};
  for (int y = GraphBaseline - RuleStep; y >= GraphBaseline - GraphMaxBar; y -= RuleStep) {
    for (int x = GraphLeft; x < GraphLeft + GraphColumns; x += RuleDotStep) {
      canvas.Fill(x, y, x, y, Rule);
    }
  }
}

// The about panel's artwork: a film reel above a little tempo graph with a rising ramp, the two
// halves of what the plug-in joins.
void DrawAboutArt(Canvas& canvas) {
  const double cx = 201.0, cy = 238.0;
  // Reel: a shaded disc with five windows and a hub.
  canvas.Shade(170, 207, 232, 269, Disc(cx, cy, 27.0), [=](double x, double y) {
    const double t = std::sqrt(Squared(x - (cx - 9)) + Squared(y - (cy - 11))) / 44.0;
    return Mix(Colour{128, 136, 141}, Colour{60, 66, 71}, t > 1.0 ? 1.0 : t);
  });
  canvas.Paint(170, 207, 232, 269, Ring(cx, cy, 25.4, 27.0), {44, 50, 54}, 0.9);
  // Unit vectors 72 degrees apart, starting straight up.
  constexpr double Windows[5][2] = {{0.0, -1.0},
                                    {0.9510565163, -0.3090169944},
                                    {0.5877852523, 0.8090169944},
                                    {-0.5877852523, 0.8090169944},
                                    {-0.9510565163, -0.3090169944}};
  for (const auto& w : Windows) {
    const double wx = cx + w[0] * 15.0, wy = cy + w[1] * 15.0;
    canvas.Paint(170, 207, 232, 269, Disc(wx, wy, 7.2), AboutPanelArt.fill);
    canvas.Paint(170, 207, 232, 269, Ring(wx, wy, 7.2, 8.0), {52, 58, 62}, 0.8);
  }
  canvas.Paint(190, 227, 212, 249, Disc(cx, cy, 5.0), {160, 167, 171});
  canvas.Paint(190, 227, 212, 249, Disc(cx, cy, 2.2), AboutPanelArt.fill);
  // An orange arc of film leaving the reel's rim.
  const auto ring = Ring(cx, cy, 29.0, 30.6);
  canvas.Paint(160, 204, 232, 275,
               [=](double x, double y) { return x > cx - 2.0 && y < cy + 4.0 && ring(x, y); },
               Orange, 0.9);
  // Tempo bars: steady, then a ramp, the last few lit.
  constexpr int BarCount = 12;
  constexpr double Heights[BarCount] = {3, 3, 3, 4, 5, 6, 7, 8, 9, 10, 10, 10};
  for (int i = 0; i < BarCount; ++i) {
    const double x0 = 174.0 + i * 4.5, bottom = 284.0;
    canvas.Paint(172, 272, 230, 285,
                 [=](double x, double y) {
                   return x >= x0 && x <= x0 + 3.0 && y <= bottom && y >= bottom - Heights[i];
                 },
                 i >= 9 ? Orange : Steel, i >= 9 ? 1.0 : 0.8);
  }
}

}  // namespace

std::vector<uint8_t> DrawSkinBitmapFile() {
  Canvas canvas;
  canvas.Fill(0, 0, SheetSize - 1, SheetSize - 1, SpareColour);
  canvas.Fill(0, 0, EditorWidth - 1, EditorFullHeight - 1, WindowColour);
  canvas.DrawPanel(TopPanelArt);
  canvas.DrawPanel(GraphPanelArt);
  canvas.DrawPanel(AboutPanelArt);

  // A soft bevel inside the top panel and a rule between the readout and the toggles.
  canvas.Fill(6, 8, 232, 8, {60, 66, 70});
  canvas.Fill(14, 59, 224, 59, {45, 51, 55});
  canvas.Fill(14, 60, 224, 60, {60, 66, 70});
  DrawStopwatch(canvas);
  DrawGraphRules(canvas);
  DrawAboutArt(canvas);

  DrawLed(canvas, LedSpriteX, LedSpriteY, false);
  DrawLed(canvas, LedSpriteX + LedSize, LedSpriteY, true);
  return canvas.BitmapFile();
}

}  // namespace tempotally::skin
