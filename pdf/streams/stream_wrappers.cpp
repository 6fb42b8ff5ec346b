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

uint8_t TgtExtMemStream::ReadByte() {
  uint8_t b = 0;
  Read(&b, 1);
  return b;
}

uint16_t TgtExtMemStream::ReadUInt16BE() {
  uint8_t b[2] = {0, 0};
  Read(b, 2);
  return static_cast<uint16_t>(b[0] * 256 + b[1]);
}

uint32_t TgtExtMemStream::ReadUInt32BE() {
  uint8_t b[4] = {0, 0, 0, 0};
  Read(b, 4);
  return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

int64_t TgtExtMemStream::ReadBytes(std::string& buffer, int64_t n) {
  buffer.assign(static_cast<size_t>(std::max<int64_t>(n, 0)), '\0');
  return Read(buffer.data(), n);
}

void TgtExtMemStream::SkipBytes(int64_t n) {
  const int64_t position = std::clamp<int64_t>(Position(), 0, Size());
  // Clamped before adding, so that no n can overflow the sum.
  SetPosition(position + std::clamp<int64_t>(n, -position, Size() - position));
}

void TgtExtMemStream::WriteUInt16BE(uint16_t v) {
  const uint8_t b[2] = {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
  Write(b, 2);
}

void TgtExtMemStream::WriteUInt32BE(uint32_t v) {
  const uint8_t b[4] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
                        static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
  Write(b, 4);
}

void TgtExtMemStream::PadToFourBytes() {
  Seek(0, TSeekOrigin::soEnd);
  const int64_t rem = Size() % 4;
  pad_count_ = rem == 0 ? 0 : 4 - rem;
  static const uint8_t zeros[4] = {0, 0, 0, 0};
  if (pad_count_ > 0) Write(zeros, pad_count_);
}

}  // namespace pagemint
