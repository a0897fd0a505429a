// An in-memory IStream for the state call that hands over at most a given number of bytes per
// Read, as a stream may, and counts the Write calls it receives.
#pragma once

#include <objidl.h>
#include <windows.h>

#include <cstdint>
#include <vector>

namespace tempotally::testhost {

class ChunkStream final : public IStream {
 public:
  // Reads deliver at most `chunk` bytes each; 0 means as many as asked.
  explicit ChunkStream(std::vector<uint8_t> bytes = {}, ULONG chunk = 0);

  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  size_t Position() const { return position_; }
  const std::vector<ULONG>& WriteSizes() const { return writeSizes_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE Read(void* data, ULONG size, ULONG* read) override;
  HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG size, ULONG* written) override;
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* at) override;
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                   ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override;
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

 private:
  std::vector<uint8_t> bytes_;
  size_t position_ = 0;
  ULONG chunk_;
  ULONG references_ = 1;
  std::vector<ULONG> writeSizes_;
};

}  // namespace tempotally::testhost
