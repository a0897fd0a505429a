// The base layer: keeps the host and the tag, greets the host, and gives every slot the behaviour
// of a plug-in with nothing to pass calls on to.
#pragma once

#include "abi/FruityPlugInterface.h"
#include "plugin/HostProxy.h"

namespace tempotally {

class TCPPFruityPlug : public TFruityPlug {
 public:
  // 0: ends the object through the destructor slot, the plug-in object's own, with the free flag.
  void __stdcall Release() override;
  int32_t __stdcall Dispatch(int32_t id, int32_t index, TWord value) override;
  TEMPOTALLY_PLUG_SLOTS(TEMPOTALLY_OVERRIDE_SLOT)

  HostProxy host;  // the host is not owned

 protected:
  // Keeps the tag and the host and sends the host its construction notice (dispatch id 29).
  TCPPFruityPlug(TFruityPlugHost* hostObject, int32_t tag);
  ~TCPPFruityPlug() = default;
};

// Bit 0 of the destructor's flags: also free the memory.
constexpr uint32_t DestroyFreesMemory = 1;

}  // namespace tempotally
