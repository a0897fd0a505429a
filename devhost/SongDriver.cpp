// The transport loop of the test host.
#include "devhost/SongDriver.h"

#include "devhost/TestHost.h"
#include "devhost/SongSimulator.h"

namespace tempotally::testhost {

namespace {
constexpr int32_t TransportStart = 1;
constexpr int32_t TransportStop = 0;
}  // namespace

SongDriver::SongDriver(TestHost& host, RawPlug plug, song::SongSimulator& song)
    : host_(host), plug_(plug), song_(song) {
  host_.FollowSong(&song_);
}

SongDriver::~SongDriver() { host_.FollowSong(nullptr); }

void SongDriver::Start() {
  song_.Start();
  plug_.Dispatch(PlugIdTransport, 0, TransportStart);
}

void SongDriver::Stop() {
  song_.Stop();
  plug_.Dispatch(PlugIdTransport, 0, TransportStop);
}

void SongDriver::JumpTo(double ticks) {
  song_.JumpTo(ticks);
  plug_.Dispatch(PlugIdSongPosition, 0, 0);
}

TickReport SongDriver::Tick() {
  TickReport report;
  report.positionTicks = song_.PositionTicks();
  report.hostTimeMs = song_.HostTimeMs();
  report.playing = song_.Playing();
  plug_.Tick();
  song_.AdvanceTick();
  return report;
}

void SongDriver::IdleTicks(int count) {
  for (int i = 0; i < count; ++i) plug_.Tick();
}

void SongDriver::PlayUntil(double endTicks,
                           const std::function<void(const TickReport&)>& afterTick) {
  while (song_.Playing() && song_.PositionTicks() < endTicks) {
    const TickReport report = Tick();
    if (afterTick) afterTick(report);
  }
}

}  // namespace tempotally::testhost
