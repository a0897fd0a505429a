/* A stand-in for the host's video player: a plug-in module built on raw C tables, as a module from
   another compiler would be. It records every call it receives, asks its host for the time on every
   tick, and shows the time it was told in an editor child window. Tests read the record through
   the exports declared in StandInRecord.h. */
#include <math.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "devhost/standin_player/StandInRecord.h"

enum {
  ReservedWords = 34,
  HostDispatchSlot = 0,
  HostSlotCount = 38,
  StreamReadSlot = 3,
  StreamWriteSlot = 4,
  MaxHostWords = 7,
  SweepPeriodMs = 4000,
  TimeFontHeight = 64,
  SweepHeight = 24,
  IdShowEditor = 0
};

static const char EditorClassName[] = "StandInPlayerEditor";

typedef struct PlugInfoRaw {
  int32_t version;
  const char* longName;
  const char* shortName;
  int32_t flags;
  int32_t reserved[ReservedWords];
} PlugInfoRaw;

typedef struct StandInPlug {
  void* const* table;      /* offset 0 */
  int32_t instanceTag;     /* offset 4 */
  const PlugInfoRaw* info; /* offset 8 */
  HWND editorWindow;       /* offset 12 */
  int32_t reserved[ReservedWords];
  void* host;
  double toldTime;
} StandInPlug;

_Static_assert(offsetof(StandInPlug, instanceTag) == 4, "public data layout");
_Static_assert(offsetof(StandInPlug, info) == 8, "public data layout");
_Static_assert(offsetof(StandInPlug, editorWindow) == 12, "public data layout");
_Static_assert(offsetof(PlugInfoRaw, flags) == 12, "info record layout");

static HINSTANCE moduleInstance;
static StandInRecord record;
static PlugInfoRaw info = {1, "Stand-in Video Player", "StandIn Player", StandInDefaultFlags, {0}};

static void ResetRecord(void) {
  const int32_t live = record.liveInstances;
  memset(&record, 0, sizeof record);
  record.infoFlags = StandInDefaultFlags;
  record.liveInstances = live;
}

static void LogCall(StandInPlug* self, int32_t slot, uint32_t a, uint32_t b, uint32_t c,
                    uint32_t d) {
  if (slot >= 0 && slot < StandInPlugSlots) ++record.slotCounts[slot];
  if (record.callCount < StandInMaxCalls) {
    StandInCall* call = &record.calls[record.callCount];
    call->slot = slot;
    call->instance = self;
    call->words[0] = a;
    call->words[1] = b;
    call->words[2] = c;
    call->words[3] = d;
  }
  ++record.callCount;
}

static void* HostSlot(void* host, int slot) { return (*(void* const* const*)host)[slot]; }

typedef int32_t(__stdcall* HostDispatchFn)(void* host, int32_t tag, int32_t id, int32_t index,
                                           intptr_t value);

static int32_t AskHost(StandInPlug* self, int32_t id, int32_t index, intptr_t value) {
  if (!self->host) return 0;
  HostDispatchFn dispatch = (HostDispatchFn)HostSlot(self->host, HostDispatchSlot);
  return dispatch(self->host, self->instanceTag, id, index, value);
}

/* The editor. */

static void PaintEditor(HWND window) {
  StandInPlug* self = (StandInPlug*)GetWindowLongPtrA(window, GWLP_USERDATA);
  const double time = self ? self->toldTime : 0.0;
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client;
  GetClientRect(window, &client);
  FillRect(dc, &client, (HBRUSH)GetStockObject(BLACK_BRUSH));

  char text[32];
  snprintf(text, sizeof text, "%.0f", time);
  HFONT font =
      CreateFontA(-TimeFontHeight, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Arial");
  HGDIOBJ oldFont = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  RECT textArea = client;
  textArea.bottom -= SweepHeight;
  DrawTextA(dc, text, -1, &textArea, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  SelectObject(dc, oldFont);
  DeleteObject(font);

  /* The sweep: a bar across the bottom that fills once per period of told time. */
  double phase = fmod(time, (double)SweepPeriodMs) / SweepPeriodMs;
  if (phase < 0.0) phase += 1.0;
  RECT sweep = client;
  sweep.top = client.bottom - SweepHeight;
  sweep.right = client.left + (LONG)(phase * (client.right - client.left));
  HBRUSH bar = CreateSolidBrush(RGB(0, 200, 80));
  FillRect(dc, &sweep, bar);
  DeleteObject(bar);
  EndPaint(window, &paint);

  ++record.paints;
  record.paintedTime = time;
}

static LRESULT CALLBACK EditorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      PaintEditor(window);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_DESTROY:
      /* Left where a test can see it even after this module is gone: it ran in loaded code. */
      SetEnvironmentVariableA(StandInEditorDestroyedVariable, "1");
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

static void ShowEditor(StandInPlug* self, HWND parent) {
  if (!parent) {
    if (self->editorWindow) ShowWindow(self->editorWindow, SW_HIDE);
    return;
  }
  if (self->editorWindow) {
    SetParent(self->editorWindow, parent);
    ShowWindow(self->editorWindow, SW_SHOW);
    return;
  }
  WNDCLASSA editorClass;
  memset(&editorClass, 0, sizeof editorClass);
  editorClass.lpfnWndProc = EditorProc;
  editorClass.hInstance = moduleInstance;
  editorClass.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
  editorClass.lpszClassName = EditorClassName;
  RegisterClassA(&editorClass); /* already registered by an earlier instance: fine */
  self->editorWindow =
      CreateWindowExA(0, EditorClassName, "", WS_CHILD | WS_VISIBLE, 0, 0, StandInEditorWidth,
                      StandInEditorHeight, parent, NULL, moduleInstance, NULL);
  if (self->editorWindow) SetWindowLongPtrA(self->editorWindow, GWLP_USERDATA, (LONG_PTR)self);
}

static void FreeInstance(StandInPlug* self) {
  /* With the switch set in the environment, release leaves the editor alive inside its parent, as
     some players do; it then only forgets the instance. */
  if (self->editorWindow && GetEnvironmentVariableA(StandInKeepEditorVariable, NULL, 0) > 0) {
    SetWindowLongPtrA(self->editorWindow, GWLP_USERDATA, 0);
  } else if (self->editorWindow) {
    DestroyWindow(self->editorWindow);
  }
  HeapFree(GetProcessHeap(), 0, self);
  if (--record.liveInstances <= 0) {
    record.liveInstances = 0;
    UnregisterClassA(EditorClassName, moduleInstance);
  }
}

/* The plug-in slots. */

static void __stdcall Release(StandInPlug* self) {
  LogCall(self, 0, 0, 0, 0, 0);
  ++record.releases;
  record.parentAliveAtRelease =
      self->editorWindow && IsWindow(GetParent(self->editorWindow)) ? 1 : 0;
  FreeInstance(self);
}

static int32_t __stdcall Dispatch(StandInPlug* self, int32_t id, int32_t index, intptr_t value) {
  LogCall(self, 1, (uint32_t)id, (uint32_t)index, (uint32_t)value, 0);
  if (id == IdShowEditor) ShowEditor(self, (HWND)value);
  return StandInResultBase + 1;
}

static void __stdcall Slot2(StandInPlug* self) { LogCall(self, 2, 0, 0, 0, 0); }

typedef HRESULT(__stdcall* StreamIoFn)(void* stream, void* data, ULONG size, ULONG* done);

static void __stdcall SaveRestoreState(StandInPlug* self, void* stream, int32_t save) {
  LogCall(self, 3, (uint32_t)(uintptr_t)stream, (uint32_t)save, 0, 0);
  if (!record.streamState || !stream) return;
  ULONG done = 0;
  if (save) {
    ((StreamIoFn)HostSlot(stream, StreamWriteSlot))(stream, record.stateBlob, StandInStateBytes,
                                                    &done);
  } else {
    memset(record.restoredBlob, 0, sizeof record.restoredBlob);
    ((StreamIoFn)HostSlot(stream, StreamReadSlot))(stream, record.restoredBlob, StandInStateBytes,
                                                   &done);
    record.restoredBytes = (int32_t)done;
  }
}

static void __stdcall Slot4(StandInPlug* self, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  LogCall(self, 4, a, b, c, d);
}

static int32_t __stdcall Slot5(StandInPlug* self, uint32_t a, uint32_t b, uint32_t c) {
  LogCall(self, 5, a, b, c, 0);
  return StandInResultBase + 5;
}

static int32_t __stdcall Slot6(StandInPlug* self, uint32_t a, uint32_t b, uint32_t c) {
  LogCall(self, 6, a, b, c, 0);
  return StandInResultBase + 6;
}

static void __stdcall Slot7(StandInPlug* self, uint32_t a, uint32_t b, uint32_t c) {
  LogCall(self, 7, a, b, c, 0);
}

static void __stdcall Slot8(StandInPlug* self, uint32_t a, uint32_t b) {
  LogCall(self, 8, a, b, 0, 0);
}

static int32_t __stdcall Slot9(StandInPlug* self, uint32_t a, uint32_t b) {
  LogCall(self, 9, a, b, 0, 0);
  return StandInResultBase + 9;
}

static void __stdcall Slot10(StandInPlug* self, uint32_t a) { LogCall(self, 10, a, 0, 0, 0); }

static void __stdcall Slot11(StandInPlug* self, uint32_t a) { LogCall(self, 11, a, 0, 0, 0); }

static int32_t __stdcall Slot12(StandInPlug* self, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  LogCall(self, 12, a, b, c, d);
  return StandInResultBase + 12;
}

static int32_t __stdcall Render(StandInPlug* self, uint32_t word, float* buffer,
                                int32_t* frameCount) {
  LogCall(self, 13, word, (uint32_t)(uintptr_t)buffer, (uint32_t)(uintptr_t)frameCount, 0);
  record.renderFrames = frameCount ? *frameCount : 0;
  if (buffer && record.renderFrames > 0) {
    record.renderFirstFrame[0] = buffer[0];
    record.renderFirstFrame[1] = buffer[1];
  }
  return StandInResultBase + 13;
}

static void __stdcall Tick(StandInPlug* self) {
  LogCall(self, 14, 0, 0, 0, 0);
  uint8_t answer[StandInTimeRecordBytes];
  memset(answer, 0, sizeof answer);
  const int32_t result = AskHost(self, StandInTimeQueryId, StandInTimeQueryIndex, (intptr_t)answer);
  double time;
  memcpy(&time, answer, sizeof time);
  self->toldTime = time;
  if (record.timeCount < StandInMaxTimes) record.toldTimes[record.timeCount] = time;
  ++record.timeCount;
  memcpy(record.lastTimeRecord, answer, sizeof answer);
  record.lastTimeResult = result;
  if (self->editorWindow) InvalidateRect(self->editorWindow, NULL, FALSE);
}

static void __stdcall Slot15(StandInPlug* self) { LogCall(self, 15, 0, 0, 0, 0); }

static void __stdcall Slot16(StandInPlug* self, uint32_t a) { LogCall(self, 16, a, 0, 0, 0); }

static void __stdcall Slot17(StandInPlug* self, uint32_t a) { LogCall(self, 17, a, 0, 0, 0); }

static StandInPlug* __stdcall Destroy(StandInPlug* self, uint32_t flags) {
  LogCall(self, 18, flags, 0, 0, 0);
  ++record.destroys;
  if (flags & 1) FreeInstance(self);
  return self;
}

static void* const plugTable[StandInPlugSlots] = {
    (void*)Release, (void*)Dispatch, (void*)Slot2,  (void*)SaveRestoreState,
    (void*)Slot4,   (void*)Slot5,    (void*)Slot6,  (void*)Slot7,
    (void*)Slot8,   (void*)Slot9,    (void*)Slot10, (void*)Slot11,
    (void*)Slot12,  (void*)Render,   (void*)Tick,   (void*)Slot15,
    (void*)Slot16,  (void*)Slot17,   (void*)Destroy};

/* Exports. */

void* __stdcall CreatePlugInstance(void* host, int32_t tag) {
  ++record.createCalls;
  record.lastHost = host;
  record.lastTag = tag;
  if (record.failCreate) return NULL;
  StandInPlug* self = (StandInPlug*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *self);
  if (!self) return NULL;
  info.flags = record.infoFlags;
  self->table = plugTable;
  self->instanceTag = tag;
  self->info = &info;
  self->host = host;
  ++record.liveInstances;
  record.lastInstance = self;
  return self;
}

StandInRecord* StandInGetRecord(void) { return &record; }

void StandInResetRecord(void) { ResetRecord(); }

int32_t StandInHostDispatch(void* instance, int32_t id, int32_t index, intptr_t value) {
  return instance ? AskHost((StandInPlug*)instance, id, index, value) : 0;
}

typedef uint64_t(__stdcall* Words0)(void*);
typedef uint64_t(__stdcall* Words1)(void*, uint32_t);
typedef uint64_t(__stdcall* Words2)(void*, uint32_t, uint32_t);
typedef uint64_t(__stdcall* Words3)(void*, uint32_t, uint32_t, uint32_t);
typedef uint64_t(__stdcall* Words4)(void*, uint32_t, uint32_t, uint32_t, uint32_t);
typedef uint64_t(__stdcall* Words5)(void*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);
typedef uint64_t(__stdcall* Words6)(void*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                                    uint32_t);
typedef uint64_t(__stdcall* Words7)(void*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                                    uint32_t, uint32_t);
typedef double(__stdcall* Double0)(void*);

int32_t StandInCallHost(void* instance, int32_t slot, const uint32_t* words, int32_t count,
                        int32_t returnsDouble, StandInHostAnswer* answer) {
  StandInPlug* self = (StandInPlug*)instance;
  if (!self || !self->host || !answer || slot < 0 || slot >= HostSlotCount || count < 0 ||
      count > MaxHostWords || (count > 0 && !words)) {
    return 0;
  }
  void* host = self->host;
  void* fn = HostSlot(host, slot);
  memset(answer, 0, sizeof *answer);
  if (returnsDouble) {
    if (count != 0) return 0; /* the host's double slots take no arguments */
    answer->st0 = ((Double0)fn)(host);
    return 1;
  }
  const uint32_t* w = words;
  uint64_t result = 0;
  switch (count) {
    case 0:
      result = ((Words0)fn)(host);
      break;
    case 1:
      result = ((Words1)fn)(host, w[0]);
      break;
    case 2:
      result = ((Words2)fn)(host, w[0], w[1]);
      break;
    case 3:
      result = ((Words3)fn)(host, w[0], w[1], w[2]);
      break;
    case 4:
      result = ((Words4)fn)(host, w[0], w[1], w[2], w[3]);
      break;
    case 5:
      result = ((Words5)fn)(host, w[0], w[1], w[2], w[3], w[4]);
      break;
    case 6:
      result = ((Words6)fn)(host, w[0], w[1], w[2], w[3], w[4], w[5]);
      break;
    default:
      result = ((Words7)fn)(host, w[0], w[1], w[2], w[3], w[4], w[5], w[6]);
      break;
  }
  answer->eax = (uint32_t)result;
  answer->edx = (uint32_t)(result >> 32);
  return 1;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    moduleInstance = instance;
    DisableThreadLibraryCalls(instance);
    ResetRecord();
  }
  return TRUE;
}
