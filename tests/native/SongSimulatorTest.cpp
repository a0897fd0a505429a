// The song simulator that the sync checks rely on: tempo, exact time and the host's figures.
#include <gtest/gtest.h>

#include <cmath>

#include "devhost/SongSimulator.h"

namespace tempotally::song {
namespace {

// Midpoint rule for the seconds between two beats, independent of the closed form.
double Integrate(const TempoAutomation& song, double from, double to) {
  constexpr int Slices = 200000;
  const double width = (to - from) / Slices;
  double seconds = 0.0;
  for (int i = 0; i < Slices; ++i) seconds += 60.0 / song.BpmAt(from + (i + 0.5) * width) * width;
  return seconds;
}

TEST(TempoAutomationTest, DefaultSongHoldsStepsAndRamps) {
  const TempoAutomation song = TempoAutomation::DefaultSong();
  EXPECT_EQ(song.BpmAt(0.0), 120.0);
  EXPECT_EQ(song.BpmAt(31.999), 120.0);
  EXPECT_EQ(song.BpmAt(32.0), 90.0);
  EXPECT_EQ(song.BpmAt(64.0), 90.0);
  EXPECT_DOUBLE_EQ(song.BpmAt(96.0), 125.0);
  EXPECT_NEAR(song.BpmAt(127.999), 160.0, 0.01);
  EXPECT_EQ(song.BpmAt(128.0), 140.0);
  EXPECT_EQ(song.BpmAt(TempoAutomation::DefaultSongEndBeat), 140.0);
}

TEST(TempoAutomationTest, SecondsAreTheIntegralOfTheBeatLength) {
  const TempoAutomation song = TempoAutomation::DefaultSong();
  EXPECT_DOUBLE_EQ(song.SecondsAt(0.0), 0.0);
  EXPECT_DOUBLE_EQ(song.SecondsAt(32.0), 16.0);
  EXPECT_DOUBLE_EQ(song.SecondsAt(64.0), 16.0 + 32.0 * 60.0 / 90.0);
  for (double beat : {70.5, 100.0, 127.5, 128.0}) {
    EXPECT_NEAR(song.SecondsAt(beat) - song.SecondsAt(64.0), Integrate(song, 64.0, beat), 1e-9)
        << beat;
  }
  // Past the step at 128 (the midpoint rule would smear the step itself).
  for (double beat : {150.25, 200.0}) {
    EXPECT_NEAR(song.SecondsAt(beat) - song.SecondsAt(128.0), Integrate(song, 128.0, beat), 1e-9)
        << beat;
  }
}

TEST(TempoAutomationTest, PointsAreTakenInBeatOrderAndTheFirstTempoHoldsBeforeThem) {
  const TempoAutomation song({{8.0, 60.0, true}, {16.0, 120.0, false}, {4.0, 60.0, false}});
  EXPECT_EQ(song.BpmAt(0.0), 60.0);
  EXPECT_DOUBLE_EQ(song.BpmAt(12.0), 90.0);
  EXPECT_DOUBLE_EQ(song.SecondsAt(8.0), 8.0);
  EXPECT_NEAR(song.SecondsAt(16.0) - 8.0, Integrate(song, 8.0, 16.0), 1e-9);
}

TEST(SongSimulatorTest, ReportsTheHostsFiguresAndTheTruth) {
  SongSimulator sim(TempoAutomation::DefaultSong());
  sim.AdvanceTick();
  EXPECT_EQ(sim.PositionTicks(), 0.0);  // stopped: the transport stands still
  sim.Start();
  EXPECT_TRUE(sim.Playing());
  sim.AdvanceTick();
  EXPECT_EQ(sim.PositionTicks(), 1.0);

  sim.JumpTo(64.0 * TicksPerBeat);
  // The host assumes 90 BPM since the song began; the truth had 32 beats at 120 first.
  EXPECT_DOUBLE_EQ(sim.HostTimeMs(), 64.0 * 60.0 / 90.0 * 1000.0);
  EXPECT_DOUBLE_EQ(sim.TrueSeconds(), 16.0 + 32.0 * 60.0 / 90.0);
  EXPECT_DOUBLE_EQ(sim.TickSecondsAt(sim.PositionTicks()), 60.0 / (90.0 * TicksPerBeat));
  sim.Stop();
  EXPECT_FALSE(sim.Playing());
}

}  // namespace
}  // namespace tempotally::song
