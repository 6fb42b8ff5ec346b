// SPDX-License-Identifier: GPL-3.0-or-later
// A plain LZW encoder with early change, for tests: it makes decoder
// input of any length and records which code widths it used.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pagemint::testing {

class LzwEncoder {
 public:
  // The encoder clears its table once the next free code reaches
  // clear_at (at most 4096, where the decoder starts over by itself).
  explicit LzwEncoder(int clear_at = 4096) : clear_at_(clear_at) {}

  std::string Encode(std::string_view data, bool leading_clear = true, bool end_code = true) {
    out_.clear();
    acc_ = 0;
    bits_ = 0;
    Reset();
    if (leading_clear) Put(256);
    int current = -1;
    for (const char ch : data) {
      const auto c = static_cast<uint8_t>(ch);
      if (current < 0) {
        current = c;
        continue;
      }
      const auto it = table_.find(Key(current, c));
      if (it != table_.end()) {
        current = it->second;
        continue;
      }
      Put(current);
      table_.emplace(Key(current, c), next_++);
      if (next_ == 512 || next_ == 1024 || next_ == 2048) ++width_;
      if (next_ == clear_at_) {
        Put(256);
        ++clears_;
        Reset();
      }
      current = c;
    }
    if (current >= 0) Put(current);
    if (end_code) Put(257);
    if (bits_ > 0) out_.push_back(static_cast<char>(acc_ << (8 - bits_)));
    return out_;
  }

  // Code widths used, and table clears made on the way.
  const std::set<int>& Widths() const { return widths_; }
  int Clears() const { return clears_; }

  // Codes written as they are, each in the given width.
  static std::string Pack(const std::vector<std::pair<int, int>>& codes) {
    LzwEncoder e;
    for (const auto& [code, width] : codes) {
      e.width_ = width;
      e.Put(code);
    }
    if (e.bits_ > 0) e.out_.push_back(static_cast<char>(e.acc_ << (8 - e.bits_)));
    return e.out_;
  }

 private:
  static uint32_t Key(int prefix, uint8_t c) { return static_cast<uint32_t>(prefix) << 8 | c; }

  void Reset() {
    table_.clear();
    next_ = 258;
    width_ = 9;
  }

  void Put(int code) {
    widths_.insert(width_);
    acc_ = acc_ << width_ | static_cast<uint32_t>(code);
    bits_ += width_;
    while (bits_ >= 8) {
      bits_ -= 8;
      out_.push_back(static_cast<char>(acc_ >> bits_));
    }
  }

  int clear_at_;
  std::unordered_map<uint32_t, int> table_;
  int next_ = 258;
  int width_ = 9;
  std::string out_;
  uint32_t acc_ = 0;
  int bits_ = 0;
  std::set<int> widths_;
  int clears_ = 0;
};

}  // namespace pagemint::testing
