// SPDX-License-Identifier: GPL-3.0-or-later
// Device-independent bitmaps: the pixel data of .bmp files and of the
// bitmap records of metafiles and icons. Every header and depth real files
// use: core (OS/2) and info headers (V3, V4, V5), 1, 4, 8, 16, 24 and 32
// bits per pixel, palettes, RLE4 and RLE8, bit fields, bottom-up and
// top-down rows.
//
// Palette indices beyond the colour table give black, as a zero-filled
// table would. Pixels that RLE data never reaches (skipped by a delta or by
// an early end of line or bitmap) are transparent black.
#pragma once

#include <QImage>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/exception.h"

namespace pagemint {

// A DIB that cannot be decoded. The message says what is wrong; callers
// add the file name.
PAGEMINT_EXCEPTION(EInvalidDib, Exception);

struct DibSource {
  // The BITMAPINFO: header followed by bit masks and colour table.
  const uint8_t* info = nullptr;
  size_t info_size = 0;
  // The pixel data.
  const uint8_t* bits = nullptr;
  size_t bits_size = 0;
  // Icons store an AND mask after the colour bits and double the height.
  bool icon = false;
};

// Decodes into an ARGB32 image, top row first. Alpha is 255 except where an
// icon's mask, an alpha channel (a bit-field alpha mask, or the fourth byte
// of a 32-bit icon) or a gap in RLE data makes a pixel transparent. Sizes
// beyond the picture limits (picture_limits.h) raise EInvalidDib.
//
// max_side > 0 asks for a picture no larger than that on its longer side.
// When that side is at least twice max_side (and the DIB is not an icon's),
// the rows are decoded one at a time into a picture reduced by the largest
// whole factor that keeps its longer side at least max_side, each pixel the
// mean of the square it covers; that picture is premultiplied
// (Format_ARGB32_Premultiplied). A picture decoded at its own size must be
// within the whole-picture limit.
QImage DecodeDib(const DibSource& source, int max_side = 0);

// The bytes of header, bit masks and colour table at the start of info:
// where the pixel data starts when it follows the table directly, as in
// icons, clipboard DIBs and bitmap files whose data offset is missing.
size_t DibBitsOffset(const uint8_t* info, size_t info_size);

}  // namespace pagemint
