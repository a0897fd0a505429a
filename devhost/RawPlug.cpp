// Loading a plug-in module and reading a plug-in's info record by offset.
#include "devhost/RawPlug.h"

#include "devhost/TestHost.h"

namespace tempotally::testhost {

InfoView RawPlug::Info() const {
  InfoView info;
  const char* record = static_cast<const char*>(InfoRecord());
  if (record == nullptr) return info;
  memcpy(&info.version, record + InfoVersionOffset, sizeof info.version);
  memcpy(&info.longName, record + InfoLongNameOffset, sizeof info.longName);
  memcpy(&info.shortName, record + InfoShortNameOffset, sizeof info.shortName);
  memcpy(&info.flags, record + InfoFlagsOffset, sizeof info.flags);
  return info;
}

void RawPlug::Release() {
  if (object_ == nullptr) return;
  Call<void>(0);
  object_ = nullptr;
}

PluginModule::PluginModule(const std::string& path) {
  module_ = LoadLibraryA(path.c_str());
  if (module_ == nullptr) {
    loadError_ = GetLastError();
    return;
  }
  factory_ = reinterpret_cast<Factory>(
      reinterpret_cast<void*>(GetProcAddress(module_, "CreatePlugInstance")));
}

PluginModule::~PluginModule() {
  if (module_ != nullptr) FreeLibrary(module_);
}

RawPlug PluginModule::Create(void* hostObject, int32_t tag) const {
  if (factory_ == nullptr) return RawPlug();
  return RawPlug(factory_(hostObject, tag));
}

RawPlug PluginModule::Create(TestHost& host, int32_t tag) const {
  return Create(host.Object(), tag);
}

}  // namespace tempotally::testhost
