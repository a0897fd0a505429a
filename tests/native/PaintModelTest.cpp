// The editor's paint model: readout digits, LED states, the graph's columns and the marker, for
// ordinary states and for the values a host or a saved project may bring.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "editor/PaintModel.h"
#include "tests/native/EngineFixture.h"

namespace tempotally::testing {
namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

std::string Readout(double seconds) {
  char text[ReadoutChars];
  FormatReadout(seconds, text, sizeof text);
  return text;
}

// The readout as it was first written: seconds reduced by repeated subtraction.
std::string LoopReadout(double seconds) {
  double s = seconds;
  while (s >= 60.0) s -= 60.0;
  char text[ReadoutChars];
  std::snprintf(text, sizeof text, "%02i:%05.2f", static_cast<int>(seconds) / 60, s);
  return text;
}

TEST(Readout, ShowsMinutesAndSecondsAndAPlaceholderForNonFiniteValues) {
  const struct {
    double seconds;
    const char* text;
  } cases[] = {
      {65.5, "01:05.50"},        {0.0, "00:00.00"},  {6000.0, "100:00.00"},
      {59.999, "00:60.00"},  // the seconds round up on their own, as they always have
      {Inf, "--:--.--"},         {-Inf, "--:--.--"},
      {NaN, "--:--.--"},         {1e300, "35791394:"},  // minutes clamped; seconds below 60
      {-1e300, "-35791394:"},
  };
  for (const auto& c : cases) {
    const std::string text = Readout(c.seconds);
    EXPECT_EQ(text.rfind(c.text, 0), 0u) << c.seconds << " gave " << text;
  }
  // Finite values keep the digits of the repeated subtraction; huge ones take no time at all.
  for (double seconds : {60.0, 119.995, 3599.999, 1234567.891, 98765432.1}) {
    EXPECT_EQ(Readout(seconds), LoopReadout(seconds)) << seconds;
  }
  const std::string huge = Readout(std::ldexp(1.0, 60) + 12345.0);
  EXPECT_LT(std::stod(huge.substr(huge.find(':') + 1)), 60.0) << huge;
}

class PaintModelTest : public EngineTest {
 protected:
  PaintModel Build() {
    BuildPaintModel(SnapshotOf(engine), view, model);
    return model;
  }
  int DrawnColumns() const {
    int n = 0;
    for (const GraphColumn& c : model.columns) n += c.drawn;
    return n;
  }

  GraphView view{DefaultSpan, DefaultMargin, {0.0, 0.0}};
  PaintModel model;
  static constexpr int32_t DefaultSpan = 1536;
  static constexpr float DefaultMargin = 0.01f;
};

TEST_F(PaintModelTest, ReadoutTintLedsAndFoldFollowTheEngine) {
  engine.displaySeconds = 65.5;
  engine.options.optimise = StepOptimised;
  engine.options.freeze = 7;  // any non-zero byte from a saved project lights the LED, nothing else
  engine.recentChange = 3;
  engine.options.minimised = 2;
  Build();
  EXPECT_STREQ(model.readout, "01:05.50");
  EXPECT_TRUE(model.readoutTinted);
  const uint8_t expected[ToggleCount] = {1, 1, 1, 0, 0, 0};  // freeze, look ahead, optimise
  EXPECT_EQ(std::memcmp(model.leds, expected, sizeof expected), 0);
  EXPECT_FALSE(model.graphShown);
  EXPECT_EQ(DrawnColumns(), 0);
  EXPECT_FALSE(model.markerShown);

  engine.options.optimise = StepEveryTick;
  engine.recentChange = 0;
  engine.options.minimised = 1;
  Build();
  EXPECT_FALSE(model.readoutTinted);
  EXPECT_EQ(model.Led(Toggle::Optimise), 0);
  EXPECT_TRUE(model.graphShown);
}

TEST_F(PaintModelTest, ConstantAndEmptyMapsDrawHalfHeightBars) {
  // Half of 84, unless single-precision rounding puts n just below one half.
  for (auto [seconds, height] : {std::pair{0.0, 42}, {Tick120, 42}, {Tick90, 42}, {0.25, 41}}) {
    FillMap(seconds);
    engine.songPosition = 5000.0;
    Build();
    ASSERT_EQ(DrawnColumns(), GraphColumns);
    for (const GraphColumn& c : model.columns) ASSERT_EQ(c.height, height) << seconds;
  }
}

TEST_F(PaintModelTest, WindowClampsAtTheStartAndSamplesTheMapOnly) {
  const struct {
    double position;
    int32_t span;
    int drawn;
    int32_t firstTick;
    int32_t markerX;  // -1: none
  } cases[] = {
      {0.0, 1536, GraphColumns, 1, -1},      // lo clamped to 1, hi 1536: the marker is left of it
      {5000.0, 0, GraphColumns, 5000, -1},   // span 0: one tick everywhere, no marker
      {5000.0, 1536, GraphColumns, 3464, 120},
      {95900.0, 1536, 120, 94364, 120},      // columns past tick 95999 stay empty
      {NaN, 1536, 0, 0, -1},
      {Inf, 1536, 0, 0, -1},
      {-Inf, 1536, 0, 0, -1},
      {1e300, 1536, 0, 0, -1},
      {3.0e38, 1536, 0, 0, -1},
  };
  FillMap(Tick120);
  for (const auto& c : cases) {
    engine.songPosition = c.position;
    view.span = c.span;
    Build();
    EXPECT_EQ(DrawnColumns(), c.drawn) << c.position;
    if (c.drawn > 0) {
      EXPECT_EQ(model.columns[0].tick, c.firstTick) << c.position;
    }
    EXPECT_EQ(model.markerShown, c.markerX >= 0) << c.position;
    if (c.markerX >= 0) {
      EXPECT_EQ(model.markerX, c.markerX) << c.position;
      EXPECT_EQ(model.markerRight, c.markerX + 2) << c.position;
    }
  }
}

TEST_F(PaintModelTest, SelectionWindowIncludesBothEndsForTheMarker) {
  engine.options.selection = 1;
  const struct {
    double start, end, position;
    int drawn;
    int32_t markerX;
  } cases[] = {
      {0.0, 0.0, 0.0, 1, -1},  // no selection in the host: only tick 1, no marker
      {960.0, 1920.0, 960.0, GraphColumns, GraphLeft},
      {960.0, 1920.0, 1920.0, GraphColumns, GraphLeft + GraphColumns},
      {960.0, 1920.0, 959.0, GraphColumns, -1},
      {960.0, 1920.0, 1921.0, GraphColumns, -1},
      {960.0, 1920.0, 1440.0, GraphColumns, GraphLeft + GraphColumns / 2},
      {NaN, Inf, 1440.0, 0, -1},
  };
  for (const auto& c : cases) {
    view.selection[0] = c.start;
    view.selection[1] = c.end;
    engine.songPosition = c.position;
    Build();
    EXPECT_EQ(DrawnColumns(), c.drawn) << c.start << ".." << c.end << " at " << c.position;
    EXPECT_EQ(model.markerShown ? model.markerX : -1, c.markerX)
        << c.start << ".." << c.end << " at " << c.position;
  }
}

TEST_F(PaintModelTest, BarColourAlternatesEvery384TimesTheQuotient) {
  const struct {
    int32_t signature[3];
    int32_t tick;
    BarBrush brush;
  } cases[] = {
      {{4, 4, 0}, 383, BarBrush::White},    {{4, 4, 0}, 384, BarBrush::LightGray},
      {{4, 4, 0}, 767, BarBrush::LightGray}, {{4, 4, 0}, 768, BarBrush::White},
      {{8, 2, 0}, 1535, BarBrush::White},   {{8, 2, 0}, 1536, BarBrush::LightGray},
      // No signature yet, or bars per beat below one: counted as one.
      {{0, 0, 0}, 384, BarBrush::LightGray}, {{3, 4, 0}, 384, BarBrush::LightGray},
      {{-8, 2, 0}, 384, BarBrush::LightGray},
      {{std::numeric_limits<int32_t>::min(), -1, 0}, 384, BarBrush::White},
  };
  view.span = 0;
  for (const auto& c : cases) {
    std::memcpy(engine.timeSignature, c.signature, sizeof c.signature);
    engine.songPosition = c.tick;
    Build();
    ASSERT_TRUE(model.columns[0].drawn);
    EXPECT_EQ(model.columns[0].brush, c.brush) << c.signature[0] << "/" << c.signature[1];
  }
}

TEST_F(PaintModelTest, ShorterTicksStandTallerAndOddValuesStayInRange) {
  // A ramp: tick lengths falling along the window, so the bars rise.
  for (int32_t k = 0; k < MapTicks; ++k) engine.tickDurations[k] = Tick90 - k * 1e-8;
  engine.songPosition = 20000.0;
  Build();
  for (int i = 1; i < GraphColumns; ++i) {
    EXPECT_GE(model.columns[i].height, model.columns[i - 1].height);
  }
  EXPECT_LT(model.columns[GraphColumns - 1].height, GraphMaxBar);

  for (double odd : {Inf, -Inf, NaN, 1e300, -1e300}) {
    FillMap(Tick120);
    engine.tickDurations[19000] = odd;
    Build();
    for (const GraphColumn& c : model.columns) {
      EXPECT_GE(c.height, 0) << odd;
      EXPECT_LE(c.height, 100 * GraphMaxBar) << odd;
    }
  }
}

}  // namespace
}  // namespace tempotally::testing
