// SPDX-License-Identifier: GPL-3.0-or-later
// The wrappers the engine reads and writes files through, the big-endian
// memory stream, and the component base class.
//
// The read wrappers add byte-level operations (read, peek, step back, skip)
// and an end-of-data flag; they keep no position of their own, so the
// wrapper and the wrapped stream always agree on the position. When the
// wrapped stream holds its bytes in memory (a memory stream, or a file
// stream opened for reading) those operations work on the buffer directly:
// no call per byte. Such a wrapper keeps a view of that buffer, so the
// wrapped stream must not be written to or resized while it is wrapped.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/exception.h"
#include "platform/stream.h"

namespace pagemint {

PAGEMINT_EXCEPTION(TgtException, Exception);
PAGEMINT_EXCEPTION(EInvalidStream, TgtException);
PAGEMINT_EXCEPTION(EReadError, TgtException);

class TgtReadOnlyFilter : public TStream {
 public:
  // Raises EInvalidStream when stream is null. The stream is not owned.
  explicit TgtReadOnlyFilter(TStream* stream);

  int64_t GetSize() override { return stream_->Size(); }
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  // An offset of -1 returns -1 and leaves the position alone.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  MemoryView View() override { return stream_->View(); }

  TStream* Stream() const { return stream_; }
  // The wrapped stream's size when the wrapper was made.
  int64_t CachedSize() const { return cached_size_; }

  // Fast position access: on the buffer when there is one.
  int64_t Pos() const { return view_ ? *view_.position : stream_->Position(); }
  void SetPos(int64_t position) {
    if (view_)
      *view_.position = position;
    else
      stream_->SetPosition(position);
  }
  bool AtEnd() const { return Pos() >= cached_size_; }

  void Skip(int32_t n) { SetPos(Pos() + n); }

  // One byte, or 0 at the end of the data (the position does not move then).
  uint8_t ReadByte() {
    if (view_) {
      int64_t& p = *view_.position;
      if (p >= 0 && p < view_.size) return view_.data[p++];
      return 0;
    }
    return SlowReadByte();
  }
  // Up to n bytes; the result keeps length n, zero-filled past the end.
  std::string ReadBytes(int64_t n);
  // ReadBytes, then back by the number of bytes actually read.
  std::string PeekBytes(int64_t n);

 protected:
  uint8_t SlowReadByte();

  int64_t cached_size_;
  TStream* stream_;
  MemoryView view_;
};

class TgtRandomAccessFilter : public TgtReadOnlyFilter {
 public:
  explicit TgtRandomAccessFilter(TStream* stream) : TgtReadOnlyFilter(stream) {}

  // Reads a byte, sets the end-of-data flag when it was the last byte (or
  // there was none), and steps back over it: the position does not move.
  // Returns 0 past the end.
  uint8_t PeekByte() {
    if (view_) {
      const int64_t p = *view_.position;
      end_of_data_ = p + 1 >= view_.size;
      return (p >= 0 && p < view_.size) ? view_.data[p] : 0;
    }
    return SlowPeekByte();
  }
  void StepBack() { SetPos(Pos() - 1); }
  bool EndOfData() const { return end_of_data_; }

 protected:
  uint8_t SlowPeekByte();

  bool end_of_data_ = false;
};

class TgtWriteOnlyFilter : public TStream {
 public:
  explicit TgtWriteOnlyFilter(TStream* stream);

  int64_t GetSize() override { return stream_->Size(); }
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override {
    return stream_->Write(buffer, count);
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    return stream_->Seek(offset, origin);
  }
  int64_t CopyRangeFrom(TStream& source, int64_t offset, int64_t count) override {
    return stream_->CopyRangeFrom(source, offset, count);
  }

  TStream* Stream() const { return stream_; }

 private:
  TStream* stream_;
};

// Base of the document component: About and Version are published
// read-only.
class TgtComponent {
 public:
  virtual ~TgtComponent() = default;
  const std::string& About() const { return about_; }
  const std::string& Version() const { return version_; }

 protected:
  TgtComponent(std::string about, std::string version)
      : about_(std::move(about)), version_(std::move(version)) {}

 private:
  std::string about_;
  std::string version_;
};

}  // namespace pagemint
