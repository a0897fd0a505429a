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

// The wrapped player's host. Construction loads the player module, creates the video window and the
// wrapped instance; it never fails: wrappedPlug says whether an instance exists. The destructor is
// not virtual: the host's table has no slot for it.
class TFruityBridgePlugHost final : public TFruityPlugHost {
 public:
  TFruityBridgePlugHost(TFruityPlugHost* host, const wchar_t* playerModulePath, int32_t tag);
  // Releases the instance, destroys the video window and its children, gives back the class hold
  // and only then unloads the module. Any thread: another thread's window is handed over with both.
  ~TFruityBridgePlugHost();

  // Releases the wrapped instance, if any; the window and the module stay.
  void ReleaseWrapped();

  // The player proxy, the only code besides the bridge's own that touches the player's table: one
  // call per slot, named as it, with its guard and a zero result; on the host's calling thread.
  int32_t Dispatch(int32_t id, int32_t index, TWord value);
#define TEMPOTALLY_DECLARE_PROXY_SLOT(slot, Result, Name, Params, Args) Result Name Params;
  TEMPOTALLY_PLUG_SLOTS(TEMPOTALLY_DECLARE_PROXY_SLOT)
#undef TEMPOTALLY_DECLARE_PROXY_SLOT
  // The time in ms that the player's id-36 requests are told: set by every tick on the mixing
  // thread, read on the player's. Relaxed: the value carries nothing else with it.
  void SetVideoTime(double ms) { videoTime_.store(ms, std::memory_order_relaxed); }
  double VideoTime() const { return videoTime_.load(std::memory_order_relaxed); }

  // Host slots, called by the wrapped instance. Slot 0 answers a few ids itself and puts in the
  // time of id 36; every other slot goes to the real host untouched.
  int32_t __stdcall HostDispatch(int32_t tag, int32_t id, int32_t index, TWord value) override;
  TEMPOTALLY_HOST_SLOTS(TEMPOTALLY_OVERRIDE_SLOT)
  // A jump with the real host swapped in as the object, so any arguments and result survive.
  // Without a real host it takes no arguments and returns 0.
  void __stdcall HostCall37() override;

  TFruityPlugHost* realHost = nullptr;  // offset RealHostOffset: read by the slot-37 thunk
  HWND captionWindow = nullptr;
  HWND wrappedEditor = nullptr;
  uint8_t slot2Enabled = 1;
  uint8_t wantsTick = 0;
  int32_t hostTag = 0;
  TFruityPlug* wrappedPlug = nullptr;
  HMODULE wrappedModule = nullptr;
  wchar_t playerPath[PlayerPathChars] = {};  // loaded as given, in wide characters
  HWND videoWindow = nullptr;
  bool holdsClass = false;  // this bridge counts in videoClassCount

 private:
  std::atomic<double> videoTime_{0.0};
  // An instance exists, and for slots 2 and 14 is enabled or asked for them.
  bool PassesOn(int slot) const;
};

// The slot-37 thunk reads realHost at this offset and jumps through this table entry.
constexpr size_t RealHostOffset = 192;
constexpr size_t HostSlot37Offset = 37 * sizeof(void*);

}  // namespace tempotally
