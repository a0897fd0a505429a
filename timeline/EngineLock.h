// The lock that lets one thread at a time use a plug-in object's engine state.
//
// The host calls the per-tick slot on its mixing thread and everything else (dispatch, the state
// call, the editor's messages) on its window thread. Every read or write of the object's
// TimelineEngine, the map and the beat cache as much as the options, the transport fields and the
// display fields, happens inside an EngineGuard on the object's engineLock:
//
//   {
//     EngineGuard guard(plug->engineLock);
//     plug->timeline.RefreshDisplayTime();
//     model.seconds = plug->timeline.displaySeconds;  // copy out what the caller needs
//   }
//   ... draw, call the host or touch windows with the copies ...
//
// Rules:
// - Keep the guarded block short: copy values in or out, run the engine, leave.
// - Never call the host, the wrapped player, an IStream or a window function (SetWindowPos,
//   ShowWindow, SendMessage, DestroyWindow, ...) while holding it: any of them can call back into
//   the plug-in on this thread (the lock is not recursive) or wait for a thread that waits for it.
// - Never take it twice on one thread.
#pragma once

#include <mutex>

namespace tempotally {

class EngineLock {
 public:
  virtual void Acquire() = 0;
  virtual void Release() = 0;

 protected:
  ~EngineLock() = default;
};

// Holds `lock` for its own lifetime.
class EngineGuard {
 public:
  explicit EngineGuard(EngineLock& lock) : lock_(lock) { lock_.Acquire(); }
  ~EngineGuard() { lock_.Release(); }
  EngineGuard(const EngineGuard&) = delete;
  EngineGuard& operator=(const EngineGuard&) = delete;

 private:
  EngineLock& lock_;
};

// The standard library's mutex, for the engine's native builds and tests. The plug-in DLL uses a
// slim reader/writer lock of the platform instead (plugin/SrwEngineLock.h).
class StdEngineLock final : public EngineLock {
 public:
  void Acquire() override { mutex_.lock(); }
  void Release() override { mutex_.unlock(); }

 private:
  std::mutex mutex_;
};

}  // namespace tempotally
