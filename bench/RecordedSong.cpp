// The recorded song that the benchmarks play.
#include "bench/RecordedSong.h"

#include "devhost/SongSimulator.h"

namespace tempotally {

const std::vector<double>& RecordedSong() {
  static const std::vector<double> map = [] {
    TimelineEngine engine;
    engine.Allocate();
    engine.ResetState();
    song::SongSimulator sim(song::TempoAutomation::DefaultSong());
    sim.Start();
    engine.OnTransport(TransportPlaying);
    const double end = song::TempoAutomation::DefaultSongEndBeat * TicksPerBeat;
    while (sim.PositionTicks() < end) {
      engine.hostTime[0] = sim.HostTimeMs();
      engine.RecordTick(sim.PositionTicks());
      sim.AdvanceTick();
    }
    engine.ElapsedSeconds(1, StepEveryTick);  // settles tick 0
    return std::vector<double>(engine.tickDurations, engine.tickDurations + MapTicks);
  }();
  return map;
}

namespace {

std::vector<double> HostTimes(int32_t first, int32_t end) {
  std::vector<double> hostMs;
  song::SongSimulator sim(song::TempoAutomation::DefaultSong());
  for (int32_t tick = first; tick < end; ++tick) {
    sim.JumpTo(tick);
    hostMs.push_back(sim.HostTimeMs());
  }
  return hostMs;
}

}  // namespace

std::vector<double> SteadyHostTimes() { return HostTimes(SteadyFirstTick, SteadyEndTick); }

std::vector<double> RampHostTimes() { return HostTimes(RampFirstTick, RampEndTick); }

}  // namespace tempotally
