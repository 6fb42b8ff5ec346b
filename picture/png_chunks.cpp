// SPDX-License-Identifier: GPL-3.0-or-later
#include "picture/png_chunks.h"

#include <cstdint>
#include <cstring>

#include "platform/messages.h"

namespace pagemint {

namespace {

constexpr char kSignature[] = "\x89PNG\r\n\x1A\n";
constexpr size_t kSignatureSize = 8;
// A chunk's length and type before its data, its CRC after.
constexpr size_t kChunkFrame = 12;

uint32_t BigEndian32(const char* p) {
  const auto* b = reinterpret_cast<const uint8_t*>(p);
  return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

// The chunk type as it can be shown: its letters, else its bytes in hex.
std::string Shown(std::string_view type) {
  for (const char c : type)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) {
      std::string hex;
      for (const char b : type)
        hex += Format("%02X", static_cast<unsigned>(static_cast<uint8_t>(b)));
      return hex;
    }
  return std::string(type);
}

}  // namespace

std::string PngChunkTrouble(std::string_view png) {
  if (png.size() < kSignatureSize || std::memcmp(png.data(), kSignature, kSignatureSize) != 0)
    return {};
  for (size_t at = kSignatureSize; png.size() - at >= kChunkFrame;) {
    const uint32_t length = BigEndian32(png.data() + at);
    const std::string_view type = png.substr(at + 4, 4);
    if (length > png.size() - at - kChunkFrame)
      return Format(msg::kPngChunkPastEnd, Shown(type).c_str(), length);
    if (type == "IEND") break;
    at += kChunkFrame + length;
  }
  return {};
}

}  // namespace pagemint
