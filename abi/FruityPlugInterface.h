// The host's plug-in interface (TFruityPlug) and host interface (TFruityPlugHost). Both sides are
// built by other compilers and call by slot index: every operation is stdcall with the object
// first, and the public data sits at fixed byte offsets after the table. Nothing may move.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <objidl.h>

#include <cstddef>
#include <cstdint>

namespace tempotally {

// A 32-bit argument word: an integer, a handle or a pointer.
using TWord = intptr_t;
static_assert(sizeof(TWord) == 4, "the interface is 32-bit");

constexpr int PublicReservedWords = 34;  // host-layout words after editorWindow
constexpr int HostPublicWords = 47;      // public data words of every host object

constexpr int32_t PluginFlagWantsTick = 0x20;  // PluginInfo flag: wants the per-tick call (slot 14)

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
constexpr int32_t EditorResized = 2;  // the plug-in resized its editor window
constexpr int32_t SetCaption = 10;    // value: NUL-terminated caption text
constexpr int32_t EnableSlot2 = 13;   // value 1 enables slot 2 calls, anything else disables
constexpr int32_t Consumed23 = 23;    // answered locally by the bridge, never passed on
constexpr int32_t Created = 29;       // sent once at construction
constexpr int32_t SongTime = 36;      // value: 16-byte record; first double is the time in ms
constexpr int32_t Selection = 38;     // value: two doubles, start and end in beats
constexpr int32_t TickInfo = 39;      // value: 16-byte record, filled on every tick
}  // namespace HostId

// Plug-in dispatch ids (TFruityPlug slot 1) that this system sends or handles.
namespace PlugId {
constexpr int32_t ShowEditor = 0;      // value: parent window, or 0 to hide
constexpr int32_t Withheld5 = 5;       // never passed on to the wrapped player
constexpr int32_t Transport = 12;      // value 1: playing
constexpr int32_t SongPosition = 13;   // the song position changed
constexpr int32_t TimeSignature = 14;  // value: address of three int32
constexpr int32_t WindowClosed = 53;   // the video window was closed (hidden)
constexpr int32_t WindowResized = 55;  // the video window was resized
}  // namespace PlugId

// Each slot below says what it means and returns, who owns what it is given, and its thread. The
// host ticks on its mixing thread and calls nearly all else on its window thread, but may call any
// slot on any thread: "window thread" is what this plug-in handles best, "mixing thread" that the
// call must never wait.

// The plug-in slots 2 to 17 as one list, in slot order: X(slot, result, name, (parameters),
// (arguments)). The interface, the plug-in's base layer and the bridge's forwarders are generated
// from it; slots 0, 1 and 18 are written out where they differ.
#define TEMPOTALLY_PLUG_SLOTS(X)                                                                 \
  /* 2: no arguments, no result. Any thread; passed on to the wrapped player on the same one. */ \
  X(2, void, Call2, (), ())                                                                      \
  /* 3: saves state into the stream when `save` is non-zero, else restores from it. The stream   \
     belongs to the host and is used only during the call. Window thread (or whichever thread    \
     the host saves on); never inside a per-tick call. */                                        \
  X(3, void, SaveRestoreState, (IStream * stream, int32_t save), (stream, save))                 \
  /* 4 to 12: meanings and results belong to the host; passed through to the wrapped player.     \
     Any thread; the player is called on the same one. */                                        \
  X(4, void, Call4, (TWord a, TWord b, TWord c, TWord d), (a, b, c, d))                          \
  X(5, int32_t, Call5, (TWord a, TWord b, TWord c), (a, b, c))                                   \
  X(6, int32_t, Call6, (TWord a, TWord b, TWord c), (a, b, c))                                   \
  X(7, void, Call7, (TWord a, TWord b, TWord c), (a, b, c))                                      \
  X(8, void, Call8, (TWord a, TWord b), (a, b))                                                  \
  X(9, int32_t, Call9, (TWord a, TWord b), (a, b))                                               \
  X(10, void, Call10, (TWord a), (a))                                                            \
  X(11, void, Call11, (TWord a), (a))                                                            \
  X(12, int32_t, Call12, (TWord a, TWord b, TWord c, TWord d), (a, b, c, d))                     \
  /* 13: renders into `*frameCount` frames of two floats at `buffer`, both the host's; returns   \
     0. Any thread (the host renders on its mixing thread): never waits, allocates nothing. */   \
  X(13, int32_t, Render, (TWord word, float* buffer, int32_t* frameCount),                       \
    (word, buffer, frameCount))                                                                  \
  /* 14: the per-tick call of the host's transport; no result. Mixing thread: takes no lock the  \
     window thread can hold, never waits, allocates nothing, makes no window or file call. */    \
  X(14, void, Tick, (), ())                                                                      \
  /* 15 to 17: passed through to the wrapped player. Any thread; the player is called on the     \
     same one. */                                                                                \
  X(15, void, Call15, (), ())                                                                    \
  X(16, void, Call16, (TWord a), (a))                                                            \
  X(17, void, Call17, (TWord a), (a))

// The host slots 1 to 36 as one list, in slot order, of the same form. Apart from 17 their
// meanings are the host's own; the bridge passes each one on to the real host untouched, on the
// thread the wrapped player called it on. Arguments are 32-bit words unless declared float
// (passed as 32-bit floats, never widened).
#define TEMPOTALLY_HOST_SLOTS(X)                                                                \
  X(1, void, HostCall1, (TWord a, TWord b, TWord c), (a, b, c))                                 \
  X(2, void, HostCall2, (TWord a, TWord b), (a, b))                                             \
  X(3, void, HostCall3, (TWord a, TWord b, TWord c, float d), (a, b, c, d))                     \
  X(4, void, HostCall4, (TWord a), (a))                                                         \
  X(5, void, HostCall5, (TWord a, TWord b), (a, b))                                             \
  X(6, int32_t, HostCall6, (TWord a, TWord b, TWord c, TWord d), (a, b, c, d))                  \
  X(7, void, HostCall7, (), ())                                                                 \
  X(8, void, HostCall8, (), ())                                                                 \
  X(9, void, HostCall9, (TWord a, TWord b), (a, b))                                             \
  X(10, void, HostCall10, (TWord a, TWord b), (a, b))                                           \
  X(11, void, HostCall11, (TWord a, TWord b, TWord c, float d, float e, TWord f, TWord g),      \
    (a, b, c, d, e, f, g))                                                                      \
  X(12, void, HostCall12, (TWord a, TWord b, TWord c, float d, float e, TWord f, TWord g),      \
    (a, b, c, d, e, f, g))                                                                      \
  X(13, bool, HostCall13, (TWord a, TWord b, TWord c, TWord d), (a, b, c, d))                   \
  X(14, int32_t, HostCall14, (TWord a, TWord b), (a, b))                                        \
  X(15, void, HostCall15, (TWord a), (a))                                                       \
  X(16, int32_t, HostCall16, (), ())                                                            \
  /* 17: the song position in ticks. Any thread: the plug-in asks in every tick (mixing thread) \
     and on dispatch 13, on the thread that sent it. */                                         \
  X(17, double, SongPosition, (), ())                                                           \
  X(18, double, HostCall18, (), ())                                                             \
  X(19, void, HostCall19, (TWord a, TWord b, TWord c), (a, b, c))                               \
  X(20, int32_t, HostCall20, (TWord a), (a))                                                    \
  X(21, void, HostCall21, (TWord a, TWord b), (a, b))                                           \
  X(22, void, HostCall22, (TWord a, TWord b), (a, b))                                           \
  X(23, void, HostCall23, (TWord a, TWord b), (a, b))                                           \
  X(24, void, HostCall24, (TWord a, TWord b, TWord c, TWord d, float e, float f, float g),      \
    (a, b, c, d, e, f, g))                                                                      \
  X(25, int32_t, HostCall25, (TWord a), (a))                                                    \
  X(26, int32_t, HostCall26, (TWord a, TWord b), (a, b))                                        \
  X(27, bool, HostCall27, (TWord a, TWord b, TWord c, TWord d, TWord e), (a, b, c, d, e))       \
  X(28, void, HostCall28, (), ())                                                               \
  X(29, void, HostCall29, (), ())                                                               \
  X(30, void, HostCall30, (TWord a, TWord b, TWord c), (a, b, c))                               \
  X(31, void, HostCall31, (TWord a, TWord b, float c, float d), (a, b, c, d))                   \
  X(32, void, HostCall32, (TWord a), (a))                                                       \
  X(33, void, HostCall33, (TWord a), (a))                                                       \
  X(34, void, HostCall34, (), ())                                                               \
  X(35, void, HostCall35, (), ())                                                               \
  X(36, void, HostCall36, (TWord a, TWord b, TWord c), (a, b, c))

#define TEMPOTALLY_DECLARE_SLOT(slot, Result, Name, Params, Args) \
  virtual Result __stdcall Name Params = 0;
#define TEMPOTALLY_OVERRIDE_SLOT(slot, Result, Name, Params, Args) \
  Result __stdcall Name Params override;
#define TEMPOTALLY_SLOT_NUMBER(slot, Result, Name, Params, Args) , slot

// The plug-in object as the host sees it: slots 0 to 18 in this order, then the public data. The
// host owns the object until it calls Release.
class TFruityPlug {
 public:
  // 0: the object releases everything it holds and frees itself; nothing may touch it afterwards.
  //    Any thread: windows of another thread are handed to that thread to destroy.
  virtual void __stdcall Release() = 0;
  // 1: dispatch (id, index, value), see PlugId; the result's meaning depends on the id. Window
  //    thread, except 12, 13 and 14, which may also come on the mixing thread (then they stay in
  //    order among its ticks). Any id not handled here is passed on to the wrapped player.
  virtual int32_t __stdcall Dispatch(int32_t id, int32_t index, TWord value) = 0;
  TEMPOTALLY_PLUG_SLOTS(TEMPOTALLY_DECLARE_SLOT)
  // 18: the destructor; bit 0 of `flags` also frees the memory. Returns the object. Thread as for
  //     Release. Declared as a plain slot: a C++ virtual destructor takes two entries under GCC.
  virtual TFruityPlug* __stdcall Destroy(uint32_t flags) = 0;

  int32_t instanceTag = 0;                         // offset 4: the tag given to CreatePlugInstance
  const PluginInfo* pluginInfo = nullptr;          // offset 8
  HWND editorWindow = nullptr;                     // offset 12: the editor window, null when none
  int32_t hostReserved[PublicReservedWords] = {};  // the host's; zero from construction on

 protected:
  TFruityPlug() = default;
  ~TFruityPlug() = default;
};

constexpr int PlugSlotCount = 19;

// The host object as a plug-in sees it: slots 0 to 37, then 47 words of public data.
class TFruityPlugHost {
 public:
  // 0: host dispatch (tag, id, index, value), see HostId; the tag is the caller's instanceTag.
  //    The records of ids 36, 38 and 39 belong to the caller. Any thread: the plug-in sends 36
  //    and 39 on the mixing thread in every tick, 2, 10, 29 and 38 on the window thread.
  virtual int32_t __stdcall HostDispatch(int32_t tag, int32_t id, int32_t index, TWord value) = 0;
  TEMPOTALLY_HOST_SLOTS(TEMPOTALLY_DECLARE_SLOT)
  // 37: arguments and result are the host's; a forwarder passes them on untouched. Any thread.
  virtual void __stdcall HostCall37() = 0;

  int32_t hostPublic[HostPublicWords];  // offset 4

 protected:
  TFruityPlugHost() = default;
  ~TFruityPlugHost() = default;
};

constexpr int HostSlotCount = 38;

// Each list names every slot between its hand-written ends, once and in order.
template <int First, int Last, int... Slots>
constexpr bool InOrder() {
  int next = First;
  return ((Slots == next++) && ...) && next == Last + 1;
}
static_assert(InOrder<2, PlugSlotCount - 2 TEMPOTALLY_PLUG_SLOTS(TEMPOTALLY_SLOT_NUMBER)>());
static_assert(InOrder<1, HostSlotCount - 2 TEMPOTALLY_HOST_SLOTS(TEMPOTALLY_SLOT_NUMBER)>());

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
