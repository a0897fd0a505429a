// The state call through a stream on global memory.
#include "devhost/PlugState.h"

#include <objidl.h>
#include <windows.h>

namespace tempotally::testhost {

std::vector<uint8_t> SavePlugState(RawPlug& plug) {
  IStream* stream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream))) return {};
  plug.SaveRestoreState(stream, 1);
  STATSTG stat{};
  stream->Stat(&stat, STATFLAG_NONAME);
  std::vector<uint8_t> bytes(static_cast<size_t>(stat.cbSize.QuadPart));
  LARGE_INTEGER start{};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  ULONG read = 0;
  if (!bytes.empty()) stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
  stream->Release();
  bytes.resize(read);
  return bytes;
}

void RestorePlugState(RawPlug& plug, const std::vector<uint8_t>& bytes) {
  IStream* stream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream))) return;
  stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr);
  LARGE_INTEGER start{};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  plug.SaveRestoreState(stream, 0);
  stream->Release();
}

}  // namespace tempotally::testhost
