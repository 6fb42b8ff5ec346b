// SPDX-License-Identifier: GPL-3.0-or-later
// Icon files.
//
//   directory  reserved (0), type (1 icon, 2 cursor), count
//   entries    16 bytes each: width, height (0 means 256), colour count,
//              reserved, planes, bit count (hot spot for cursors), bytes of
//              the image, offset of the image from the start of the file
//   images     a DIB (header, colour table, colour bits, AND mask) with the
//              height doubled, or a complete PNG file
#include "picture/icon.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "picture/dib.h"
#include "picture/picture_limits.h"
#include "picture/png_chunks.h"
#include "platform/messages.h"

namespace pagemint {

namespace {

constexpr size_t kDirectorySize = 6;
constexpr size_t kEntrySize = 16;
// The size the platform draws an icon at when nothing else is asked for.
constexpr int kStandardIconSize = 32;
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

class IconError : public Exception {
 public:
  using Exception::Exception;
};

struct Entry {
  int width = 0;
  int height = 0;
  int depth = 0;
  const uint8_t* data = nullptr;
  size_t size = 0;
  bool png = false;
};

bool IsPng(const uint8_t* data, size_t size) {
  return size >= sizeof kPngSignature &&
         std::memcmp(data, kPngSignature, sizeof kPngSignature) == 0;
}

// Bits per pixel as the image itself says: the PNG header's bit depth times
// its channels, or the DIB header's bit count. 0 when unreadable.
int ImageDepth(const Entry& e) {
  if (e.png) {
    // Signature, IHDR length and type, width, height, bit depth, colour type.
    if (e.size < 26) return 0;
    static constexpr int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
    const int colour_type = e.data[25];
    return colour_type < 7 ? e.data[24] * kChannels[colour_type] : 0;
  }
  if (e.size < 16) return 0;
  return U32(e.data) == 12 ? U16(e.data + 10) : U16(e.data + 14);
}

std::optional<Entry> ReadEntry(const uint8_t* file, size_t file_size, const uint8_t* e) {
  Entry entry;
  entry.width = e[0] == 0 ? 256 : e[0];
  entry.height = e[1] == 0 ? 256 : e[1];
  const uint32_t bytes = U32(e + 8);
  const uint32_t offset = U32(e + 12);
  if (offset >= file_size || bytes == 0) return std::nullopt;
  entry.data = file + offset;
  // A byte count running past the end leaves a truncated image, which its
  // decoder reports.
  entry.size = std::min<size_t>(bytes, file_size - offset);
  entry.png = IsPng(entry.data, entry.size);
  entry.depth = ImageDepth(entry);
  if (entry.depth == 0) entry.depth = U16(e + 6);
  return entry;
}

std::vector<Entry> ReadDirectory(const uint8_t* data, size_t size) {
  if (size < kDirectorySize || U16(data) != 0 || (U16(data + 2) != 1 && U16(data + 2) != 2))
    throw IconError(msg::kIconNoDirectory);
  const size_t count = U16(data + 4);
  if (size < kDirectorySize + kEntrySize * count) throw IconError(msg::kIconDirectoryTruncated);
  std::vector<Entry> entries;
  for (size_t i = 0; i < count; ++i)
    if (auto e = ReadEntry(data, size, data + kDirectorySize + kEntrySize * i))
      entries.push_back(*e);
  if (entries.empty()) throw IconError(msg::kIconNoImage);
  return entries;
}

const Entry& Choose(const std::vector<Entry>& entries) {
  auto distance = [](const Entry& e) {
    return std::abs(e.width - kStandardIconSize) + std::abs(e.height - kStandardIconSize);
  };
  const Entry* best = &entries.front();
  for (const Entry& e : entries) {
    const int d = distance(e);
    const int best_d = distance(*best);
    if (d < best_d || (d == best_d && e.depth > best->depth)) best = &e;
  }
  return *best;
}

QImage DecodePng(const Entry& e) {
  const std::string trouble =
      PngChunkTrouble(std::string_view(reinterpret_cast<const char*>(e.data), e.size));
  if (!trouble.empty()) throw IconError(Format(msg::kIconPng, trouble.c_str()));
  QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(e.data),
                                             static_cast<qsizetype>(e.size));
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "png");
  const QSize size = reader.size();
  if (size.isValid() && !PictureSizeAllowed(size.width(), size.height()))
    throw IconError(PictureTooLargeText(size.width(), size.height()));
  if (size.isValid() && !PictureWholeAllowed(size.width(), size.height()))
    throw IconError(PictureTooLargeWholeText(size.width(), size.height()));
  QImage image = reader.read();
  if (image.isNull())
    throw IconError(Format(msg::kIconPng, reader.errorString().toStdString().c_str()));
  return image.convertToFormat(QImage::Format_ARGB32);
}

QImage DecodeEntry(const Entry& e) {
  if (e.png) return DecodePng(e);
  try {
    // The DIB's own header says where its colour bits start.
    const size_t offset = DibBitsOffset(e.data, e.size);
    if (offset > e.size) throw IconError(msg::kDibTableTruncated);
    return DecodeDib({e.data, e.size, e.data + offset, e.size - offset, true});
  } catch (const EInvalidDib& error) {
    throw IconError(error.what());
  }
}

}  // namespace

void TIcon::LoadFromBytes(std::string_view bytes, const std::string& name) {
  try {
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    const std::vector<Entry> entries = ReadDirectory(data, bytes.size());
    image_ = DecodeEntry(Choose(entries));
  } catch (const IconError& e) {
    throw EInvalidGraphic(Format(msg::kIconInvalid, name.c_str(), e.what()));
  }
}

void TIcon::Draw(TBitmap& canvas, int x, int y) const {
  if (image_.isNull() || canvas.Image().isNull()) return;
  QPainter painter(&canvas.Image());
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter.drawImage(x, y, image_);
}

}  // namespace pagemint
