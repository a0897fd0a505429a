// Calls a plug-in the way a host from another compiler does: through the object's operation table
// by slot index, stdcall with the object first, and reads its public data at byte offsets. Also
// loads a plug-in module by path and looks up its factory by name.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace tempotally::testhost {

class TestHost;

// Byte offsets of the plug-in's public data and of its info record's fields.
constexpr size_t PlugInstanceTagOffset = 4;
constexpr size_t PlugInfoOffset = 8;
constexpr size_t PlugEditorWindowOffset = 12;
constexpr size_t InfoVersionOffset = 0;
constexpr size_t InfoLongNameOffset = 4;
constexpr size_t InfoShortNameOffset = 8;
constexpr size_t InfoFlagsOffset = 12;

constexpr int32_t PlugIdShowEditor = 0;
constexpr int32_t PlugIdTransport = 12;
constexpr int32_t PlugIdSongPosition = 13;
constexpr int32_t PlugIdTimeSignature = 14;
constexpr int32_t PlugFlagWantsTick = 0x20;

struct InfoView {
  int32_t version = 0;
  const char* longName = nullptr;
  const char* shortName = nullptr;
  int32_t flags = 0;
};

class RawPlug {
 public:
  RawPlug() = default;
  explicit RawPlug(void* object) : object_(object) {}

  void* Object() const { return object_; }
  bool Valid() const { return object_ != nullptr; }

  int32_t InstanceTag() const { return Field<int32_t>(PlugInstanceTagOffset); }
  const void* InfoRecord() const { return Field<const void*>(PlugInfoOffset); }
  HWND EditorWindow() const { return Field<HWND>(PlugEditorWindowOffset); }
  InfoView Info() const;
  // The word at `offset` bytes into the object.
  uint32_t WordAt(size_t offset) const { return Field<uint32_t>(offset); }

  // Slot 0. The object is gone afterwards; this wrapper forgets it.
  void Release();
  int32_t Dispatch(int32_t id, int32_t index, uintptr_t value) {
    return Call<int32_t>(1, id, index, value);
  }
  void Slot2() { Call<void>(2); }
  void SaveRestoreState(void* stream, int32_t save) { Call<void>(3, stream, save); }
  void Slot4(uint32_t a, uint32_t b, uint32_t c, uint32_t d) { Call<void>(4, a, b, c, d); }
  int32_t Slot5(uint32_t a, uint32_t b, uint32_t c) { return Call<int32_t>(5, a, b, c); }
  int32_t Slot6(uint32_t a, uint32_t b, uint32_t c) { return Call<int32_t>(6, a, b, c); }
  void Slot7(uint32_t a, uint32_t b, uint32_t c) { Call<void>(7, a, b, c); }
  void Slot8(uint32_t a, uint32_t b) { Call<void>(8, a, b); }
  int32_t Slot9(uint32_t a, uint32_t b) { return Call<int32_t>(9, a, b); }
  void Slot10(uint32_t a) { Call<void>(10, a); }
  void Slot11(uint32_t a) { Call<void>(11, a); }
  int32_t Slot12(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return Call<int32_t>(12, a, b, c, d);
  }
  int32_t Render(uint32_t word, float* buffer, int32_t* frameCount) {
    return Call<int32_t>(13, word, buffer, frameCount);
  }
  void Tick() { Call<void>(14); }
  void Slot15() { Call<void>(15); }
  void Slot16(uint32_t a) { Call<void>(16, a); }
  void Slot17(uint32_t a) { Call<void>(17, a); }

 private:
  template <typename T>
  T Field(size_t offset) const {
    T value;
    std::memcpy(&value, static_cast<const char*>(object_) + offset, sizeof value);
    return value;
  }

  template <typename R, typename... A>
  R Call(int slot, A... args) const {
    using Fn = R(__stdcall*)(void*, A...);
    void* const* table = *static_cast<void* const* const*>(object_);
    return reinterpret_cast<Fn>(table[slot])(object_, args...);
  }

  void* object_ = nullptr;
};

// A plug-in module loaded by path; unloaded when this goes.
class PluginModule {
 public:
  explicit PluginModule(const std::string& path);
  ~PluginModule();
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  bool Loaded() const { return module_ != nullptr; }
  DWORD LoadError() const { return loadError_; }
  bool HasFactory() const { return factory_ != nullptr; }
  HMODULE Handle() const { return module_; }

  // CreatePlugInstance(host object, tag); an invalid RawPlug when it returns null or is missing.
  RawPlug Create(void* hostObject, int32_t tag) const;
  RawPlug Create(TestHost& host, int32_t tag) const;

 private:
  using Factory = void*(__stdcall*)(void* host, int32_t tag);
  HMODULE module_ = nullptr;
  DWORD loadError_ = 0;
  Factory factory_ = nullptr;
};

}  // namespace tempotally::testhost
