// The engine lock of the plug-in DLL: a slim reader/writer lock taken exclusively. It needs no
// set-up or teardown, costs one interlocked operation when free, and never spins for long.
#pragma once

#include <windows.h>

#include "timeline/EngineLock.h"

namespace tempotally {

class SrwEngineLock final : public EngineLock {
 public:
  void Acquire() override { AcquireSRWLockExclusive(&lock_); }
  void Release() override { ReleaseSRWLockExclusive(&lock_); }

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
};

}  // namespace tempotally
