// SPDX-License-Identifier: GPL-3.0-or-later
#include <zlib.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "pdf/streams/filters.h"
#include "pdf/streams/zlib_streams.h"

namespace pagemint {

namespace {

// Output is pulled from zlib in chunks that double from the first size to
// the last, so small streams stay small and large ones take few calls.
constexpr int64_t kFirstChunk = 64 * 1024;
constexpr int64_t kLastChunk = 16 * 1024 * 1024;

}  // namespace

// Damaged Flate data is common in real files: a producer cuts the last
// block short, or writes a wrong Adler-32 checksum. What inflated before
// the damage is kept and the rest is dropped; only damaged data that
// yields nothing at all raises EZDecompressionError, with zlib's message
// (for data that simply stops early, zlib's message for an incomplete
// stream, "buffer error"). Zero bytes of input give zero bytes of output.
std::string TgtFlateFilter::Inflate(TStream& source) {
  source.SetPosition(0);
  const bool has_input = source.Size() > 0;
  TDecompressionStream z(source);
  // Output collects in uninitialised chunks of growing size and is joined
  // once at the end: no zero-filling and no copying on growth.
  std::vector<std::pair<std::unique_ptr<char[]>, int64_t>> chunks;
  int64_t total = 0;
  int64_t chunk = kFirstChunk;
  for (;;) {
    // One byte more than the limit allows, to tell "exactly the limit"
    // from "beyond it".
    const int64_t room = MaxDecodedSize() - total;
    const int64_t want = room >= chunk ? chunk : room + 1;
    std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(want)]);
    int64_t got = 0;
    try {
      got = z.Read(buffer.get(), want);
    } catch (const EZDecompressionError&) {
      if (total == 0) throw;
      break;
    }
    total += got;
    CheckDecodedSize(total);
    if (got > 0) chunks.emplace_back(std::move(buffer), got);
    if (got < want) break;
    chunk = std::min(chunk * 2, kLastChunk);
  }
  if (total == 0 && has_input && !z.StreamEnded()) throw EZDecompressionError(zError(Z_BUF_ERROR));
  std::string out;
  out.reserve(static_cast<size_t>(total));
  for (const auto& [bytes, size] : chunks) out.append(bytes.get(), static_cast<size_t>(size));
  return out;
}

std::unique_ptr<TMemoryStream> TgtFlateFilter::DecodeStream(TStream& source) {
  return ToStream(Inflate(source));
}

std::string TgtFlateFilter::DecodeString(std::string_view data) {
  if (data.empty()) return {};
  TMemoryStream source{std::string(data)};
  return Inflate(source);
}

std::unique_ptr<TMemoryStream> TgtFlateFilter::CompressStream(TStream& source, uint8_t level) {
  std::string holder;
  return ToStream(CompressString(SourceBytes(source, holder), level));
}

std::string TgtFlateFilter::CompressString(std::string_view data, uint8_t level) {
  TMemoryStream out;
  TCompressionStream z(level, out);
  z.Write(data.data(), static_cast<int64_t>(data.size()));
  z.Finish();
  return out.TakeBytes();
}

}  // namespace pagemint
