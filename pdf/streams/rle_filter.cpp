// SPDX-License-Identifier: GPL-3.0-or-later
// RunLength: records of a length byte n and data. n below 128 copies the
// next n + 1 bytes, n above 128 repeats the next byte 257 - n times, and
// 128 ends the data (it must be the last byte, and nothing else may be).
#include <algorithm>

#include "pdf/streams/filters.h"
#include "platform/messages.h"

namespace pagemint {

namespace {

constexpr uint8_t kEndOfData = 128;
constexpr size_t kMaxRecord = 128;

class RunLengthEncoder {
 public:
  explicit RunLengthEncoder(std::string& out) : out_(out) {}

  void AddLiteral(char c) { literals_.push_back(c); }
  void AddLiterals(char c, size_t count) { literals_.append(count, c); }

  // Literals go out as records of at most 128 bytes.
  void FlushLiterals() {
    std::string_view rest = literals_;
    while (!rest.empty()) {
      const size_t n = std::min(rest.size(), kMaxRecord);
      out_.push_back(static_cast<char>(n - 1));
      out_.append(rest.substr(0, n));
      rest.remove_prefix(n);
    }
    literals_.clear();
  }

  // A run goes out as repeat records of at most 128 copies; a lone byte
  // left over is a one-byte literal record.
  void WriteRun(char c, size_t count) {
    while (count > kMaxRecord) {
      out_.push_back(static_cast<char>(257 - kMaxRecord));
      out_.push_back(c);
      count -= kMaxRecord;
    }
    out_.push_back(static_cast<char>(count == 1 ? 0 : 257 - count));
    out_.push_back(c);
  }

  bool HasLiterals() const { return !literals_.empty(); }

 private:
  std::string& out_;
  std::string literals_;
};

}  // namespace

std::string TgtRLEFilter::DecodeString(std::string_view data) {
  if (data.empty()) return {};
  if (static_cast<uint8_t>(data.back()) != kEndOfData) throw Exception(msg::kRunLengthMarkerWrong);
  // Records must end before the closing marker.
  const size_t end = data.size() - 1;
  std::string out;
  size_t i = 0;
  while (i < end) {
    const uint8_t n = static_cast<uint8_t>(data[i++]);
    if (n == kEndOfData) throw Exception(msg::kPrematureEndOfData);
    if (n < kEndOfData) {
      const size_t count = size_t{n} + 1;
      if (count > end - i) throw Exception(msg::kUnexpectedEndOfFile);
      CheckDecodedSize(static_cast<int64_t>(out.size() + count));
      out.append(data.substr(i, count));
      i += count;
    } else {
      if (i >= end) throw Exception(msg::kUnexpectedEndOfFile);
      const size_t count = 257 - size_t{n};
      CheckDecodedSize(static_cast<int64_t>(out.size() + count));
      out.append(count, data[i++]);
    }
  }
  return out;
}

// Runs of three or more equal bytes become repeat records. A pair becomes
// a repeat record when no literals are pending, or when another run
// follows it; otherwise it joins the literals, which is shorter.
std::string TgtRLEFilter::EncodeString(std::string_view data) {
  std::string out;
  if (data.empty()) {
    out.push_back(static_cast<char>(kEndOfData));
    return out;
  }
  out.reserve(data.size() + data.size() / kMaxRecord + 2);
  RunLengthEncoder enc(out);
  char current = data[0];
  size_t run = 1;
  for (size_t i = 1; i < data.size(); ++i) {
    const char c = data[i];
    if (c == current) {
      if (++run == 3) enc.FlushLiterals();
      continue;
    }
    if (run >= 3) {
      enc.WriteRun(current, run);
    } else if (run == 1) {
      enc.AddLiteral(current);
    } else if (!enc.HasLiterals()) {
      enc.WriteRun(current, 2);
    } else if (i + 1 < data.size() && data[i + 1] == c) {
      enc.FlushLiterals();
      enc.WriteRun(current, 2);
    } else {
      enc.AddLiterals(current, 2);
    }
    current = c;
    run = 1;
  }
  enc.FlushLiterals();
  enc.WriteRun(current, run);
  out.push_back(static_cast<char>(kEndOfData));
  return out;
}

std::unique_ptr<TMemoryStream> TgtRLEFilter::DecodeStream(TStream& source) {
  std::string holder;
  return ToStream(DecodeString(SourceBytes(source, holder)));
}

std::unique_ptr<TMemoryStream> TgtRLEFilter::EncodeStream(TStream& source) {
  std::string holder;
  return ToStream(EncodeString(SourceBytes(source, holder)));
}

}  // namespace pagemint
