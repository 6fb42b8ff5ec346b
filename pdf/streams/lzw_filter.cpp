// SPDX-License-Identifier: GPL-3.0-or-later
// LZW with early change: codes are read most significant bit first,
// starting 9 bits wide; 256 clears the table, 257 ends the data. The
// width grows to 10, 11 and 12 bits as the table reaches 511, 1023 and
// 2047 entries. At 4095 entries the table starts over by itself; the
// encoder's clear code that follows is still written 12 bits wide, so
// until the next clear only the low 9 bits of each code count.
//
// The first code after a clear (and the very first code) adds a table
// entry too, at 257, which is never looked up; so later entries get the
// usual numbers from 258 on.
//
// Decoding stops at the end-of-data code or when fewer bits remain than a
// code needs. The table never holds more than 4095 entries and the width
// never passes 12 bits, whatever the data says.
#include <algorithm>

#include "pdf/streams/filters.h"
#include "platform/messages.h"

namespace pagemint {

namespace {

constexpr int kClearCode = 256;
constexpr int kEndCode = 257;
constexpr int kFirstTableSize = 257;  // the 256 bytes and the clear code's placeholder
constexpr int kFullTableSize = 4095;
constexpr int kMinWidth = 9;
constexpr int kMaxWidth = 12;

// Codes most significant bit first.
class CodeReader {
 public:
  explicit CodeReader(std::string_view data)
      : p_(reinterpret_cast<const uint8_t*>(data.data())), end_(p_ + data.size()) {}

  // False when fewer than width bits remain.
  bool Next(int width, int& code) {
    while (bits_ < width) {
      if (p_ == end_) return false;
      acc_ = acc_ << 8 | *p_++;
      bits_ += 8;
    }
    bits_ -= width;
    code = static_cast<int>((acc_ >> bits_) & ((uint32_t{1} << width) - 1));
    return true;
  }

 private:
  const uint8_t* p_;
  const uint8_t* end_;
  uint32_t acc_ = 0;
  int bits_ = 0;
};

}  // namespace

TgtLZWFilter::TgtLZWFilter() {
  table_.reserve(kFullTableSize + 1);
  ResetTable();
}

void TgtLZWFilter::ResetTable() {
  if (!table_.empty()) {
    table_.resize(kFirstTableSize);  // entries below 257 never change
    return;
  }
  for (int i = 0; i < 256; ++i)
    table_.push_back({kNoPrefix, static_cast<uint8_t>(i), static_cast<uint8_t>(i), 1});
  table_.push_back({kNoPrefix, 0, 0, 1});
}

// The entry prefix (none when prefix is -1) followed by last.
void TgtLZWFilter::AddEntry(int prefix, uint8_t last) {
  if (prefix < 0) {
    table_.push_back({kNoPrefix, last, last, 1});
    return;
  }
  const Entry& p = table_[static_cast<size_t>(prefix)];
  table_.push_back(
      {static_cast<uint16_t>(prefix), last, p.first, static_cast<uint16_t>(p.length + 1)});
}

// Writes the entry's string by walking its chain from the last byte back.
void TgtLZWFilter::Append(std::string& out, int code) {
  const size_t start = out.size();
  const Entry* e = &table_[static_cast<size_t>(code)];
  CheckDecodedSize(static_cast<int64_t>(start + e->length));
  out.resize(start + e->length);
  char* p = out.data() + start + e->length;
  for (;;) {
    *--p = static_cast<char>(e->last);
    if (e->prefix == kNoPrefix) break;
    e = &table_[e->prefix];
  }
}

std::string TgtLZWFilter::DecodeString(std::string_view data) {
  ResetTable();
  std::string out;
  out.reserve(std::min<size_t>(data.size() * 3, static_cast<size_t>(MaxDecodedSize())));
  CodeReader reader(data);
  int width = kMinWidth;
  bool low_bits_only = false;
  int previous = -1;           // the previous code, kept across a clear
  uint8_t previous_first = 0;  // the first byte of the previous output
  int code = 0;
  while (reader.Next(width, code)) {
    if (low_bits_only) code &= 0x1FF;
    if (code == kClearCode) {
      ResetTable();
      width = kMinWidth;
      low_bits_only = false;
      continue;
    }
    if (code == kEndCode) break;
    const int size = static_cast<int>(table_.size());
    const bool previous_known = previous >= 0 && previous < size;
    uint8_t first;
    if (code < size) {
      Append(out, code);
      first = table_[static_cast<size_t>(code)].first;
    } else {
      // A code not yet in the table repeats the previous string plus its
      // own first byte; without a previous string it means nothing.
      if (!previous_known) throw Exception(Format(msg::kInvalidLzwCode, code));
      Append(out, previous);
      CheckDecodedSize(static_cast<int64_t>(out.size()) + 1);
      out.push_back(static_cast<char>(previous_first));
      first = table_[static_cast<size_t>(previous)].first;
    }
    AddEntry(previous_known ? previous : -1, first);
    previous = code;
    previous_first = first;
    const size_t entries = table_.size();
    if (entries == 511 || entries == 1023 || entries == 2047) {
      width = std::min(width + 1, kMaxWidth);
    } else if (entries == kFullTableSize) {
      ResetTable();
      low_bits_only = true;
    }
  }
  return out;
}

std::unique_ptr<TMemoryStream> TgtLZWFilter::DecodeStream(TStream& source) {
  std::string holder;
  return ToStream(DecodeString(SourceBytes(source, holder)));
}

}  // namespace pagemint
