// The plug-in's slots 2 to 17 passed on through the bridge's player proxy, or without a bridge
// the base layer's default. The plug-in object overrides only the slots it handles itself.
#pragma once

#include <memory>

#include "bridge/TFruityBridgePlugHost.h"
#include "plugin/TCPPFruityPlug.h"

namespace tempotally {

class ForwardingPlug : public TCPPFruityPlug {
 public:
#define TEMPOTALLY_FORWARD_SLOT(slot, Result, Name, Params, Args)            \
  Result __stdcall Name Params override {                                    \
    return videoBridge ? videoBridge->Name Args : TCPPFruityPlug::Name Args; \
  }
  TEMPOTALLY_PLUG_SLOTS(TEMPOTALLY_FORWARD_SLOT)
#undef TEMPOTALLY_FORWARD_SLOT

  // Null without a video player. Ends after the rest of the object, with the window and module.
  std::unique_ptr<TFruityBridgePlugHost> videoBridge;

 protected:
  using TCPPFruityPlug::TCPPFruityPlug;
  ~ForwardingPlug() = default;
};

}  // namespace tempotally
