// SPDX-License-Identifier: GPL-3.0-or-later
// Bitmap files.
//
//   file header  14 bytes: "BM", file size, two reserved words, offset of
//                the pixel data from the start of the file
//   DIB          header, masks, colour table and pixels (dib.h)
//
// A file that starts with a DIB header instead (a clipboard DIB saved as
// it is) has its pixels right after the colour table.
#include <cstdint>

#include "picture/dib.h"
#include "picture/graphic.h"
#include "platform/messages.h"

namespace pagemint {

namespace {

constexpr size_t kFileHeaderSize = 14;

uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Header sizes that a bare DIB can start with.
bool IsDibHeaderSize(uint32_t size) {
  return size == 12 || size == 16 || size == 40 || size == 52 || size == 56 || size == 64 ||
         size == 108 || size == 124;
}

// A DIB whose pixels follow its colour table.
DibSource PackedDib(const uint8_t* data, size_t size) {
  const size_t offset = DibBitsOffset(data, size);
  if (offset > size) throw EInvalidDib(msg::kDibTableTruncated);
  return {data, size, data + offset, size - offset, false};
}

// A bitmap file. The pixel data offset is trusted when it lies after the
// DIB header; an offset inside the header (0 from careless writers) falls
// back to the packed layout. The DIB's own view runs to the end of the
// file, so a colour table is read even where the offset overlaps it.
DibSource FileDib(const uint8_t* data, size_t size) {
  const uint8_t* info = data + kFileHeaderSize;
  const size_t info_size = size - kFileHeaderSize;
  if (info_size < 4 || info_size < U32(info)) throw EInvalidDib(msg::kDibHeaderTruncated);
  const uint32_t offset = U32(data + 10);
  if (offset < kFileHeaderSize + uint64_t{U32(info)}) return PackedDib(info, info_size);
  if (offset > size) throw EInvalidDib(Format(msg::kBitmapBitsPastEnd, offset, size));
  return {info, info_size, data + offset, size - offset, false};
}

// The picture over white, in place, in the display's format 0xFFRRGGBB.
// Straight alpha (ARGB32) or premultiplied (a picture reduced on the way).
QImage OnWhite(QImage image) {
  const bool premultiplied = image.format() == QImage::Format_ARGB32_Premultiplied;
  for (int y = 0; y < image.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = row[x];
      const int a = qAlpha(p);
      if (a == 255) continue;
      const int white = 255 - a;
      auto over = [&](int c) {
        return premultiplied ? c + white : (c * a + 255 * white + 127) / 255;
      };
      row[x] = qRgb(over(qRed(p)), over(qGreen(p)), over(qBlue(p)));
    }
  }
  image.reinterpretAsFormat(QImage::Format_RGB32);
  return image;
}

}  // namespace

void TBitmap::LoadFromBytes(std::string_view bytes, const std::string& name) {
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  const size_t size = bytes.size();
  try {
    DibSource dib;
    if (size >= kFileHeaderSize && data[0] == 'B' && data[1] == 'M') {
      dib = FileDib(data, size);
    } else if (size >= 4 && IsDibHeaderSize(U32(data))) {
      dib = PackedDib(data, size);
    } else {
      throw EInvalidDib(msg::kBitmapNoHeader);
    }
    SetImage(OnWhite(DecodeDib(dib, LoadMaxSide())));
  } catch (const EInvalidDib& e) {
    throw EInvalidGraphic(Format(msg::kBitmapInvalid, name.c_str(), e.what()));
  }
}

}  // namespace pagemint
