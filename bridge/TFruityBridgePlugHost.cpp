#include "bridge/TFruityBridgePlugHost.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <iterator>

#include "winutil/WindowHandover.h"

namespace tempotally {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(offsetof(TFruityBridgePlugHost, realHost) == RealHostOffset,
              "the slot-37 thunk reads realHost at a fixed offset");
#pragma GCC diagnostic pop
static_assert(RealHostOffset == sizeof(void*) + HostPublicWords * sizeof(int32_t), "layout");
static_assert(HostSlot37Offset == 148, "the slot-37 thunk jumps through a fixed table entry");

int32_t videoClassCount = 0;

namespace {

// The plug-in slots that the wrapped instance switches: 2 by host id 13, 14 by its info flags.
constexpr int Call2Slot = 2;
constexpr int TickSlot = 14;

// The player's export, of the same form as ours.
using CreatePlugInstanceFn = TFruityPlug*(__stdcall*)(TFruityPlugHost* host, int32_t tag);

// The class is registered once per module handle, as each window is created with its bridge's
// module, and players from the two paths are two modules. Unregistering needs the same handle,
// which may have been unloaded by then. The room beyond two is for modules reloaded elsewhere.
struct ClassRegistration {
  HMODULE module;
  int32_t holders;
};
constexpr int MaxClassModules = 8;
ClassRegistration registrations[MaxClassModules] = {};
// Any thread: a window handed to its own thread gives its hold back there. The platform's lock,
// which cannot throw and pulls no thread support into the module.
SRWLOCK registrationLock = SRWLOCK_INIT;
struct RegistrationGuard {
  RegistrationGuard() { AcquireSRWLockExclusive(&registrationLock); }
  ~RegistrationGuard() { ReleaseSRWLockExclusive(&registrationLock); }
};

ClassRegistration* RegistrationOf(HMODULE module) {
  for (ClassRegistration& entry : registrations)
    if (entry.holders > 0 && entry.module == module) return &entry;
  return nullptr;
}

// One holder of `module`'s registration less; the last unregisters the class under that handle.
void ReleaseVideoClass(HMODULE module) {
  const RegistrationGuard guard;
  ClassRegistration* entry = RegistrationOf(module);
  if (!entry) return;
  --videoClassCount;
  if (--entry->holders > 0) return;
  UnregisterClassA(VideoWindowClassName, module);
  *entry = {nullptr, 0};
}

// The bridge is bound through the user data once the wrapped instance exists.
LRESULT CALLBACK VideoWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* bridge = reinterpret_cast<TFruityBridgePlugHost*>(GetWindowLongPtrA(window, GWLP_USERDATA));

  // Closing only hides, bound or not: a destroyed window would leave the bridge a stale handle.
  if (message == WM_CLOSE) {
    ShowWindow(window, SW_HIDE);
    if (bridge) bridge->Dispatch(PlugId::WindowClosed, 0, 0);
    return 0;
  }
  if (!bridge && message == VideoHandoverMessage) {
    // Handed over by a bridge released on another thread: the module and the class hold are
    // this window's to give back, after it and the player's editor in it are gone.
    const auto module = reinterpret_cast<HMODULE>(wParam);
    DestroyWindow(window);
    if (lParam) ReleaseVideoClass(module);
    if (module) FreeLibrary(module);
    return 0;
  }
  if (bridge && message == WM_SIZE) {
    if (HWND child = FindWindowExA(window, nullptr, nullptr, nullptr)) {
      RECT client = {};
      GetClientRect(window, &client);
      SetWindowPos(child, HWND_TOP, 0, 0, client.right, client.bottom, SWP_NOMOVE);
    }
    bridge->Dispatch(PlugId::WindowResized, 0, 0);
  } else if (bridge && message == WM_PAINT) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    FillRect(dc, &paint.rcPaint, reinterpret_cast<HBRUSH>(INT_PTR{COLOR_WINDOW + 1}));
    EndPaint(window, &paint);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// Registers the class under `module` unless it holds it already, and counts one more holder; a
// failed registration is ignored. False, without a hold, only when the table is full.
bool AcquireVideoClass(HMODULE module) {
  const RegistrationGuard guard;
  ClassRegistration* entry = RegistrationOf(module);
  if (!entry) {
    entry = std::find_if(std::begin(registrations), std::end(registrations),
                         [](const ClassRegistration& free) { return free.holders <= 0; });
    if (entry == std::end(registrations)) return false;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = VideoWindowProc;
    windowClass.hInstance = module;
    windowClass.lpszClassName = VideoWindowClassName;
    RegisterClassA(&windowClass);
    *entry = {module, 0};
  }
  ++entry->holders;
  ++videoClassCount;
  return true;
}

}  // namespace

TFruityBridgePlugHost::TFruityBridgePlugHost(TFruityPlugHost* host, const wchar_t* playerModulePath,
                                             int32_t tag)
    : realHost(host), hostTag(tag) {
  std::memset(hostPublic, 0, sizeof hostPublic);
  hostPublic[0] = DefaultHostPublic0;
  hostPublic[2] = static_cast<int32_t>(reinterpret_cast<intptr_t>(GetModuleHandleA(nullptr)));
  if (host) std::memcpy(hostPublic, host->hostPublic, sizeof hostPublic);

  // A path that doesn't fit is not loaded at all: a cut-off path could name another file.
  if (!playerModulePath) return;
  const size_t length = wcsnlen(playerModulePath, PlayerPathChars);
  if (length >= PlayerPathChars) return;
  std::wmemcpy(playerPath, playerModulePath, length + 1);

  // The player's own dependencies are searched for as with a plain load.
  wrappedModule = LoadLibraryExW(playerPath, nullptr, 0);
  if (!wrappedModule) return;

  holdsClass = AcquireVideoClass(wrappedModule);
  // Hidden and ownerless; null when creation fails.
  videoWindow = CreateWindowExA(VideoWindowExStyle, VideoWindowClassName, VideoWindowCaption,
                                VideoWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                                VideoWindowInitialSize, VideoWindowInitialSize, nullptr, nullptr,
                                wrappedModule, nullptr);
  captionWindow = videoWindow;

  // Through a parameterless function type, which converts without a warning.
  auto create = reinterpret_cast<CreatePlugInstanceFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(wrappedModule, PlayerExportName)));
  if (!create) return;
  wrappedPlug = create(this, hostTag);
  if (!wrappedPlug) return;

  if (videoWindow) SetWindowLongPtrA(videoWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  wrappedPlug->Dispatch(PlugId::ShowEditor, 0, reinterpret_cast<TWord>(videoWindow));

  wrappedEditor = wrappedPlug->editorWindow;
  RECT editorClient = {};
  if (wrappedEditor && videoWindow && GetClientRect(wrappedEditor, &editorClient)) {
    // Outer size, frame included; the WM_SIZE this causes fits the editor into the client area.
    SetWindowPos(videoWindow, HWND_TOP, 0, 0, editorClient.right, editorClient.bottom, SWP_NOMOVE);
  }

  const PluginInfo* info = wrappedPlug->pluginInfo;
  if (info && (info->flags & PluginFlagWantsTick)) wantsTick = 1;
}

void TFruityBridgePlugHost::ReleaseWrapped() {
  if (!wrappedPlug) return;
  // Cleared first, so nothing that runs during the release reaches the instance. The module stays
  // until the video window is gone, which may still hold the player's editor.
  TFruityPlug* plug = wrappedPlug;
  wrappedPlug = nullptr;
  wrappedEditor = nullptr;
  plug->Release();
}

TFruityBridgePlugHost::~TFruityBridgePlugHost() {
  ReleaseWrapped();
  if (HWND window = videoWindow) {
    // Unbound first, so that no message of its destruction finds the bridge nor a caption it.
    captionWindow = nullptr;
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    if (!DestroyOrHandOver(window, VideoHandoverMessage, reinterpret_cast<WPARAM>(wrappedModule),
                           holdsClass)) {
      // It lives on: its own thread gives back the class hold and the module once it is gone.
      holdsClass = false;
      wrappedModule = nullptr;
    }
  }
  if (holdsClass) ReleaseVideoClass(wrappedModule);
  if (wrappedModule) FreeLibrary(wrappedModule);
}

int32_t TFruityBridgePlugHost::Dispatch(int32_t id, int32_t index, TWord value) {
  if (!wrappedPlug || id == PlugId::ShowEditor || id == PlugId::Withheld5) return 0;
  return wrappedPlug->Dispatch(id, index, value);
}

bool TFruityBridgePlugHost::PassesOn(int slot) const {
  return wrappedPlug && (slot != Call2Slot || slot2Enabled) && (slot != TickSlot || wantsTick);
}

#define TEMPOTALLY_PROXY_SLOT(slot, Result, Name, Params, Args) \
  Result TFruityBridgePlugHost::Name Params {                   \
    return PassesOn(slot) ? wrappedPlug->Name Args : Result();  \
  }
TEMPOTALLY_PLUG_SLOTS(TEMPOTALLY_PROXY_SLOT)
#undef TEMPOTALLY_PROXY_SLOT

int32_t __stdcall TFruityBridgePlugHost::HostDispatch(int32_t /*tag*/, int32_t id, int32_t index,
                                                      TWord value) {
  switch (id) {
    case HostId::EditorResized:
    case HostId::Consumed23:
      return 0;
    case HostId::SetCaption:
      if (!captionWindow || !value) return 0;
      return SetWindowTextA(captionWindow, reinterpret_cast<const char*>(value));
    case HostId::EnableSlot2:
      slot2Enabled = value == 1 ? 1 : 0;
      return 0;
    case HostId::SongTime: {
      const int32_t result = realHost ? realHost->HostDispatch(hostTag, id, index, value) : 0;
      const double time = VideoTime();
      if (value) std::memcpy(reinterpret_cast<void*>(value), &time, sizeof time);
      return result;
    }
    default:
      return realHost ? realHost->HostDispatch(hostTag, id, index, value) : 0;
  }
}

#define TEMPOTALLY_FORWARD_TO_HOST(slot, Result, Name, Params, Args) \
  Result __stdcall TFruityBridgePlugHost::Name Params {              \
    return realHost ? realHost->Name Args : Result();                \
  }
TEMPOTALLY_HOST_SLOTS(TEMPOTALLY_FORWARD_TO_HOST)
#undef TEMPOTALLY_FORWARD_TO_HOST

// The object on the stack becomes the real host and control jumps to its slot 37, which removes
// the arguments. Without a real host: remove the object only and return 0 (eax and edx).
__attribute__((naked)) void __stdcall TFruityBridgePlugHost::HostCall37() {
  asm("movl 4(%esp), %eax\n\t"
      "movl 192(%eax), %eax\n\t"  // realHost (RealHostOffset)
      "testl %eax, %eax\n\t"
      "jz 1f\n\t"
      "movl %eax, 4(%esp)\n\t"
      "movl (%eax), %eax\n\t"
      "jmp *148(%eax)\n"  // slot 37 (HostSlot37Offset)
      "1:\n\t"
      "xorl %edx, %edx\n\t"
      "ret $4");
}

}  // namespace tempotally
