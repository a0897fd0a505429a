#include "plugin/TCPPFruityPlug.h"

namespace tempotally {

namespace {

// With nothing to pass it on to, a slot does nothing and answers 0; slot 6 its second argument.
template <int Slot, typename Result, typename... Words>
Result Unanswered(Words... words) {
  if constexpr (Slot == 6) {
    const TWord all[] = {words...};
    return static_cast<Result>(all[1]);
  } else {
    ((void)words, ...);
    return Result();
  }
}

}  // namespace

TCPPFruityPlug::TCPPFruityPlug(TFruityPlugHost* hostObject, int32_t tag) : host(hostObject, tag) {
  instanceTag = tag;
  host.Created();
}

void __stdcall TCPPFruityPlug::Release() { Destroy(DestroyFreesMemory); }
int32_t __stdcall TCPPFruityPlug::Dispatch(int32_t, int32_t, TWord) { return 0; }

#define TEMPOTALLY_FORWARD_SLOT(slot, Result, Name, Params, Args)                \
  Result __stdcall TCPPFruityPlug::Name Params {                                 \
    return videoBridge ? videoBridge->Name Args : Unanswered<slot, Result> Args; \
  }
TEMPOTALLY_PLUG_SLOTS(TEMPOTALLY_FORWARD_SLOT)
#undef TEMPOTALLY_FORWARD_SLOT

}  // namespace tempotally
