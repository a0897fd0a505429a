// The host's plug-in interface (TFruityPlug) and host interface (TFruityPlugHost), as the host and
// the wrapped video player see them. Both sides are built by other compilers and call by slot index:
// every operation is stdcall with the object first, and the public data sits at fixed byte offsets
// right after the table pointer. Nothing here may change order or size.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <cstddef>
#include <cstdint>

namespace tempotally {

// A 32-bit argument word: an integer, a handle or a pointer.
using TWord = intptr_t;
static_assert(sizeof(TWord) == 4, "the interface is 32-bit");

constexpr int PublicReservedWords = 34;  // host-layout words after editorWindow
constexpr int HostPublicWords = 47;      // public data words of every host object

// Flags of PluginInfo.
constexpr int32_t PluginFlagWantsTick = 0x20;  // the instance wants the per-tick call (slot 14)

// The info record every plug-in instance points to.
struct PluginInfo {
  int32_t version;
  const char* longName;
  const char* shortName;
  int32_t flags;
  int32_t reserved[PublicReservedWords];
};
static_assert(offsetof(PluginInfo, longName) == 4 && offsetof(PluginInfo, flags) == 12, "layout");

// Host dispatch ids (TFruityPlugHost slot 0) that this system sends or answers.
namespace HostId {
constexpr int32_t EditorResized = 2;      // the plug-in resized its editor window
constexpr int32_t SetCaption = 10;        // value: NUL-terminated caption text
constexpr int32_t EnableSlot2 = 13;       // value 1 enables slot 2 calls, anything else disables
constexpr int32_t Consumed23 = 23;        // answered locally by the bridge, never passed on
constexpr int32_t Created = 29;           // sent once at construction
constexpr int32_t SongTime = 36;          // value: 16-byte record; first double is the time in ms
constexpr int32_t Selection = 38;         // value: two doubles, start and end in beats
constexpr int32_t TickInfo = 39;          // value: 16-byte record, filled on every tick
}  // namespace HostId

// Plug-in dispatch ids (TFruityPlug slot 1) that this system sends or handles.
namespace PlugId {
constexpr int32_t ShowEditor = 0;     // value: parent window, or 0 to hide
constexpr int32_t Withheld5 = 5;      // never passed on to the wrapped player
constexpr int32_t Transport = 12;     // value 1: playing
constexpr int32_t SongPosition = 13;  // the song position changed
constexpr int32_t TimeSignature = 14; // value: address of three int32
constexpr int32_t WindowClosed = 53;  // the video window was closed (hidden)
constexpr int32_t WindowResized = 55; // the video window was resized
}  // namespace PlugId

class TFruityPlugHost;

// The plug-in object as the host sees it. Slots 0..18 in this order; the host owns the object
// until it calls Release. All calls arrive on the host's threads; the editor lives on the thread
// that created the object.
class TFruityPlug {
 public:
  // 0: the object releases everything it holds and frees itself. Nothing may touch it afterwards.
  virtual void __stdcall Release() = 0;
  // 1: dispatch (id, index, value); the result's meaning depends on the id.
  virtual int32_t __stdcall Dispatch(int32_t id, int32_t index, TWord value) = 0;
  // 2: no arguments, no result.
  virtual void __stdcall Call2() = 0;
  // 3: saves state into the stream when `save` is non-zero, else restores from it. The stream
  //    belongs to the host.
  virtual void __stdcall SaveRestoreState(IStream* stream, int32_t save) = 0;
  // 4 to 12: passed through to the wrapped player; their meanings belong to the host.
  virtual void __stdcall Call4(TWord a, TWord b, TWord c, TWord d) = 0;
  virtual int32_t __stdcall Call5(TWord a, TWord b, TWord c) = 0;
  virtual int32_t __stdcall Call6(TWord a, TWord b, TWord c) = 0;
  virtual void __stdcall Call7(TWord a, TWord b, TWord c) = 0;
  virtual void __stdcall Call8(TWord a, TWord b) = 0;
  virtual int32_t __stdcall Call9(TWord a, TWord b) = 0;
  virtual void __stdcall Call10(TWord a) = 0;
  virtual void __stdcall Call11(TWord a) = 0;
  virtual int32_t __stdcall Call12(TWord a, TWord b, TWord c, TWord d) = 0;
  // 13: render into `frameCount` frames of two floats at `buffer`; the host owns both.
  virtual int32_t __stdcall Render(TWord word, float* buffer, int32_t* frameCount) = 0;
  // 14: the per-tick call of the host's transport.
  virtual void __stdcall Tick() = 0;
  // 15 to 17: passed through to the wrapped player.
  virtual void __stdcall Call15() = 0;
  virtual void __stdcall Call16(TWord a) = 0;
  virtual void __stdcall Call17(TWord a) = 0;
  // 18: the destructor. Bit 0 of `flags` also frees the memory. Returns the object. Declared as a
  //     plain slot: a C++ virtual destructor would take two table entries under GCC.
  virtual TFruityPlug* __stdcall Destroy(uint32_t flags) = 0;

  int32_t instanceTag = 0;             // offset 4: the tag given to CreatePlugInstance
  const PluginInfo* pluginInfo = nullptr;  // offset 8
  HWND editorWindow = nullptr;         // offset 12: the editor window, null when none
  int32_t hostReserved[PublicReservedWords] = {};  // the host's; zero from construction on

 protected:
  TFruityPlug() = default;
  ~TFruityPlug() = default;
};

constexpr int PlugSlotCount = 19;

// The host object as a plug-in sees it: slots 0..37, then 47 words of public data. Arguments are
// 32-bit words unless declared float (passed as 32-bit floats, never widened).
class TFruityPlugHost {
 public:
  // 0: host dispatch (tag, id, index, value). The tag is the caller's instanceTag.
  virtual int32_t __stdcall HostDispatch(int32_t tag, int32_t id, int32_t index, TWord value) = 0;
  virtual void __stdcall HostCall1(TWord a, TWord b, TWord c) = 0;
  virtual void __stdcall HostCall2(TWord a, TWord b) = 0;
  virtual void __stdcall HostCall3(TWord a, TWord b, TWord c, float d) = 0;
  virtual void __stdcall HostCall4(TWord a) = 0;
  virtual void __stdcall HostCall5(TWord a, TWord b) = 0;
  virtual int32_t __stdcall HostCall6(TWord a, TWord b, TWord c, TWord d) = 0;
  virtual void __stdcall HostCall7() = 0;
  virtual void __stdcall HostCall8() = 0;
  virtual void __stdcall HostCall9(TWord a, TWord b) = 0;
  virtual void __stdcall HostCall10(TWord a, TWord b) = 0;
  virtual void __stdcall HostCall11(TWord a, TWord b, TWord c, float d, float e, TWord f,
                                    TWord g) = 0;
  virtual void __stdcall HostCall12(TWord a, TWord b, TWord c, float d, float e, TWord f,
                                    TWord g) = 0;
  virtual bool __stdcall HostCall13(TWord a, TWord b, TWord c, TWord d) = 0;
  virtual int32_t __stdcall HostCall14(TWord a, TWord b) = 0;
  virtual void __stdcall HostCall15(TWord a) = 0;
  virtual int32_t __stdcall HostCall16() = 0;
  // 17: the song position in ticks.
  virtual double __stdcall SongPosition() = 0;
  virtual double __stdcall HostCall18() = 0;
  virtual void __stdcall HostCall19(TWord a, TWord b, TWord c) = 0;
  virtual int32_t __stdcall HostCall20(TWord a) = 0;
  virtual void __stdcall HostCall21(TWord a, TWord b) = 0;
  virtual void __stdcall HostCall22(TWord a, TWord b) = 0;
  virtual void __stdcall HostCall23(TWord a, TWord b) = 0;
  virtual void __stdcall HostCall24(TWord a, TWord b, TWord c, TWord d, float e, float f,
                                    float g) = 0;
  virtual int32_t __stdcall HostCall25(TWord a) = 0;
  virtual int32_t __stdcall HostCall26(TWord a, TWord b) = 0;
  virtual bool __stdcall HostCall27(TWord a, TWord b, TWord c, TWord d, TWord e) = 0;
  virtual void __stdcall HostCall28() = 0;
  virtual void __stdcall HostCall29() = 0;
  virtual void __stdcall HostCall30(TWord a, TWord b, TWord c) = 0;
  virtual void __stdcall HostCall31(TWord a, TWord b, float c, float d) = 0;
  virtual void __stdcall HostCall32(TWord a) = 0;
  virtual void __stdcall HostCall33(TWord a) = 0;
  virtual void __stdcall HostCall34() = 0;
  virtual void __stdcall HostCall35() = 0;
  virtual void __stdcall HostCall36(TWord a, TWord b, TWord c) = 0;
  // 37: arguments and result are the host's; a forwarder passes them on untouched.
  virtual void __stdcall HostCall37() = 0;

  int32_t hostPublic[HostPublicWords];  // offset 4

 protected:
  TFruityPlugHost() = default;
  ~TFruityPlugHost() = default;
};

constexpr int HostSlotCount = 38;

}  // namespace tempotally

// The public data offsets that the host and the wrapped player read directly. offsetof on these
// polymorphic classes is well defined under GCC (no virtual bases); its warning is for portability.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(offsetof(tempotally::TFruityPlug, instanceTag) == 4, "instanceTag at 4");
static_assert(offsetof(tempotally::TFruityPlug, pluginInfo) == 8, "pluginInfo at 8");
static_assert(offsetof(tempotally::TFruityPlug, editorWindow) == 12, "editorWindow at 12");
static_assert(sizeof(tempotally::TFruityPlug) == 16 + 4 * tempotally::PublicReservedWords,
              "34 host words follow editorWindow");
static_assert(offsetof(tempotally::TFruityPlugHost, hostPublic) == 4, "host data at 4");
static_assert(sizeof(tempotally::TFruityPlugHost) == 4 + 4 * tempotally::HostPublicWords,
              "47 words of host data");
#pragma GCC diagnostic pop
