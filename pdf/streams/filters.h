// SPDX-License-Identifier: GPL-3.0-or-later
// The stream codecs: Flate (through the zlib streams), ASCIIHex, ASCII85,
// RunLength and LZW (decode only).
//
// Every codec works on the whole data at once: a stream argument is taken
// whole from its start, decoded or encoded as one byte string, and handed
// back as a new memory stream that the caller owns. The source's content
// is never changed (its position may move).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/limits.h"
#include "pdf/streams/zlib_streams.h"
#include "platform/exception.h"
#include "platform/stream.h"

namespace pagemint {


PAGEMINT_EXCEPTION(EDecodedSizeError, Exception);

class TgtFilter {
 public:
  TgtFilter() = default;
  TgtFilter(const TgtFilter&) = delete;
  TgtFilter& operator=(const TgtFilter&) = delete;
  virtual ~TgtFilter() = default;

  // The encoders a codec does not have return nullptr or an empty string.
  virtual std::unique_ptr<TMemoryStream> CompressStream(TStream& source, uint8_t level);
  virtual std::string CompressString(std::string_view data, uint8_t level);
  virtual std::unique_ptr<TMemoryStream> EncodeStream(TStream& source);
  virtual std::string EncodeString(std::string_view data);
  virtual std::unique_ptr<TMemoryStream> DecodeStream(TStream& source) = 0;
  virtual std::string DecodeString(std::string_view data) = 0;

  int64_t MaxDecodedSize() const { return max_decoded_size_; }
  void SetMaxDecodedSize(int64_t limit) { max_decoded_size_ = limit; }

 protected:
  // Raises EDecodedSizeError when size is beyond the limit.
  void CheckDecodedSize(int64_t size) const;
  // The whole source from its start: its own buffer when it has one,
  // else a copy in holder.
  static std::string_view SourceBytes(TStream& source, std::string& holder);
  static std::unique_ptr<TMemoryStream> ToStream(std::string bytes) {
    return std::make_unique<TMemoryStream>(std::move(bytes));
  }

 private:
  int64_t max_decoded_size_ = kMaxDecodedSize;
};

class TgtFlateFilter : public TgtFilter {
 public:
  // level: a TCompressionLevel (0 none, 1 fastest, 2 normal, 3 maximum).
  std::unique_ptr<TMemoryStream> CompressStream(TStream& source, uint8_t level) override;
  std::string CompressString(std::string_view data, uint8_t level) override;
  std::unique_ptr<TMemoryStream> DecodeStream(TStream& source) override;
  std::string DecodeString(std::string_view data) override;

 private:
  std::string Inflate(TStream& source);
};

class TgtAsciiHexFilter : public TgtFilter {
 public:
  std::unique_ptr<TMemoryStream> EncodeStream(TStream& source) override;
  std::string EncodeString(std::string_view data) override;
  std::unique_ptr<TMemoryStream> DecodeStream(TStream& source) override;
  std::string DecodeString(std::string_view data) override;
};

class TgtAscii85Filter : public TgtFilter {
 public:
  std::unique_ptr<TMemoryStream> EncodeStream(TStream& source) override;
  std::string EncodeString(std::string_view data) override;
  std::unique_ptr<TMemoryStream> DecodeStream(TStream& source) override;
  std::string DecodeString(std::string_view data) override;
};

class TgtRLEFilter : public TgtFilter {
 public:
  std::unique_ptr<TMemoryStream> EncodeStream(TStream& source) override;
  std::string EncodeString(std::string_view data) override;
  std::unique_ptr<TMemoryStream> DecodeStream(TStream& source) override;
  std::string DecodeString(std::string_view data) override;
};

class TgtLZWFilter : public TgtFilter {
 public:
  TgtLZWFilter();
  std::unique_ptr<TMemoryStream> DecodeStream(TStream& source) override;
  std::string DecodeString(std::string_view data) override;

  // One code table entry: the entry `prefix` followed by `last`. Entries
  // share their prefixes, so the table costs a few bytes per entry and
  // an entry's string is produced by walking the chain back.
  struct Entry {
    uint16_t prefix;  // kNoPrefix for a one-byte entry
    uint8_t last;
    uint8_t first;
    uint16_t length;
  };
  static constexpr uint16_t kNoPrefix = 0xFFFF;

 private:
  void ResetTable();
  void AddEntry(int prefix, uint8_t first_of_output);
  void Append(std::string& out, int code);

  std::vector<Entry> table_;
};

}  // namespace pagemint
