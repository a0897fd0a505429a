// The real host as the plug-in calls it: one typed call per request, sent with the plug-in's tag,
// and the one null test: without a host the calls do nothing. The caller owns and zeroes the
// records the host fills. Each call's thread is the interface's (abi/FruityPlugInterface.h).
#pragma once

#include <cstdint>

#include "abi/FruityPlugInterface.h"

namespace tempotally {

constexpr int HostRecordBytes = 16;  // the records the host fills for ids 36 and 39

class HostProxy {
 public:
  HostProxy(TFruityPlugHost* host, int32_t tag) : host_(host), tag_(tag) {}

  TFruityPlugHost* Object() const { return host_; }

  // Slot 17: the song position in ticks into `position`. False, and nothing asked, without a host.
  bool SongPosition(double& position) {
    if (!host_) return false;
    position = host_->SongPosition();
    return true;
  }
  // Id 36: the song time; the record's first double is the time in milliseconds.
  void SongTime(double (&record)[2]) { Dispatch(HostId::SongTime, 1, record); }
  // Id 39: filled on every tick and not read further.
  void TickInfo(uint8_t (&record)[HostRecordBytes]) { Dispatch(HostId::TickInfo, 1, record); }
  // Id 38: the selection's start and end in beats, left as they were by a host that ignores it.
  void Selection(double* beats) { Dispatch(HostId::Selection, 0, beats); }
  // Id 2: the plug-in resized its editor window.
  void EditorResized() { Dispatch(HostId::EditorResized, 0, nullptr); }
  // Id 29: sent once, as the plug-in is made.
  void Created() { Dispatch(HostId::Created, 0, nullptr); }

 private:
  // The answers to these ids are not used.
  void Dispatch(int32_t id, int32_t index, void* record) {
    if (host_) host_->HostDispatch(tag_, id, index, reinterpret_cast<TWord>(record));
  }

  TFruityPlugHost* host_;
  int32_t tag_;
};

}  // namespace tempotally
