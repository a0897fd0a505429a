// The plug-in's slots 2 to 17 passed on to the wrapped player through the bridge, generated from
// the interface's slot list: with a bridge each returns what the player's proxy returns, without
// one the base layer's default. The plug-in object overrides only the slots it handles itself.
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

  // Null without a video player. Ends after everything of the plug-in object built on this base,
  // taking the video window and the player's module with it.
  std::unique_ptr<TFruityBridgePlugHost> videoBridge;

 protected:
  using TCPPFruityPlug::TCPPFruityPlug;
  ~ForwardingPlug() = default;
};

}  // namespace tempotally
