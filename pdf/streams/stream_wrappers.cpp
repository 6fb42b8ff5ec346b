// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/streams/stream_wrappers.h"

#include <algorithm>

#include "platform/messages.h"

namespace pagemint {

TgtReadOnlyFilter::TgtReadOnlyFilter(TStream* stream) : cached_size_(0), stream_(stream) {
  if (stream == nullptr) throw EInvalidStream(msg::kInvalidStream);
  cached_size_ = stream->Size();
  view_ = stream->View();
}

int64_t TgtReadOnlyFilter::Read(void* buffer, int64_t count) {
  if (view_) {
    int64_t& p = *view_.position;
    if (count <= 0 || p < 0 || p >= view_.size) return 0;
    const int64_t n = std::min(count, view_.size - p);
    std::memcpy(buffer, view_.data + p, static_cast<size_t>(n));
    p += n;
    return n;
  }
  return stream_->Read(buffer, count);
}

int64_t TgtReadOnlyFilter::Write(const void*, int64_t) {
  throw EReadError(msg::kWriteOnlyCannotRead);
}

int64_t TgtReadOnlyFilter::Seek(int64_t offset, TSeekOrigin origin) {
  if (offset == -1) return -1;
  if (view_) {
    int64_t& p = *view_.position;
    switch (origin) {
      case TSeekOrigin::soBeginning:
        p = offset;
        break;
      case TSeekOrigin::soCurrent:
        p += offset;
        break;
      case TSeekOrigin::soEnd:
        p = view_.size + offset;
        break;
    }
    return p;
  }
  return stream_->Seek(offset, origin);
}

std::string TgtReadOnlyFilter::ReadBytes(int64_t n) {
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  Read(out.data(), n);
  return out;
}

std::string TgtReadOnlyFilter::PeekBytes(int64_t n) {
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  const int64_t got = Read(out.data(), n);
  SetPos(Pos() - got);
  return out;
}

uint8_t TgtReadOnlyFilter::SlowReadByte() {
  uint8_t b = 0;
  stream_->Read(&b, 1);
  return b;
}

// Steps back only over a byte actually read, as the buffer path does: a
// peek at the end must not move the position back onto the last byte, or
// a reader at the end would read that byte again.
uint8_t TgtRandomAccessFilter::SlowPeekByte() {
  uint8_t b = 0;
  const int64_t got = stream_->Read(&b, 1);
  const int64_t position = stream_->Position();
  end_of_data_ = stream_->Size() == position;
  if (got > 0) stream_->SetPosition(position - 1);
  return b;
}

TgtWriteOnlyFilter::TgtWriteOnlyFilter(TStream* stream) : stream_(stream) {
  if (stream == nullptr) throw EInvalidStream(msg::kInvalidStream);
}

int64_t TgtWriteOnlyFilter::Read(void*, int64_t) { throw EReadError(msg::kWriteOnlyCannotRead); }

}  // namespace pagemint
