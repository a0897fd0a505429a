#include "plugin/TCPPFruityPlug.h"

namespace tempotally {

TCPPFruityPlug::TCPPFruityPlug(TFruityPlugHost* hostObject, int32_t tag) : host(hostObject, tag) {
  instanceTag = tag;
  host.Created();
}

void __stdcall TCPPFruityPlug::Release() { Destroy(DestroyFreesMemory); }
int32_t __stdcall TCPPFruityPlug::Dispatch(int32_t, int32_t, TWord) { return 0; }
void __stdcall TCPPFruityPlug::Call2() {}
void __stdcall TCPPFruityPlug::SaveRestoreState(IStream*, int32_t) {}
void __stdcall TCPPFruityPlug::Call4(TWord, TWord, TWord, TWord) {}
int32_t __stdcall TCPPFruityPlug::Call5(TWord, TWord, TWord) { return 0; }
// 6: answers its second argument.
int32_t __stdcall TCPPFruityPlug::Call6(TWord, TWord b, TWord) { return static_cast<int32_t>(b); }
void __stdcall TCPPFruityPlug::Call7(TWord, TWord, TWord) {}
void __stdcall TCPPFruityPlug::Call8(TWord, TWord) {}
int32_t __stdcall TCPPFruityPlug::Call9(TWord, TWord) { return 0; }
void __stdcall TCPPFruityPlug::Call10(TWord) {}
void __stdcall TCPPFruityPlug::Call11(TWord) {}
int32_t __stdcall TCPPFruityPlug::Call12(TWord, TWord, TWord, TWord) { return 0; }
int32_t __stdcall TCPPFruityPlug::Render(TWord, float*, int32_t*) { return 0; }
void __stdcall TCPPFruityPlug::Tick() {}
void __stdcall TCPPFruityPlug::Call15() {}
void __stdcall TCPPFruityPlug::Call16(TWord) {}
void __stdcall TCPPFruityPlug::Call17(TWord) {}

}  // namespace tempotally
