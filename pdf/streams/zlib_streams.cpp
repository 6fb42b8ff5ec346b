// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/streams/zlib_streams.h"

#include <zlib.h>

#include <algorithm>

#include "platform/messages.h"

namespace pagemint {

namespace {

// zlib counts in 32-bit unsigned; larger requests are fed in slices.
constexpr int64_t kMaxZSlice = int64_t{1} << 30;

// Chunk size of the read-and-discard loops of a forward seek.
constexpr int64_t kDiscardChunk = 8192;

std::string ZMessage(const z_stream& s, int result) {
  if (s.msg != nullptr) return s.msg;
  return zError(result);
}

}  // namespace

struct TCustomZStream::State {
  z_stream s{};
  bool deflating = false;
  bool started = false;
};

int ZLibLevel(uint8_t level) {
  switch (level) {
    case clNone:
      return Z_NO_COMPRESSION;
    case clFastest:
      return Z_BEST_SPEED;
    case clMaximum:
      return Z_BEST_COMPRESSION;
    default:
      return Z_DEFAULT_COMPRESSION;
  }
}

TCustomZStream::TCustomZStream(TStream& other)
    : stream_(other),
      stream_pos_(other.Position()),
      z_(std::make_unique<State>()),
      buffer_(std::make_unique<uint8_t[]>(kBufferSize)) {}

TCustomZStream::~TCustomZStream() {
  if (!z_->started) return;
  if (z_->deflating)
    deflateEnd(&z_->s);
  else
    inflateEnd(&z_->s);
}

// ---------------------------------------------------------------------------

TCompressionStream::TCompressionStream(uint8_t level, TStream& dest) : TCustomZStream(dest) {
  z_stream& s = z_->s;
  const int r = deflateInit(&s, ZLibLevel(level));
  if (r != Z_OK) throw EZCompressionError(ZMessage(s, r));
  z_->started = true;
  z_->deflating = true;
  s.next_out = buffer_.get();
  s.avail_out = static_cast<uInt>(kBufferSize);
}

TCompressionStream::~TCompressionStream() {
  try {
    Finish();
  } catch (...) {
    // A destructor cannot report; the caller that needs to know calls Finish.
  }
}

int64_t TCompressionStream::Read(void*, int64_t) {
  throw EZCompressionError(msg::kInvalidZStreamOperation);
}

void TCompressionStream::RestoreDestPosition() {
  if (stream_.Position() != stream_pos_) stream_.SetPosition(stream_pos_);
}

void TCompressionStream::FlushBuffer() {
  z_stream& s = z_->s;
  const int64_t n = kBufferSize - s.avail_out;
  if (n > 0) stream_.WriteBuffer(buffer_.get(), n);
  s.next_out = buffer_.get();
  s.avail_out = static_cast<uInt>(kBufferSize);
  stream_pos_ = stream_.Position();
  Progress();
}

int64_t TCompressionStream::Write(const void* buffer, int64_t count) {
  if (finished_) throw EZCompressionError(msg::kInvalidZStreamOperation);
  if (count <= 0) return 0;
  RestoreDestPosition();
  z_stream& s = z_->s;
  const Bytef* in = static_cast<const Bytef*>(buffer);
  int64_t left = count;
  while (left > 0) {
    const int64_t slice = std::min(left, kMaxZSlice);
    s.next_in = const_cast<Bytef*>(in);
    s.avail_in = static_cast<uInt>(slice);
    while (s.avail_in > 0) {
      const int r = deflate(&s, Z_NO_FLUSH);
      if (r < 0) throw EZCompressionError(ZMessage(s, r));
      if (s.avail_out == 0) FlushBuffer();
    }
    in += slice;
    left -= slice;
  }
  return count;
}

void TCompressionStream::Finish() {
  if (finished_) return;
  finished_ = true;
  RestoreDestPosition();
  z_stream& s = z_->s;
  s.next_in = nullptr;
  s.avail_in = 0;
  for (;;) {
    const int r = deflate(&s, Z_FINISH);
    if (r < 0) throw EZCompressionError(ZMessage(s, r));
    if (r == Z_STREAM_END) break;
    if (s.avail_out == 0) FlushBuffer();
  }
  if (s.avail_out < kBufferSize) FlushBuffer();
}

int64_t TCompressionStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (offset != 0 || origin != TSeekOrigin::soCurrent)
    throw EZCompressionError(msg::kInvalidZStreamOperation);
  return static_cast<int64_t>(z_->s.total_in);
}

// ---------------------------------------------------------------------------

TDecompressionStream::TDecompressionStream(TStream& source) : TCustomZStream(source) {
  z_stream& s = z_->s;
  const int r = inflateInit(&s);
  if (r != Z_OK) throw EZDecompressionError(ZMessage(s, r));
  z_->started = true;
}

int64_t TDecompressionStream::TotalOut() const { return static_cast<int64_t>(z_->s.total_out); }

int64_t TDecompressionStream::Write(const void*, int64_t) {
  throw EZDecompressionError(msg::kInvalidZStreamOperation);
}

int64_t TDecompressionStream::Read(void* buffer, int64_t count) {
  if (pending_error_ != 0) throw EZDecompressionError(pending_message_);
  if (count <= 0 || ended_) return 0;
  if (stream_.Position() != stream_pos_) stream_.SetPosition(stream_pos_);
  return Inflate(static_cast<uint8_t*>(buffer), count);
}

int64_t TDecompressionStream::Inflate(uint8_t* out, int64_t count) {
  z_stream& s = z_->s;
  int64_t produced = 0;
  while (produced < count) {
    if (s.avail_in == 0) {
      const int64_t n = stream_.Read(buffer_.get(), kBufferSize);
      if (n <= 0) break;
      s.next_in = buffer_.get();
      s.avail_in = static_cast<uInt>(n);
      stream_pos_ = stream_.Position();
      Progress();
    }
    const int64_t room = std::min(count - produced, kMaxZSlice);
    s.next_out = out + produced;
    s.avail_out = static_cast<uInt>(room);
    const int r = inflate(&s, Z_NO_FLUSH);
    produced += room - s.avail_out;
    if (r == Z_STREAM_END) {
      ended_ = true;
      // Leave the source right after the compressed data.
      if (s.avail_in > 0) {
        stream_pos_ -= s.avail_in;
        stream_.SetPosition(stream_pos_);
        s.avail_in = 0;
      }
      break;
    }
    // Anything but progress is an error here: input and room were both
    // available, so a result such as Z_NEED_DICT or Z_BUF_ERROR would
    // otherwise loop for ever.
    if (r != Z_OK) {
      std::string message = ZMessage(s, r);
      if (produced == 0) throw EZDecompressionError(message);
      pending_error_ = r;
      pending_message_ = std::move(message);
      break;
    }
  }
  return produced;
}

void TDecompressionStream::Discard(int64_t count) {
  uint8_t chunk[kDiscardChunk];
  while (count > 0) {
    const int64_t want = std::min(count, kDiscardChunk);
    const int64_t got = Read(chunk, want);
    count -= got;
    if (got < want) break;
  }
}

int64_t TDecompressionStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int64_t produced = TotalOut();
  if (offset == 0 && origin == TSeekOrigin::soBeginning) {
    const int r = inflateReset(&z_->s);
    if (r != Z_OK) throw EZDecompressionError(ZMessage(z_->s, r));
    z_->s.avail_in = 0;
    ended_ = false;
    pending_error_ = 0;
    pending_message_.clear();
    stream_.SetPosition(0);
    stream_pos_ = 0;
  } else if (origin == TSeekOrigin::soCurrent && offset >= 0) {
    Discard(offset);
  } else if (origin == TSeekOrigin::soBeginning && offset >= produced) {
    Discard(offset - produced);
  } else if (origin == TSeekOrigin::soEnd && offset == 0) {
    Discard(INT64_MAX);
  } else {
    throw EZDecompressionError(msg::kInvalidZStreamOperation);
  }
  return TotalOut();
}

}  // namespace pagemint
