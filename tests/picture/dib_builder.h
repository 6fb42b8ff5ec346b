// SPDX-License-Identifier: GPL-3.0-or-later
// Lays out test bitmaps byte by byte: a DIB's header, bit masks, colour
// table and pixel rows, and the bitmap file around it. Shared by the
// picture tests and the thumbnail tests.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "picture_test_util.h"

namespace pagemint::test {

// What a test bitmap is made of; BuildInfo and BuildBmp lay it out.
struct Dib {
  uint32_t header_size = 40;
  int32_t width = 0;
  int32_t height = 0;  // negative: top-down
  uint16_t bit_count = 24;
  uint32_t compression = 0;
  uint32_t colors_used = 0;
  std::vector<uint32_t> palette;  // 0xRRGGBB
  std::array<uint32_t, 4> masks{};
  int stored_masks = 0;  // masks after a 40-byte header
  std::string bits;
};

inline std::string BuildInfo(const Dib& d) {
  Bytes b;
  b.u32(d.header_size);
  if (d.header_size == 12) {
    b.u16(d.width).u16(d.height).u16(1).u16(d.bit_count);
  } else {
    b.i32(d.width).i32(d.height).u16(1).u16(d.bit_count);
    if (d.header_size >= 20) b.u32(d.compression);
    if (d.header_size >= 40) b.u32(0).i32(2835).i32(2835).u32(d.colors_used).u32(0);
    if (d.header_size >= 52) b.u32(d.masks[0]).u32(d.masks[1]).u32(d.masks[2]);
    if (d.header_size >= 56) b.u32(d.masks[3]);
    if (d.header_size > b.size()) b.zeros(d.header_size - b.size());
  }
  for (int i = 0; i < d.stored_masks; ++i) b.u32(d.masks[i]);
  for (uint32_t c : d.palette) {
    b.u8(c).u8(c >> 8).u8(c >> 16);
    if (d.header_size != 12) b.u8(0);
  }
  return b.str();
}

inline std::string BuildBmp(const Dib& d, std::optional<uint32_t> offset = std::nullopt) {
  const std::string info = BuildInfo(d);
  Bytes b;
  b.u8('B').u8('M').u32(14 + info.size() + d.bits.size()).u32(0);
  b.u32(offset.value_or(14 + info.size()));
  return b.raw(info).raw(d.bits).str();
}

// Rows as stored, each padded to 4 bytes.
inline std::string Rows(std::initializer_list<std::vector<uint8_t>> rows) {
  std::string out;
  for (const auto& r : rows) {
    out.append(r.begin(), r.end());
    out.append((4 - r.size() % 4) % 4, '\0');
  }
  return out;
}

}  // namespace pagemint::test
