// Device-independent bitmap decoding.
//
// Layout accepted (all numbers little-endian):
//   header    12 bytes: core (OS/2 1.x): width, height as 16-bit, planes, bit count
//             16..39 or 64 bytes: OS/2 2.x, the fields of the info header it holds
//             40 bytes and more: info header (V3), with RGB masks from 52, an
//             alpha mask from 56 and colour-space fields (V4 108, V5 124) ignored
//   masks     with an info header shorter than 52 and bit-field compression:
//             three (or, for alpha bit fields, four) 32-bit masks
//   table     colour entries of 3 (core) or 4 bytes, blue, green, red
//   bits      rows padded to 4 bytes, bottom-up unless the height is negative
//   mask      icons only: a 1-bit AND mask of the same rows, 1 = transparent
#include "picture/dib.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "picture/picture_limits.h"
#include "platform/messages.h"

namespace pagemint {

namespace {

enum Compression : uint32_t {
  kBiRgb = 0,
  kBiRle8 = 1,
  kBiRle4 = 2,
  kBiBitFields = 3,
  kBiJpeg = 4,
  kBiPng = 5,
  kBiAlphaBitFields = 6,
};

constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kOs2MinHeaderSize = 16;
constexpr uint32_t kOs2FullHeaderSize = 64;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr QRgb kTransparent = 0x00000000;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
int32_t I32(const uint8_t* p) { return static_cast<int32_t>(U32(p)); }

// One colour channel of a bit-field pixel: value = (pixel & mask) >> shift,
// scaled from 0..max to 0..255 with rounding.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  uint32_t max = 0;

  Channel() = default;
  explicit Channel(uint32_t m) : mask(m) {
    if (m == 0) return;
    shift = std::countr_zero(m);
    max = m >> shift;
  }
  uint32_t Scale(uint32_t pixel) const {
    if (max == 0) return 0;
    const uint64_t v = (pixel & mask) >> shift;
    return static_cast<uint32_t>((v * 255 + max / 2) / max);
  }
};

struct Header {
  uint32_t size = 0;
  bool core = false;  // 3-byte colour entries, no compression field
  bool os2 = false;   // OS/2 2.x: compression 3 and 4 mean other things
  int64_t width = 0;
  int64_t height = 0;  // as stored: doubled for icons
  bool top_down = false;
  unsigned bit_count = 0;
  uint32_t compression = kBiRgb;
  uint32_t colors_used = 0;
  std::array<uint32_t, 4> masks{};  // red, green, blue, alpha
  size_t masks_size = 0;            // masks stored after a short info header
  size_t entry_size = 4;
};

std::string CompressionName(const Header& h) {
  if (h.os2 && h.compression == 3) return "Huffman 1D";
  if (h.os2 && h.compression == 4) return "RLE24";
  switch (h.compression) {
    case kBiRgb:
      return "RGB";
    case kBiRle8:
      return "RLE8";
    case kBiRle4:
      return "RLE4";
    case kBiBitFields:
      return "BITFIELDS";
    case kBiJpeg:
      return "JPEG";
    case kBiPng:
      return "PNG";
    case kBiAlphaBitFields:
      return "ALPHABITFIELDS";
    default:
      return std::to_string(h.compression);
  }
}

[[noreturn]] void Fail(const std::string& why) { throw EInvalidDib(why); }

void ReadMasks(const uint8_t* info, size_t info_size, Header& h) {
  const bool with_alpha = h.compression == kBiAlphaBitFields;
  if (h.size >= 52) {
    for (int i = 0; i < 3; ++i) h.masks[i] = U32(info + 40 + 4 * i);
    if (h.size >= 56) h.masks[3] = U32(info + 52);
    return;
  }
  h.masks_size = with_alpha ? 16 : 12;
  if (info_size < h.size + h.masks_size) Fail(msg::kDibHeaderTruncated);
  for (size_t i = 0; i < h.masks_size / 4; ++i) h.masks[i] = U32(info + h.size + 4 * i);
}

Header ReadFields(const uint8_t* info, size_t info_size) {
  if (info_size < 4) Fail(msg::kDibHeaderTruncated);
  Header h;
  h.size = U32(info);
  if (h.size < kCoreHeaderSize || (h.size > kCoreHeaderSize && h.size < kOs2MinHeaderSize))
    Fail(Format(msg::kDibHeaderSize, h.size));
  if (info_size < h.size) Fail(msg::kDibHeaderTruncated);
  if (h.size == kCoreHeaderSize) {
    h.core = true;
    h.entry_size = 3;
    h.width = U16(info + 4);
    h.height = U16(info + 6);
    h.bit_count = U16(info + 10);
    return h;
  }
  h.os2 = h.size < kInfoHeaderSize || h.size == kOs2FullHeaderSize;
  h.width = I32(info + 4);
  h.height = I32(info + 8);
  h.bit_count = U16(info + 14);
  if (h.size >= 20) h.compression = U32(info + 16);
  if (h.size >= 36) h.colors_used = U32(info + 32);
  if (!h.os2 && (h.compression == kBiBitFields || h.compression == kBiAlphaBitFields))
    ReadMasks(info, info_size, h);
  return h;
}

void CheckSize(Header& h, bool icon) {
  if (h.height < 0) {
    h.top_down = true;
    h.height = -h.height;
  }
  if (icon) h.height /= 2;
  if (h.width <= 0 || h.height <= 0)
    Fail(Format(msg::kPictureBadSize, static_cast<long long>(h.width),
                static_cast<long long>(h.height)));
  if (!PictureSizeAllowed(h.width, h.height)) Fail(PictureTooLargeText(h.width, h.height));
}

void CheckFormat(const Header& h) {
  const unsigned b = h.bit_count;
  const bool known = h.core
                         ? (b == 1 || b == 4 || b == 8 || b == 24)
                         : (b == 1 || b == 2 || b == 4 || b == 8 || b == 16 || b == 24 || b == 32);
  const bool os2_special = h.os2 && (h.compression == 3 || h.compression == 4);
  switch (os2_special ? ~0u : h.compression) {
    case kBiRgb:
      break;
    case kBiRle8:
      if (b != 8) Fail(Format(msg::kDibCompressionDepth, "RLE8", b));
      break;
    case kBiRle4:
      if (b != 4) Fail(Format(msg::kDibCompressionDepth, "RLE4", b));
      break;
    case kBiBitFields:
    case kBiAlphaBitFields:
      if (b != 16 && b != 32)
        Fail(Format(msg::kDibCompressionDepth, CompressionName(h).c_str(), b));
      break;
    default:
      Fail(Format(msg::kDibCompression, CompressionName(h).c_str()));
  }
  if (!known) Fail(Format(msg::kDibBitCount, b));
}

Header ParseHeader(const uint8_t* info, size_t info_size, bool icon) {
  Header h = ReadFields(info, info_size);
  CheckFormat(h);
  CheckSize(h, icon);
  return h;
}

// Colour entries stored in the table, whether or not the pixels use them.
size_t StoredEntries(const Header& h) {
  if (h.core) return h.bit_count <= 8 ? size_t{1} << h.bit_count : 0;
  if (h.colors_used != 0) return h.colors_used;
  return h.bit_count <= 8 ? size_t{1} << h.bit_count : 0;
}

size_t TableOffset(const Header& h) { return h.size + h.masks_size; }

// The colour table as 256 opaque entries; indices past the stored table
// stay black.
std::array<QRgb, 256> ReadPalette(const uint8_t* info, size_t info_size, const Header& h) {
  std::array<QRgb, 256> palette;
  palette.fill(qRgb(0, 0, 0));
  if (h.bit_count > 8) return palette;
  const size_t used = std::min(StoredEntries(h), size_t{1} << h.bit_count);
  const size_t offset = TableOffset(h);
  if (offset > info_size || (info_size - offset) / h.entry_size < used)
    Fail(msg::kDibTableTruncated);
  for (size_t i = 0; i < used; ++i) {
    const uint8_t* e = info + offset + i * h.entry_size;
    palette[i] = qRgb(e[2], e[1], e[0]);
  }
  return palette;
}

size_t RowStride(int64_t width, unsigned bit_count) {
  return static_cast<size_t>((width * bit_count + 31) / 32) * 4;
}

// Bytes the rows need: the last row may lack its padding.
size_t RowsSize(int64_t width, int64_t height, unsigned bit_count) {
  return RowStride(width, bit_count) * static_cast<size_t>(height - 1) +
         static_cast<size_t>((width * bit_count + 7) / 8);
}

// Decodes the uncompressed rows. Every pixel is written.
class RowDecoder {
 public:
  RowDecoder(const Header& h, const std::array<QRgb, 256>& palette, bool alpha_byte)
      : h_(h), palette_(palette), alpha_byte_(alpha_byte) {
    if (h.compression == kBiBitFields || h.compression == kBiAlphaBitFields) {
      for (size_t i = 0; i < 4; ++i) channels_[i] = Channel(h.masks[i]);
      bit_fields_ = true;
    } else if (h.bit_count == 16) {
      channels_ = {Channel(0x7C00), Channel(0x03E0), Channel(0x001F), Channel(0)};
      bit_fields_ = true;
    }
  }

  void Row(const uint8_t* src, QRgb* out) const {
    const int64_t w = h_.width;
    if (bit_fields_) return FieldsRow(src, out);
    switch (h_.bit_count) {
      case 24:
        for (int64_t x = 0; x < w; ++x, src += 3) out[x] = qRgb(src[2], src[1], src[0]);
        return;
      case 32:
        for (int64_t x = 0; x < w; ++x, src += 4)
          out[x] = qRgba(src[2], src[1], src[0], alpha_byte_ ? src[3] : 255);
        return;
      case 8:
        for (int64_t x = 0; x < w; ++x) out[x] = palette_[src[x]];
        return;
      default:
        return IndexedRow(src, out);
    }
  }

 private:
  void IndexedRow(const uint8_t* src, QRgb* out) const {
    const unsigned bits = h_.bit_count;
    const unsigned per_byte = 8 / bits;
    const unsigned mask = (1u << bits) - 1;
    for (int64_t x = 0; x < h_.width; ++x) {
      const unsigned slot = static_cast<unsigned>(x % per_byte);
      const unsigned shift = 8 - bits * (slot + 1);
      out[x] = palette_[(src[x / per_byte] >> shift) & mask];
    }
  }

  void FieldsRow(const uint8_t* src, QRgb* out) const {
    const bool wide = h_.bit_count == 32;
    const bool has_alpha = channels_[3].mask != 0;
    for (int64_t x = 0; x < h_.width; ++x) {
      const uint32_t p = wide ? U32(src + 4 * x) : U16(src + 2 * x);
      out[x] = qRgba(channels_[0].Scale(p), channels_[1].Scale(p), channels_[2].Scale(p),
                     has_alpha ? channels_[3].Scale(p) : 255);
    }
  }

  const Header& h_;
  const std::array<QRgb, 256>& palette_;
  bool alpha_byte_;
  bool bit_fields_ = false;
  std::array<Channel, 4> channels_{};
};

QRgb* OutputRow(QImage& image, const Header& h, int64_t row) {
  const int64_t y = h.top_down ? row : h.height - 1 - row;
  return reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(y)));
}

void DecodeRows(const DibSource& s, const Header& h, const std::array<QRgb, 256>& palette,
                bool alpha_byte, QImage& image) {
  const size_t needed = RowsSize(h.width, h.height, h.bit_count);
  if (s.bits_size < needed) Fail(Format(msg::kDibBitsTruncated, s.bits_size, needed));
  const size_t stride = RowStride(h.width, h.bit_count);
  const RowDecoder decoder(h, palette, alpha_byte);
  for (int64_t row = 0; row < h.height; ++row)
    decoder.Row(s.bits + stride * static_cast<size_t>(row), OutputRow(image, h, row));
}

// RLE8 and RLE4: pairs of (count, value) repeat value count times (for
// RLE4 the two nibbles alternate); a zero count escapes: 0 ends the line,
// 1 ends the bitmap, 2 moves by the next two bytes (right, up), 3..255 is a
// literal run of that many pixels padded to 16 bits. Pixels past the right
// edge are dropped; decoding stops at the last row or the end of the data.
class RleDecoder {
 public:
  RleDecoder(const DibSource& s, const Header& h, const std::array<QRgb, 256>& palette,
             QImage& image)
      : data_(s.bits),
        size_(s.bits_size),
        h_(h),
        palette_(palette),
        image_(image),
        rle4_(h.compression == kBiRle4) {}

  void Run() {
    image_.fill(kTransparent);
    bool ended = false;
    while (!ended && row_ < h_.height && pos_ + 2 <= size_) {
      const uint8_t count = data_[pos_];
      const uint8_t value = data_[pos_ + 1];
      pos_ += 2;
      if (count > 0) {
        Repeat(count, value);
      } else {
        ended = Escape(value);
      }
    }
    const bool complete = ended || row_ >= h_.height || (row_ == h_.height - 1 && x_ >= h_.width);
    if (!complete) Fail(msg::kDibRleTruncated);
  }

 private:
  void Put(uint8_t index) {
    if (x_ < h_.width) RowPixels()[x_] = palette_[index];
    ++x_;
  }
  QRgb* RowPixels() { return OutputRow(image_, h_, row_); }

  void Repeat(unsigned count, uint8_t value) {
    if (x_ >= h_.width) {
      x_ += count;
      return;
    }
    QRgb* out = RowPixels();
    for (unsigned i = 0; i < count; ++i, ++x_) {
      if (x_ >= h_.width) {
        x_ += count - i;
        return;
      }
      const uint8_t index = rle4_ ? ((i & 1) ? value & 0x0F : value >> 4) : value;
      out[x_] = palette_[index];
    }
  }

  // Returns true at the end of the bitmap.
  bool Escape(uint8_t code) {
    switch (code) {
      case 0:
        x_ = 0;
        ++row_;
        return false;
      case 1:
        return true;
      case 2:
        if (pos_ + 2 > size_) Fail(msg::kDibRleTruncated);
        x_ += data_[pos_];
        row_ += data_[pos_ + 1];
        pos_ += 2;
        return false;
      default:
        Literal(code);
        return false;
    }
  }

  void Literal(unsigned count) {
    const size_t bytes = rle4_ ? (count + 1) / 2 : count;
    if (bytes > size_ - pos_) Fail(msg::kDibRleTruncated);
    const uint8_t* src = data_ + pos_;
    for (unsigned i = 0; i < count; ++i) {
      const uint8_t index = rle4_ ? ((i & 1) ? src[i / 2] & 0x0F : src[i / 2] >> 4) : src[i];
      Put(index);
    }
    pos_ += std::min(size_ - pos_, (bytes + 1) & ~size_t{1});
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  const Header& h_;
  const std::array<QRgb, 256>& palette_;
  QImage& image_;
  bool rle4_;
  int64_t x_ = 0;
  int64_t row_ = 0;
};

bool AnyAlpha(const QImage& image) {
  for (int y = 0; y < image.height(); ++y) {
    const QRgb* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x)
      if (qAlpha(row[x]) != 0) return true;
  }
  return false;
}

void MakeOpaque(QImage& image) {
  for (int y = 0; y < image.height(); ++y) {
    QRgb* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) row[x] |= 0xFF000000u;
  }
}

// The AND mask follows the colour rows; a set bit makes the pixel
// transparent.
void ApplyIconMask(const DibSource& s, const Header& h, QImage& image) {
  const size_t offset = RowStride(h.width, h.bit_count) * static_cast<size_t>(h.height);
  const size_t needed = RowsSize(h.width, h.height, 1);
  if (offset > s.bits_size || s.bits_size - offset < needed) Fail(msg::kDibMaskTruncated);
  const size_t stride = RowStride(h.width, 1);
  for (int64_t row = 0; row < h.height; ++row) {
    const uint8_t* mask = s.bits + offset + stride * static_cast<size_t>(row);
    QRgb* out = OutputRow(image, h, row);
    for (int64_t x = 0; x < h.width; ++x)
      if (mask[x / 8] & (0x80 >> (x % 8))) out[x] = kTransparent;
  }
}

}  // namespace

size_t DibBitsOffset(const uint8_t* info, size_t info_size) {
  const Header h = ReadFields(info, info_size);
  return TableOffset(h) + StoredEntries(h) * h.entry_size;
}

QImage DecodeDib(const DibSource& given) {
  if (given.info == nullptr) Fail(msg::kDibHeaderTruncated);
  DibSource source = given;
  if (source.bits == nullptr) source.bits_size = 0;
  const Header h = ParseHeader(source.info, source.info_size, source.icon);
  const auto palette = ReadPalette(source.info, source.info_size, h);
  QImage image(static_cast<int>(h.width), static_cast<int>(h.height), QImage::Format_ARGB32);
  if (image.isNull())
    Fail(Format(msg::kPictureOutOfMemory, static_cast<int>(h.width), static_cast<int>(h.height)));
  const bool rle = h.compression == kBiRle8 || h.compression == kBiRle4;
  if (rle) {
    RleDecoder(source, h, palette, image).Run();
    return image;
  }
  // A 32-bit icon may carry alpha in its fourth byte. An alpha channel
  // that is 0 everywhere is a writer's unused byte, not a picture that
  // shows nothing: the pixels are then opaque (and an icon's AND mask
  // decides).
  const bool alpha_byte = source.icon && h.bit_count == 32 && h.compression == kBiRgb;
  const bool alpha_mask =
      (h.compression == kBiBitFields || h.compression == kBiAlphaBitFields) && h.masks[3] != 0;
  DecodeRows(source, h, palette, alpha_byte, image);
  const bool has_alpha = (alpha_byte || alpha_mask) && AnyAlpha(image);
  if (has_alpha) return image;
  if (alpha_byte || alpha_mask) MakeOpaque(image);
  if (source.icon) ApplyIconMask(source, h, image);
  return image;
}

}  // namespace pagemint
