// The chunking in-memory stream.
#include "devhost/ChunkStream.h"

#include <algorithm>
#include <cstring>

namespace tempotally::testhost {

ChunkStream::ChunkStream(std::vector<uint8_t> bytes, ULONG chunk)
    : bytes_(std::move(bytes)), chunk_(chunk) {}

HRESULT STDMETHODCALLTYPE ChunkStream::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IStream) ||
      IsEqualIID(iid, IID_ISequentialStream)) {
    *object = this;
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

// The owner keeps the object on its stack or heap; counting only keeps COM callers honest.
ULONG STDMETHODCALLTYPE ChunkStream::AddRef() { return ++references_; }
ULONG STDMETHODCALLTYPE ChunkStream::Release() { return --references_; }

HRESULT STDMETHODCALLTYPE ChunkStream::Read(void* data, ULONG size, ULONG* read) {
  size_t n = std::min<size_t>(size, bytes_.size() - position_);
  if (chunk_ != 0) n = std::min<size_t>(n, chunk_);
  if (n > 0) std::memcpy(data, bytes_.data() + position_, n);
  position_ += n;
  if (read) *read = static_cast<ULONG>(n);
  return n == size ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE ChunkStream::Write(const void* data, ULONG size, ULONG* written) {
  writeSizes_.push_back(size);
  if (position_ + size > bytes_.size()) bytes_.resize(position_ + size);
  if (size > 0) std::memcpy(bytes_.data() + position_, data, size);
  position_ += size;
  if (written) *written = size;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ChunkStream::Seek(LARGE_INTEGER move, DWORD origin,
                                            ULARGE_INTEGER* at) {
  const LONGLONG base = origin == STREAM_SEEK_CUR   ? static_cast<LONGLONG>(position_)
                        : origin == STREAM_SEEK_END ? static_cast<LONGLONG>(bytes_.size())
                                                    : 0;
  const LONGLONG target = base + move.QuadPart;
  if (target < 0) return STG_E_INVALIDFUNCTION;
  position_ = static_cast<size_t>(target);
  if (position_ > bytes_.size()) bytes_.resize(position_);
  if (at) at->QuadPart = position_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ChunkStream::Stat(STATSTG* stat, DWORD) {
  if (!stat) return E_POINTER;
  std::memset(stat, 0, sizeof *stat);
  stat->type = STGTY_STREAM;
  stat->cbSize.QuadPart = bytes_.size();
  return S_OK;
}

}  // namespace tempotally::testhost
