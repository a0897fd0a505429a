// The base layer between the host's interface and the plug-in: it keeps the host and the tag, greets
// the host, and gives every slot the behaviour a plug-in has when there is nothing to pass a call on to.
#pragma once

#include "plugin/FruityPlugInterface.h"

namespace tempotally {

class TCPPFruityPlug : public TFruityPlug {
 public:
  // 0: ends the object through the destructor slot with the free flag.
  void __stdcall Release() override;
  int32_t __stdcall Dispatch(int32_t id, int32_t index, TWord value) override;
  void __stdcall Call2() override;
  void __stdcall SaveRestoreState(IStream* stream, int32_t save) override;
  void __stdcall Call4(TWord a, TWord b, TWord c, TWord d) override;
  int32_t __stdcall Call5(TWord a, TWord b, TWord c) override;
  // 6: answers its second argument.
  int32_t __stdcall Call6(TWord a, TWord b, TWord c) override;
  void __stdcall Call7(TWord a, TWord b, TWord c) override;
  void __stdcall Call8(TWord a, TWord b) override;
  int32_t __stdcall Call9(TWord a, TWord b) override;
  void __stdcall Call10(TWord a) override;
  void __stdcall Call11(TWord a) override;
  int32_t __stdcall Call12(TWord a, TWord b, TWord c, TWord d) override;
  int32_t __stdcall Render(TWord word, float* buffer, int32_t* frameCount) override;
  void __stdcall Tick() override;
  void __stdcall Call15() override;
  void __stdcall Call16(TWord a) override;
  void __stdcall Call17(TWord a) override;
  TFruityPlug* __stdcall Destroy(uint32_t flags) override;

  TFruityPlugHost* host = nullptr;  // not owned

 protected:
  // Keeps the tag and the host and sends the host its construction notice (dispatch id 29).
  TCPPFruityPlug(TFruityPlugHost* hostObject, int32_t tag);
  ~TCPPFruityPlug() = default;
};

// Bit 0 of the destructor's flags: also free the memory.
constexpr uint32_t DestroyFreesMemory = 1;

}  // namespace tempotally
