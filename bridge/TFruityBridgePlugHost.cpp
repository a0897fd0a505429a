#include "bridge/TFruityBridgePlugHost.h"

#include <cstring>
#include <cwchar>

#include "bridge/VideoWindow.h"
#include "winutil/WindowHandover.h"

namespace tempotally {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(offsetof(TFruityBridgePlugHost, realHost) == RealHostOffset,
              "the slot-37 thunk reads realHost at a fixed offset");
#pragma GCC diagnostic pop
static_assert(RealHostOffset == sizeof(void*) + HostPublicWords * sizeof(int32_t), "layout");
static_assert(HostSlot37Offset == 148, "the slot-37 thunk jumps through a fixed table entry");

namespace {

// The plug-in slots that the wrapped instance switches: 2 by host id 13, 14 by its info flags.
constexpr int Call2Slot = 2;
constexpr int TickSlot = 14;

// The player's export, of the same form as ours.
using CreatePlugInstanceFn = TFruityPlug*(__stdcall*)(TFruityPlugHost* host, int32_t tag);

}  // namespace

TFruityBridgePlugHost::TFruityBridgePlugHost(TFruityPlugHost* host, const wchar_t* playerModulePath,
                                             int32_t tag)
    : hostTag(tag) {
  std::memset(hostPublic, 0, sizeof hostPublic);
  hostPublic[0] = DefaultHostPublic0;
  hostPublic[2] = static_cast<int32_t>(reinterpret_cast<intptr_t>(GetModuleHandleA(nullptr)));
  if (host) {
    std::memcpy(hostPublic, host->hostPublic, sizeof hostPublic);
    realHost = host;
  }

  // A path that doesn't fit is not loaded at all: a cut-off path could name another file.
  if (!playerModulePath) return;
  const size_t length = wcsnlen(playerModulePath, PlayerPathChars);
  if (length >= PlayerPathChars) return;
  std::wmemcpy(playerPath, playerModulePath, length + 1);

  // The player's own dependencies are searched for as with a plain load.
  wrappedModule = LoadLibraryExW(playerPath, nullptr, 0);
  if (!wrappedModule) return;

  holdsClass = AcquireVideoClass(wrappedModule);
  videoWindow = CreateVideoWindow(wrappedModule);
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
