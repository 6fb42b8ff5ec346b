// SPDX-License-Identifier: GPL-3.0-or-later
// MD5 message digest (RFC 1321), used by the standard security handler
// for every key it derives. Not for anything that needs a secure hash.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pagemint {

using TMD5Digest = std::array<uint8_t, 16>;

class TMD5 {
 public:
  TMD5();
  void Update(const void* data, size_t size);
  void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
  // Pads, finishes and returns the digest; the object starts over afterwards.
  TMD5Digest Final();

  static TMD5Digest Digest(std::string_view bytes);
  static TMD5Digest Digest(const void* data, size_t size);

 private:
  void Reset();
  void Transform(const uint8_t* block);

  std::array<uint32_t, 4> state_;
  uint64_t length_ = 0;  // bytes hashed so far
  std::array<uint8_t, 64> buffer_{};
  size_t buffered_ = 0;
};

}  // namespace pagemint
