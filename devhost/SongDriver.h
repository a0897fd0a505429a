// Drives a plug-in through a song as a host's transport would: the transport and song position
// notifications, and one per-tick call per tick, with the test host answering from the song.
#pragma once

#include <cstdint>
#include <functional>

#include "devhost/RawPlug.h"

namespace tempotally::song {
class SongSimulator;
}

namespace tempotally::testhost {

class TestHost;

// What the host reported on one per-tick call.
struct TickReport {
  double positionTicks = 0.0;
  double hostTimeMs = 0.0;
  bool playing = false;
};

class SongDriver {
 public:
  // Makes `host` answer from `song` for as long as this driver lives.
  SongDriver(TestHost& host, RawPlug plug, song::SongSimulator& song);
  ~SongDriver();
  SongDriver(const SongDriver&) = delete;
  SongDriver& operator=(const SongDriver&) = delete;

  // Dispatch id 12 with value 1.
  void Start();
  // Dispatch id 12 with value 0.
  void Stop();
  // Moves the song and sends dispatch id 13.
  void JumpTo(double ticks);

  // One per-tick call at the song's position; the song then advances when it plays.
  TickReport Tick();
  // Per-tick calls while stopped: the position stays where it is.
  void IdleTicks(int count);
  // Ticks until the song reaches `endTicks`, calling `afterTick` after every one.
  void PlayUntil(double endTicks, const std::function<void(const TickReport&)>& afterTick);

 private:
  TestHost& host_;
  RawPlug plug_;
  song::SongSimulator& song_;
};

}  // namespace tempotally::testhost
