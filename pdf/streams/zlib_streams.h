// SPDX-License-Identifier: GPL-3.0-or-later
// Streams over zlib: a compression stream that deflates what is written to
// it into another stream, and a decompression stream that inflates what it
// reads from another stream. Both speak the zlib format (header and
// Adler-32 trailer) and pass data through a fixed 64 KiB buffer, so each
// call on the other stream moves a whole buffer, never a byte.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/exception.h"
#include "platform/stream.h"

namespace pagemint {

PAGEMINT_EXCEPTION(EZLibError, Exception);
PAGEMINT_EXCEPTION(EZCompressionError, EZLibError);
PAGEMINT_EXCEPTION(EZDecompressionError, EZLibError);

// The four compression levels the engine offers; ZLibLevel maps each to
// the level handed to deflate.
enum TCompressionLevel : uint8_t { clNone = 0, clFastest = 1, clNormal = 2, clMaximum = 3 };

// 0 (stored), 1, zlib's default, 9. Any other value gives zlib's default.
int ZLibLevel(uint8_t level);

class TCustomZStream : public TStream {
 public:
  using ProgressEvent = std::function<void(TCustomZStream&)>;

  ~TCustomZStream() override;

  // Called after every buffer written out to or read in from the other stream.
  void SetOnProgress(ProgressEvent handler) { on_progress_ = std::move(handler); }

 protected:
  static constexpr int64_t kBufferSize = 65536;

  explicit TCustomZStream(TStream& other);
  void Progress() {
    if (on_progress_) on_progress_(*this);
  }

  TStream& stream_;
  int64_t stream_pos_;  // the other stream's position as this object last left it
  ProgressEvent on_progress_;
  // zlib's z_stream, kept opaque here so that users need not include zlib.
  struct State;
  std::unique_ptr<State> z_;
  std::unique_ptr<uint8_t[]> buffer_;
};

class TCompressionStream : public TCustomZStream {
 public:
  // Raises EZCompressionError when zlib cannot start.
  TCompressionStream(uint8_t level, TStream& dest);
  // Finishes the zlib stream if Finish was not called; errors are lost
  // here, so callers that care call Finish themselves.
  ~TCompressionStream() override;

  // Writes the end of the zlib stream to the destination. Later writes
  // raise EZCompressionError.
  void Finish();

  int64_t Read(void* buffer, int64_t count) override;  // raises
  int64_t Write(const void* buffer, int64_t count) override;
  // Only (0, soCurrent), which returns the number of bytes taken in.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;

 private:
  void FlushBuffer();
  void RestoreDestPosition();

  bool finished_ = false;
};

class TDecompressionStream : public TCustomZStream {
 public:
  // Starts reading the source at its current position. Raises
  // EZDecompressionError when zlib cannot start.
  explicit TDecompressionStream(TStream& source);

  // Fills buffer from inflate. Stops early, returning what it produced,
  // when the source runs out or the zlib stream ends. A zlib error raises
  // EZDecompressionError with zlib's message; when bytes were produced in
  // the same call they are returned first and the next call raises.
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;  // raises
  // (0, soBeginning) restarts at source position 0; forward seeks from the
  // beginning or the current position read and discard; (0, soEnd) reads
  // to the end. Returns the number of bytes produced so far.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;

  // True once zlib has seen the end of the compressed data.
  bool StreamEnded() const { return ended_; }
  // Bytes produced so far.
  int64_t TotalOut() const;

 private:
  int64_t Inflate(uint8_t* out, int64_t count);
  void Discard(int64_t count);

  bool ended_ = false;
  int pending_error_ = 0;  // a zlib error held back until the next Read
  std::string pending_message_;
};

}  // namespace pagemint
