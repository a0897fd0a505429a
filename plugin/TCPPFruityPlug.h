// The base layer: keeps the host and the tag, greets the host, and passes slots 2 to 17 on through
// the bridge's player proxy, or without a bridge gives each the behaviour of a plug-in with
// nothing to pass calls on to. The plug-in object overrides only the slots it handles itself.
#pragma once

#include <memory>

#include "abi/FruityPlugInterface.h"
#include "bridge/TFruityBridgePlugHost.h"
#include "plugin/HostProxy.h"

namespace tempotally {

class TCPPFruityPlug : public TFruityPlug {
 public:
  // 0: ends the object through the destructor slot, the plug-in object's own, with the free flag.
  void __stdcall Release() override;
  int32_t __stdcall Dispatch(int32_t id, int32_t index, TWord value) override;
  TEMPOTALLY_PLUG_SLOTS(TEMPOTALLY_OVERRIDE_SLOT)

  HostProxy host;  // the host is not owned
  // Null without a video player. Ends after the rest of the object, with the window and module.
  std::unique_ptr<TFruityBridgePlugHost> videoBridge;

 protected:
  // Keeps the tag and the host and sends the host its construction notice (dispatch id 29).
  TCPPFruityPlug(TFruityPlugHost* hostObject, int32_t tag);
  ~TCPPFruityPlug() = default;
};

// Bit 0 of the destructor's flags: also free the memory.
constexpr uint32_t DestroyFreesMemory = 1;

}  // namespace tempotally
