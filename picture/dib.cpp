// SPDX-License-Identifier: GPL-3.0-or-later
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
#include <memory>
#include <vector>

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
  // alpha_byte: a 32-bit pixel's fourth byte is its alpha; use_alpha:
  // that byte or the alpha bit field is used (else the pixels are opaque).
  RowDecoder(const Header& h, const std::array<QRgb, 256>& palette, bool alpha_byte,
             bool use_alpha)
      : h_(h), palette_(palette), alpha_byte_(alpha_byte && use_alpha), use_alpha_(use_alpha) {
    if (h.compression == kBiBitFields || h.compression == kBiAlphaBitFields) {
      for (size_t i = 0; i < 4; ++i) channels_[i] = Channel(h.masks[i]);
      bit_fields_ = true;
    } else if (h.bit_count == 16) {
      channels_ = {Channel(0x7C00), Channel(0x03E0), Channel(0x001F), Channel(0)};
      bit_fields_ = true;
    }
  }

  // True when a pixel of the stored row has a nonzero alpha, as Row would
  // give it with use_alpha.
  bool RowHasAlpha(const uint8_t* src) const {
    const int64_t w = h_.width;
    if (bit_fields_) {
      const bool wide = h_.bit_count == 32;
      for (int64_t x = 0; x < w; ++x)
        if (channels_[3].Scale(wide ? U32(src + 4 * x) : U16(src + 2 * x)) != 0) return true;
      return false;
    }
    for (int64_t x = 0; x < w; ++x)
      if (src[4 * x + 3] != 0) return true;
    return false;
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
    const bool has_alpha = use_alpha_ && channels_[3].mask != 0;
    for (int64_t x = 0; x < h_.width; ++x) {
      const uint32_t p = wide ? U32(src + 4 * x) : U16(src + 2 * x);
      out[x] = qRgba(channels_[0].Scale(p), channels_[1].Scale(p), channels_[2].Scale(p),
                     has_alpha ? channels_[3].Scale(p) : 255);
    }
  }

  const Header& h_;
  const std::array<QRgb, 256>& palette_;
  bool alpha_byte_;
  bool use_alpha_;
  bool bit_fields_ = false;
  std::array<Channel, 4> channels_{};
};

// The picture line of stored row number row.
int64_t OutputY(const Header& h, int64_t row) { return h.top_down ? row : h.height - 1 - row; }

QRgb* OutputRow(QImage& image, const Header& h, int64_t row) {
  return reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(OutputY(h, row))));
}

// Where decoded rows go, in their stored order: picture lines either all
// rising or all falling, each at most once. Begin gives the line to fill
// (width pixels, ARGB32); End takes it.
class RowTarget {
 public:
  virtual ~RowTarget() = default;
  virtual QRgb* Begin(int64_t y) = 0;
  virtual void End() {}
  virtual void Finish() {}
};

// Straight into a picture of the full size.
class WholeTarget final : public RowTarget {
 public:
  explicit WholeTarget(QImage& image) : image_(image) {}
  QRgb* Begin(int64_t y) override {
    return reinterpret_cast<QRgb*>(image_.scanLine(static_cast<int>(y)));
  }

 private:
  QImage& image_;
};

// Into a picture reduced by a whole factor: each of its pixels is the mean
// of a square of factor x factor source pixels (fewer at the right and
// bottom edges), premultiplied by alpha so that transparent pixels add no
// colour. Lines never begun count as transparent. Only one line of the
// source and one of sums is held.
class ReducedTarget final : public RowTarget {
 public:
  ReducedTarget(int64_t width, int64_t height, int64_t factor, QImage& out)
      : width_(width),
        height_(height),
        factor_(factor),
        out_(out),
        line_(static_cast<size_t>(width)),
        sums_(4 * static_cast<size_t>(out.width())) {}

  QRgb* Begin(int64_t y) override {
    const int64_t band = y / factor_;
    if (band != band_) {
      Flush();
      band_ = band;
    }
    std::fill(line_.begin(), line_.end(), kTransparent);
    return line_.data();
  }

  // Sums of red x alpha, green x alpha, blue x alpha and alpha.
  void End() override {
    for (int64_t start = 0, column = 0; start < width_; start += factor_, ++column) {
      uint64_t* sum = &sums_[4 * static_cast<size_t>(column)];
      const int64_t end = std::min(width_, start + factor_);
      for (int64_t x = start; x < end; ++x) {
        const QRgb p = line_[static_cast<size_t>(x)];
        const uint32_t a = qAlpha(p);
        if (a == 0) continue;
        sum[0] += qRed(p) * a;
        sum[1] += qGreen(p) * a;
        sum[2] += qBlue(p) * a;
        sum[3] += a;
      }
    }
  }

  void Finish() override { Flush(); }

 private:
  void Flush() {
    if (band_ < 0) return;
    const int64_t rows = std::min(factor_, height_ - band_ * factor_);
    auto* out = reinterpret_cast<QRgb*>(out_.scanLine(static_cast<int>(band_)));
    for (int column = 0; column < out_.width(); ++column) {
      const int64_t columns = std::min(factor_, width_ - column * factor_);
      const uint64_t area = static_cast<uint64_t>(rows * columns);
      uint64_t* sum = &sums_[4 * static_cast<size_t>(column)];
      auto mean = [&](uint64_t total, uint64_t scale) {
        return static_cast<int>((total + area * scale / 2) / (area * scale));
      };
      out[column] = qRgba(mean(sum[0], 255), mean(sum[1], 255), mean(sum[2], 255), mean(sum[3], 1));
      std::fill(sum, sum + 4, uint64_t{0});
    }
  }

  int64_t width_;
  int64_t height_;
  int64_t factor_;
  QImage& out_;
  std::vector<QRgb> line_;
  std::vector<uint64_t> sums_;
  int64_t band_ = -1;
};

void CheckBitsSize(const DibSource& s, const Header& h) {
  const size_t needed = RowsSize(h.width, h.height, h.bit_count);
  if (s.bits_size < needed) Fail(Format(msg::kDibBitsTruncated, s.bits_size, needed));
}

// Whether the stored pixels carry any nonzero alpha. An alpha channel that
// is 0 everywhere is a writer's unused byte, not a picture that shows
// nothing.
bool AnyAlpha(const DibSource& s, const Header& h, const RowDecoder& decoder) {
  const size_t stride = RowStride(h.width, h.bit_count);
  for (int64_t row = 0; row < h.height; ++row)
    if (decoder.RowHasAlpha(s.bits + stride * static_cast<size_t>(row))) return true;
  return false;
}

void DecodeRows(const DibSource& s, const Header& h, const RowDecoder& decoder,
                RowTarget& target) {
  const size_t stride = RowStride(h.width, h.bit_count);
  for (int64_t row = 0; row < h.height; ++row) {
    decoder.Row(s.bits + stride * static_cast<size_t>(row), target.Begin(OutputY(h, row)));
    target.End();
  }
}

// RLE8 and RLE4: pairs of (count, value) repeat value count times (for
// RLE4 the two nibbles alternate); a zero count escapes: 0 ends the line,
// 1 ends the bitmap, 2 moves by the next two bytes (right, up), 3..255 is a
// literal run of that many pixels padded to 16 bits. Pixels past the right
// edge are dropped; decoding stops at the last row or the end of the data.
class RleDecoder {
 public:
  RleDecoder(const DibSource& s, const Header& h, const std::array<QRgb, 256>& palette,
             RowTarget& target)
      : data_(s.bits),
        size_(s.bits_size),
        h_(h),
        palette_(palette),
        target_(target),
        rle4_(h.compression == kBiRle4) {}

  void Run() {
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
    NextRows(0);
    const bool complete = ended || row_ >= h_.height || (row_ == h_.height - 1 && x_ >= h_.width);
    if (!complete) Fail(msg::kDibRleTruncated);
  }

 private:
  void Put(uint8_t index) {
    if (x_ < h_.width) RowPixels()[x_] = palette_[index];
    ++x_;
  }
  // The current row, begun when first written to.
  QRgb* RowPixels() {
    if (pixels_ == nullptr) pixels_ = target_.Begin(OutputY(h_, row_));
    return pixels_;
  }
  // Ends the current row if begun and moves count rows on.
  void NextRows(int64_t count) {
    if (pixels_ != nullptr) target_.End();
    pixels_ = nullptr;
    row_ += count;
  }

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
        NextRows(1);
        return false;
      case 1:
        return true;
      case 2:
        if (pos_ + 2 > size_) Fail(msg::kDibRleTruncated);
        x_ += data_[pos_];
        if (data_[pos_ + 1] != 0) NextRows(data_[pos_ + 1]);
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
  RowTarget& target_;
  QRgb* pixels_ = nullptr;
  bool rle4_;
  int64_t x_ = 0;
  int64_t row_ = 0;
};

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

QImage DecodeDib(const DibSource& given, int max_side) {
  if (given.info == nullptr) Fail(msg::kDibHeaderTruncated);
  DibSource source = given;
  if (source.bits == nullptr) source.bits_size = 0;
  const Header h = ParseHeader(source.info, source.info_size, source.icon);
  const auto palette = ReadPalette(source.info, source.info_size, h);
  // Reduced by the largest whole factor that keeps the longer side at
  // least max_side; icons (small, with a mask over the whole) never.
  const int64_t longer = std::max(h.width, h.height);
  const int64_t factor = !source.icon && max_side > 0 ? longer / max_side : 1;
  QImage image;
  std::unique_ptr<RowTarget> target;
  if (factor >= 2) {
    const int64_t width = (h.width + factor - 1) / factor;
    const int64_t height = (h.height + factor - 1) / factor;
    image = QImage(static_cast<int>(width), static_cast<int>(height),
                   QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
      Fail(Format(msg::kPictureOutOfMemory, static_cast<int>(width), static_cast<int>(height)));
    image.fill(kTransparent);
    target = std::make_unique<ReducedTarget>(h.width, h.height, factor, image);
  } else {
    if (!PictureWholeAllowed(h.width, h.height)) Fail(PictureTooLargeWholeText(h.width, h.height));
    image = QImage(static_cast<int>(h.width), static_cast<int>(h.height), QImage::Format_ARGB32);
    if (image.isNull())
      Fail(Format(msg::kPictureOutOfMemory, static_cast<int>(h.width), static_cast<int>(h.height)));
    target = std::make_unique<WholeTarget>(image);
  }
  const bool rle = h.compression == kBiRle8 || h.compression == kBiRle4;
  if (rle) {
    if (factor < 2) image.fill(kTransparent);
    RleDecoder(source, h, palette, *target).Run();
    target->Finish();
    return image;
  }
  // A 32-bit icon may carry alpha in its fourth byte; bit fields may have
  // an alpha mask. Alpha that is 0 everywhere is not used: the pixels are
  // then opaque (and an icon's AND mask decides).
  const bool alpha_byte = source.icon && h.bit_count == 32 && h.compression == kBiRgb;
  const bool alpha_mask =
      (h.compression == kBiBitFields || h.compression == kBiAlphaBitFields) && h.masks[3] != 0;
  CheckBitsSize(source, h);
  const bool use_alpha =
      (alpha_byte || alpha_mask) && AnyAlpha(source, h, RowDecoder(h, palette, alpha_byte, true));
  DecodeRows(source, h, RowDecoder(h, palette, alpha_byte, use_alpha), *target);
  target->Finish();
  if (source.icon && !use_alpha) ApplyIconMask(source, h, image);
  return image;
}

}  // namespace pagemint
