// The engine's guarded operations.
#include "timeline/LockedEngine.h"

#include <utility>

namespace tempotally {

TickOutcome LockedTick(EngineLock& lock, TimelineEngine& engine, const HostTickReport& report,
                       bool wantVideoTime) {
  EngineGuard guard(lock);
  engine.hostTime[0] = report.hostTime[0];
  engine.hostTime[1] = report.hostTime[1];
  const bool changed = engine.RecordTick(report.fromHost ? report.position : engine.songPosition);
  TickOutcome outcome;
  if (wantVideoTime) {
    outcome.videoTimeMs =
        engine.ElapsedSeconds(engine.currentTick, engine.optimise) * MillisecondsPerSecond;
  }
  outcome.repaint = changed || engine.paintedTick != engine.currentTick;
  return outcome;
}

double LockedRefresh(EngineLock& lock, TimelineEngine& engine) {
  EngineGuard guard(lock);
  engine.RefreshDisplayTime();
  return engine.displaySeconds;
}

EngineOptions CopyOptions(const TimelineEngine& engine) {
  return {engine.video,     engine.videoontop, engine.freeze,  engine.lookahead,
          engine.optimise,  engine.selection,  engine.minimised, engine.winleft,
          engine.wintop,    engine.winwidth,   engine.winheight};
}

EngineOptions LockedOptions(EngineLock& lock, const TimelineEngine& engine) {
  EngineGuard guard(lock);
  return CopyOptions(engine);
}

void LockedSetPlacement(EngineLock& lock, TimelineEngine& engine, int32_t left, int32_t top,
                        int32_t width, int32_t height) {
  EngineGuard guard(lock);
  engine.winleft = left;
  engine.wintop = top;
  engine.winwidth = width;
  engine.winheight = height;
}

uint32_t LockedEncode(EngineLock& lock, const TimelineEngine& engine, StateEncoder& encoder,
                      uint8_t* out, uint32_t capacity) {
  EngineGuard guard(lock);
  return encoder.Encode(engine, out, capacity);
}

EngineOptions LockedAdopt(EngineLock& lock, TimelineEngine& engine, TimelineEngine& restored) {
  EngineGuard guard(lock);
  if (restored.tickDurations != nullptr && engine.tickDurations != nullptr) {
    std::swap(engine.tickDurations, restored.tickDurations);
  }
  engine.InvalidateBeatSums(-1);  // the whole cache belonged to the old map
  engine.video = restored.video;
  engine.videoontop = restored.videoontop;
  engine.freeze = restored.freeze;
  engine.lookahead = restored.lookahead;
  engine.optimise = restored.optimise;
  engine.selection = restored.selection;
  engine.minimised = restored.minimised;
  engine.winleft = restored.winleft;
  engine.wintop = restored.wintop;
  engine.winwidth = restored.winwidth;
  engine.winheight = restored.winheight;
  return CopyOptions(engine);
}

}  // namespace tempotally
