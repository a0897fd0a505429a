// The video bridge: loads the host's video-player plug-in, plays host to it, shows its editor in
// the floating video window, and passes calls between it and the real host in both directions.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "abi/FruityPlugInterface.h"
#include "bridge/VideoPlayerPath.h"

namespace tempotally {

inline constexpr char VideoWindowClassName[] = "Tempotally_Plugin";
inline constexpr char VideoWindowCaption[] = "Host window";
inline constexpr char PlayerExportName[] = "CreatePlugInstance";

// The video window as created; its size follows the wrapped editor once that exists.
constexpr DWORD VideoWindowExStyle = WS_EX_TOOLWINDOW | WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE;
constexpr DWORD VideoWindowStyle = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MAXIMIZEBOX;
constexpr int VideoWindowInitialSize = 512;

// First public data word of a host object made without a real host.
constexpr int32_t DefaultHostPublic0 = 11001000;

// Bridges that hold the registration of the video window class, process-wide.
extern int32_t videoClassCount;

// The player's export, of the same form as ours.
using CreatePlugInstanceFn = TFruityPlug*(__stdcall*)(TFruityPlugHost* host, int32_t tag);

// The wrapped player's host. Construction loads the player module, creates the video window and the
// wrapped instance; it never fails, and whether an instance exists is read from wrappedPlug. The
// owner runs ReleaseWrapped, then DestroyVideoWindow, then deletes the object (no virtual
// destructor).
class TFruityBridgePlugHost final : public TFruityPlugHost {
 public:
  TFruityBridgePlugHost(TFruityPlugHost* host, const wchar_t* playerModulePath, int32_t tag);
  TFruityBridgePlugHost(const TFruityBridgePlugHost&) = delete;
  TFruityBridgePlugHost& operator=(const TFruityBridgePlugHost&) = delete;

  // Releases the wrapped instance; the window and the module stay. Does nothing without an
  // instance.
  void ReleaseWrapped();
  // Destroys the video window with every child in it, gives back this bridge's hold on the window
  // class, and only then unloads the player's module, whose code may still run for a child that
  // the player left behind. An instance still alive (ReleaseWrapped skipped) is released first,
  // as it must not outlive its host.
  void DestroyVideoWindow();

  // The host's calls passed on to the wrapped instance, one per plug-in slot, each with its guard
  // and a zero result when the call can't be passed on. On the thread the host made the call on.
  int32_t ForwardToWrapped1(int32_t id, int32_t index, TWord value);
#define TEMPOTALLY_DECLARE_FORWARDER(slot, Result, Name, Params, Args) \
  Result ForwardToWrapped##slot Params;
  TEMPOTALLY_PLUG_SLOTS(TEMPOTALLY_DECLARE_FORWARDER)
#undef TEMPOTALLY_DECLARE_FORWARDER

  // Host slots, called by the wrapped instance. Slot 0 answers a few ids itself and substitutes
  // the time of id 36; every other slot is passed to the real host untouched.
  int32_t __stdcall HostDispatch(int32_t tag, int32_t id, int32_t index, TWord value) override;
  TEMPOTALLY_HOST_SLOTS(TEMPOTALLY_OVERRIDE_SLOT)
  // Passed on by a jump that swaps in the real host as the object, so any argument list and result
  // survive. Without a real host it takes no arguments and returns 0.
  void __stdcall HostCall37() override;

  TFruityPlugHost* realHost = nullptr;  // offset RealHostOffset: read by the slot-37 thunk
  HWND captionWindow = nullptr;
  HWND wrappedEditor = nullptr;
  // Milliseconds. The mixing thread stores it, the player's time query loads it, each in one go.
  std::atomic<double> videoTime{0.0};
  uint8_t slot2Enabled = 1;
  uint8_t wantsTick = 0;
  int32_t hostTag = 0;
  TFruityPlug* wrappedPlug = nullptr;
  HMODULE wrappedModule = nullptr;
  wchar_t playerPath[PlayerPathChars] = {};  // loaded as given, in wide characters
  HWND videoWindow = nullptr;
  bool holdsClass = false;  // this bridge counts in videoClassCount

 private:
  ~TFruityBridgePlugHost() = default;
  // Whether plug-in slot `slot` reaches the wrapped instance: one exists, and slot 2 is enabled
  // or slot 14 asked for, where it is one of those.
  bool PassesOn(int slot) const;
  friend void DeleteBridge(TFruityBridgePlugHost* bridge);
};

// The slot-37 thunk reads realHost at this offset and jumps through this table entry.
constexpr size_t RealHostOffset = 192;
constexpr size_t HostSlot37Offset = 37 * sizeof(void*);

// Frees a bridge after its owner ran ReleaseWrapped and DestroyVideoWindow. Whatever the bridge
// still holds (an instance, a module, the window) is given back first, so no order of teardown
// leaks the player's module.
void DeleteBridge(TFruityBridgePlugHost* bridge);

// The video window's procedure; the bridge is bound through GWL_USERDATA once the wrapped
// instance exists.
LRESULT CALLBACK VideoWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace tempotally
