// The engine operations of the plug-in's host calls and editor, each done whole under the
// object's engine lock. The callers talk to the host, the stream and the windows before and
// after, with the values these hand in and out, never while the lock is held.
#pragma once

#include <cstdint>

#include "timeline/EngineLock.h"
#include "timeline/StateCodec.h"
#include "timeline/TimelineEngine.h"

namespace tempotally {

// What the host reported at the start of one per-tick call.
struct HostTickReport {
  bool fromHost = false;  // without a host the engine keeps its last position
  double position = 0.0;  // ticks
  double hostTime[2] = {0.0, 0.0};
};

struct TickOutcome {
  bool repaint = false;       // a change was recorded or the shown tick moved on
  double videoTimeMs = 0.0;   // the elapsed time at the new current tick, when asked for
};

// The engine's share of the per-tick call: takes the host's figures, records the tick and, when
// `wantVideoTime`, sums the map up to the new current tick.
TickOutcome LockedTick(EngineLock& lock, TimelineEngine& engine, const HostTickReport& report,
                       bool wantVideoTime);

// RefreshDisplayTime; returns the seconds to show.
double LockedRefresh(EngineLock& lock, TimelineEngine& engine);

// The options and the video window's placement, copied out for the window calls that follow.
struct EngineOptions {
  uint8_t video, videoontop, freeze, lookahead, optimise, selection, minimised;
  int32_t winleft, wintop, winwidth, winheight;
};
EngineOptions CopyOptions(const TimelineEngine& engine);  // caller holds the lock
EngineOptions LockedOptions(EngineLock& lock, const TimelineEngine& engine);

// Saving: the video window's current placement into the engine, then the state in pieces.
void LockedSetPlacement(EngineLock& lock, TimelineEngine& engine, int32_t left, int32_t top,
                        int32_t width, int32_t height);
uint32_t LockedEncode(EngineLock& lock, const TimelineEngine& engine, StateEncoder& encoder,
                      uint8_t* out, uint32_t capacity);

// Restoring: `restored` was filled by RestoreState outside the lock; its map, options and
// placement replace the engine's (whose beat cache starts empty), and its arrays take the old
// ones, to be freed with it. Returns the new options.
EngineOptions LockedAdopt(EngineLock& lock, TimelineEngine& engine, TimelineEngine& restored);

}  // namespace tempotally
