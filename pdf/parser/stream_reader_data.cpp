// SPDX-License-Identifier: GPL-3.0-or-later
// The raw data of a stream: "stream", end of line, the data, "endstream".
//
// The declared length is checked against where "endstream" really is. A
// wrong length is mended by searching backwards through the declared data
// for the last "endstream" (the first one when an "endobj" lies before
// that), then forwards after it for the first one. A
// length that runs past the end of the data cannot be checked at all; the
// data then ends at the first "endstream" after its start, rather than at
// the last one in the file (which would swallow every object in between).
// All searches work on the buffer in one pass each, bounded by the data.
#include <string.h>

#include <algorithm>
#include <cstring>

#include "pdf/parser/char_classes.h"
#include "pdf/parser/stream_reader.h"
#include "platform/messages.h"

namespace pagemint {

namespace {

constexpr std::string_view kEndStream = "endstream";
constexpr int64_t kEndStreamSize = static_cast<int64_t>(kEndStream.size());

// Offset of the first word in window, or -1. memmem is linear and
// vectorised, whatever the bytes.
int64_t FindFirst(std::string_view window, std::string_view word = kEndStream) {
  const void* at = memmem(window.data(), window.size(), word.data(), word.size());
  return at ? static_cast<const char*>(at) - window.data() : -1;
}

// Offset of the last "endstream" in window, or -1. Testing the final "m"
// first keeps the scan to one comparison for nearly every byte.
int64_t FindLast(std::string_view window) {
  const char* data = window.data();
  for (int64_t p = static_cast<int64_t>(window.size()) - kEndStreamSize; p >= 0; --p) {
    if (data[p + kEndStreamSize - 1] == 'm' &&
        std::memcmp(data + p, kEndStream.data(), kEndStream.size()) == 0)
      return p;
  }
  return -1;
}

}  // namespace

int64_t TgtPDFStreamReader::FindEndStream(int64_t from, int64_t last) {
  from = std::max<int64_t>(from, 0);
  last = std::min(last, DataSize() - kEndStreamSize);
  if (last < from) return -1;
  std::string scratch;
  const std::string_view window = Range(from, last + kEndStreamSize, scratch);
  const int64_t at = FindFirst(window);
  return at < 0 ? -1 : from + at;
}

int64_t TgtPDFStreamReader::FindLastEndStream(int64_t first, int64_t from) {
  first = std::max<int64_t>(first, 0);
  from = std::min(from, DataSize() - kEndStreamSize);
  if (from < first) return -1;
  std::string scratch;
  const std::string_view window = Range(first, from + kEndStreamSize, scratch);
  const int64_t at = FindLast(window);
  return at < 0 ? -1 : first + at;
}

int64_t TgtPDFStreamReader::FindDataEnd(int64_t start, int64_t declared,
                                        bool& end_stream_lost) {
  const int64_t size = DataSize();
  const int64_t available = size - start;
  if (declared > available) return FindEndStream(start, size);
  if (declared >= 0) {
    SetPos(start + declared);
    SkipWhitespace();
    if (BytesAt(Pos(), kEndStream)) return start + declared;
  }
  // Backwards from just before the declared end, down to nine bytes before
  // the start, so that every offset of the declared data is tried.
  // A length that runs on over "endobj" has swallowed later objects: the
  // last "endstream" is theirs, the first one after the start is this one's.
  int64_t end = -1;
  if (declared >= -kEndStreamSize + 1)
    end = FindLastEndStream(start - kEndStreamSize, start + declared - 1);
  if (end >= 0) {
    std::string scratch;
    if (end > start && FindFirst(Range(start, end, scratch), "endobj") >= 0)
      end = FindEndStream(start - kEndStreamSize, end);
    return end;
  }
  // Then forwards from just after the declared end, to the first
  // "endstream" unless an "endobj" comes first: then this stream's keyword
  // is lost (damaged), and the one found belongs to a later object, whose
  // objects in between it would swallow. That is an error, and while
  // repairing the data ends at its declared length (or at the "endobj").
  const int64_t after = declared < -start ? 0 : start + declared + 1;
  const int64_t found = FindEndStream(after, size);
  std::string scratch;
  const int64_t object_end =
      after < size ? FindFirst(Range(after, found < 0 ? size : found, scratch), "endobj") : -1;
  if (object_end < 0) return found;
  if (!repairing_) return -1;
  end_stream_lost = true;
  return declared >= 0 ? start + declared : after + object_end;
}

TgtPDFStreamReader::DataExtent TgtPDFStreamReader::ReadStreamExtent(int64_t length) {
  SkipWhitespace();
  if (!ReadKeyword("stream")) throw EStreamReadError(msg::kPdfStreamReadError);
  DataExtent extent;
  if (length == 0) {
    extent.start = Pos();
    SkipWhitespace();
  } else {
    // The keyword's end of line: CR LF, LF or a lone CR, after any spaces.
    SkipClass(chars::kSpaceTab);
    if (More() && PeekByte() == '\r') ReadByte();
    if (More() && PeekByte() == '\n') ReadByte();
    const int64_t start = Pos();
    bool end_stream_lost = false;
    const int64_t end = FindDataEnd(start, length, end_stream_lost);
    if (end < 0) throw EEndStreamError(msg::kExpectedEndStream);
    if (end_stream_lost) {
      ++repairs_;
      extent.start = start;
      extent.size = end - start;
      SetPos(end);
      return extent;
    }
    const bool copy = end - start > 1 || (end - start == 1 && !BytesAt(start, kEndStream));
    extent.start = start;
    extent.size = copy ? end - start : 0;
    SetPos(copy ? end : start);
  }
  SkipWhitespace();
  if (!ReadKeyword(kEndStream)) throw EEndStreamError(msg::kExpectedEndStream);
  return extent;
}

std::unique_ptr<TMemoryStream> TgtPDFStreamReader::ReadStreamData(
    int64_t length, int32_t number, int32_t generation, const TgtPDFDictObject* dictionary) {
  const DataExtent extent = ReadStreamExtent(length);
  const int64_t after = Pos();
  std::string bytes;
  AppendRange(bytes, extent.start, extent.start + extent.size);
  SetPos(after);
  if (decryptor_ != nullptr && !bytes.empty())
    decryptor_->DecryptStreamData(bytes, dictionary, number, generation);
  return std::make_unique<TMemoryStream>(std::move(bytes));
}

}  // namespace pagemint
