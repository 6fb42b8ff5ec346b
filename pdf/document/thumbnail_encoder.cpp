// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/document/thumbnail_encoder.h"

#include <QImage>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pdf/document/thumbnail.h"
#include "pdf/reader/object_store.h"
#include "picture/jpeg_image.h"

namespace pagemint {

namespace {

// More colours than an 8-bit palette holds.
constexpr int kManyColours = 257;
// A palette pays for itself once there are this many pixels for each of
// its entries (a tiny picture is smaller as plain samples).
constexpr size_t kPixelsPerEntry = 8;
// An exact form this small is kept without trying a JPEG: the JPEG's
// tables and markers alone take about 250 bytes, so it could save a few
// hundred bytes at most, for the cost of encoding it.
constexpr int64_t kSmallestJpeg = 600;

// What the samples hold: colour or not, and their colours while there are
// at most 256 of them (in order of first appearance).
struct Analysis {
  bool exact_gray = true;  // every pixel r == g == b
  bool near_gray = true;   // every pixel's channels within kGrayTolerance
  std::vector<uint32_t> colours;  // up to 256; more means continuous tone
  bool Flat() const { return colours.size() < kManyColours; }
};

// An open-addressing set of 24-bit colours, up to kManyColours of them.
class ColourSet {
 public:
  // The colour's index in first-seen order; -1 once there are too many.
  int Find(uint32_t colour) const {
    for (uint32_t slot = Hash(colour);; slot = (slot + 1) & kMask) {
      if (keys_[slot] == 0) return -1;
      if (keys_[slot] == colour + 1) return values_[slot];
    }
  }
  // Adds the colour unless present; false once the set is full.
  bool Add(uint32_t colour, std::vector<uint32_t>& order) {
    uint32_t slot = Hash(colour);
    for (; keys_[slot] != 0; slot = (slot + 1) & kMask)
      if (keys_[slot] == colour + 1) return true;
    if (order.size() == kManyColours - 1) {
      order.push_back(colour);  // the marker of "too many"
      return false;
    }
    keys_[slot] = colour + 1;
    values_[slot] = static_cast<int16_t>(order.size());
    order.push_back(colour);
    return true;
  }

 private:
  static constexpr uint32_t kSize = 1024;  // four times the most it holds
  static constexpr uint32_t kMask = kSize - 1;
  static uint32_t Hash(uint32_t colour) { return (colour * 2654435761u) >> 22; }
  std::array<uint32_t, kSize> keys_{};
  std::array<int16_t, kSize> values_{};
};

uint32_t ColourAt(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
}

Analysis Analyse(std::string_view rgb, ColourSet& set) {
  Analysis a;
  const auto* p = reinterpret_cast<const uint8_t*>(rgb.data());
  const size_t pixels = rgb.size() / 3;
  uint32_t last = 0xFFFFFFFFu;
  bool counting = true;
  for (size_t i = 0; i < pixels; ++i, p += 3) {
    const uint32_t colour = ColourAt(p);
    if (colour == last) continue;  // runs of paper and ink cost one test
    last = colour;
    if (p[0] != p[1] || p[1] != p[2]) {
      a.exact_gray = false;
      const int lo = std::min({p[0], p[1], p[2]});
      const int hi = std::max({p[0], p[1], p[2]});
      if (hi - lo > kGrayTolerance) a.near_gray = false;
    }
    if (counting) counting = set.Add(colour, a.colours);
    if (!counting && !a.near_gray) break;  // nothing more to learn
  }
  return a;
}

std::unique_ptr<TMemoryStream> Deflate(std::string_view samples) {
  return CompressSamples(samples);
}

// One grey sample a pixel: the mean of the three channels.
std::string GraySamples(std::string_view rgb) {
  const size_t pixels = rgb.size() / 3;
  std::string gray(pixels, '\0');
  const auto* p = reinterpret_cast<const uint8_t*>(rgb.data());
  for (size_t i = 0; i < pixels; ++i, p += 3)
    gray[i] = static_cast<char>((p[0] + p[1] + p[2] + 1) / 3);
  return gray;
}

int BitsFor(size_t entries) {
  if (entries <= 2) return 1;
  if (entries <= 4) return 2;
  if (entries <= 16) return 4;
  return 8;
}

// Indices packed bits to a sample, rows padded to a byte.
std::string PackIndices(const std::vector<uint8_t>& indices, int32_t width, int32_t height,
                        int bits) {
  const size_t row_bytes = (static_cast<size_t>(width) * bits + 7) / 8;
  std::string packed(row_bytes * static_cast<size_t>(height), '\0');
  for (int32_t y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<uint8_t*>(packed.data()) + row_bytes * y;
    const uint8_t* in = indices.data() + static_cast<size_t>(width) * y;
    for (int32_t x = 0; x < width; ++x) {
      const size_t bit = static_cast<size_t>(x) * bits;
      row[bit / 8] = static_cast<uint8_t>(row[bit / 8] | in[x] << (8 - bits - bit % 8));
    }
  }
  return packed;
}

// Grey samples: an indexed image over DeviceGray when there are 16 levels
// or fewer (4 bits a pixel or less), else 8-bit DeviceGray.
TEncodedThumbnail GrayExact(const std::string& gray, int32_t width, int32_t height) {
  TEncodedThumbnail out;
  out.width = width;
  out.height = height;
  out.components = 1;
  std::array<int16_t, 256> index;
  index.fill(-1);
  std::string levels;
  for (const char c : gray) {
    const auto v = static_cast<uint8_t>(c);
    if (index[v] >= 0) continue;
    if (levels.size() == 16) break;
    index[v] = static_cast<int16_t>(levels.size());
    levels.push_back(c);
  }
  bool few = levels.size() <= 16 && gray.size() >= kPixelsPerEntry * levels.size();
  for (const char c : gray)
    if (index[static_cast<uint8_t>(c)] < 0) {
      few = false;
      break;
    }
  if (!few) {
    out.data = Deflate(gray);
    return out;
  }
  std::vector<uint8_t> indices(gray.size());
  for (size_t i = 0; i < gray.size(); ++i)
    indices[i] = static_cast<uint8_t>(index[static_cast<uint8_t>(gray[i])]);
  out.indexed = true;
  out.bits = BitsFor(levels.size());
  out.palette = levels;
  out.data = Deflate(PackIndices(indices, width, height, out.bits));
  return out;
}

// The exact samples: grey, indexed or RGB.
TEncodedThumbnail Exact(std::string_view rgb, int32_t width, int32_t height, const Analysis& a,
                        const ColourSet& set) {
  if (a.exact_gray) return GrayExact(GraySamples(rgb), width, height);
  TEncodedThumbnail out;
  out.width = width;
  out.height = height;
  if (!a.Flat() || rgb.size() / 3 < kPixelsPerEntry * a.colours.size()) {
    out.data = Deflate(rgb);
    return out;
  }
  const size_t pixels = rgb.size() / 3;
  std::vector<uint8_t> indices(pixels);
  const auto* p = reinterpret_cast<const uint8_t*>(rgb.data());
  for (size_t i = 0; i < pixels; ++i, p += 3)
    indices[i] = static_cast<uint8_t>(set.Find(ColourAt(p)));
  out.indexed = true;
  out.bits = BitsFor(a.colours.size());
  out.palette.reserve(a.colours.size() * 3);
  for (const uint32_t colour : a.colours) {
    out.palette.push_back(static_cast<char>(colour >> 16));
    out.palette.push_back(static_cast<char>(colour >> 8));
    out.palette.push_back(static_cast<char>(colour));
  }
  out.data = Deflate(PackIndices(indices, width, height, out.bits));
  return out;
}

// A baseline JPEG of the samples (grey when gray holds them), its Huffman
// tables optimised unless it is a trial (same samples, a few percent more
// bytes, in a fraction of the time).
TEncodedThumbnail Dct(std::string_view rgb, const std::string* gray, int32_t width,
                      int32_t height, int quality, bool full_chroma, bool trial = false) {
  TEncodedThumbnail out;
  out.width = width;
  out.height = height;
  out.dct = true;
  out.components = gray ? 1 : 3;
  std::string jpeg =
      EncodeJpeg(reinterpret_cast<const uint8_t*>(gray ? gray->data() : rgb.data()), width,
                 height, out.components, quality, full_chroma, true, !trial);
  if (!jpeg.empty()) out.data = std::make_unique<TMemoryStream>(std::move(jpeg));
  return out;
}

// The mean error of a JPEG thumbnail, decoded, against the samples it was
// made from; negative when it does not decode to their size.
double DecodedError(const TEncodedThumbnail& dct, std::string_view rgb) {
  try {
    TJPEGImage decoded;
    decoded.LoadFromBytes(std::string_view(static_cast<const char*>(dct.data->Memory()),
                                           static_cast<size_t>(dct.data->Size())),
                          "thumbnail");
    const QImage& image = decoded.Image();
    if (image.width() != dct.width || image.height() != dct.height) return -1;
    int64_t sum = 0;
    const size_t row_bytes = static_cast<size_t>(dct.width) * 3;
    if (rgb.size() != row_bytes * static_cast<size_t>(dct.height)) return -1;
    for (int32_t y = 0; y < dct.height; ++y) {
      const uint8_t* a = image.constScanLine(y);
      const auto* b = reinterpret_cast<const uint8_t*>(rgb.data()) + row_bytes * y;
      for (size_t i = 0; i < row_bytes; ++i) sum += std::abs(a[i] - b[i]);
    }
    return static_cast<double>(sum) / static_cast<double>(rgb.size());
  } catch (const Exception&) {
    return -1;
  }
}

int64_t SizeOf(const TEncodedThumbnail& t) { return t.data ? t.data->Size() : INT64_MAX; }

}  // namespace

const char* TEncodedThumbnail::Form() const {
  if (dct) return "JPEG";
  if (indexed) return "Indexed";
  return components == 1 ? "Gray" : "RGB";
}

double MeanAbsoluteError(std::string_view a, std::string_view b) {
  if (a.size() != b.size() || a.empty()) return a.size() == b.size() ? 0.0 : 255.0;
  int64_t sum = 0;
  for (size_t i = 0; i < a.size(); ++i)
    sum += std::abs(static_cast<int>(static_cast<uint8_t>(a[i])) -
                    static_cast<int>(static_cast<uint8_t>(b[i])));
  return static_cast<double>(sum) / static_cast<double>(a.size());
}

TEncodedThumbnail EncodeThumbnail(std::string_view rgb, int32_t width, int32_t height,
                                  const TgtThumbnailEncoding& encoding, bool lossless) {
  auto set = std::make_unique<ColourSet>();
  const Analysis a = Analyse(rgb, *set);
  const TgtThumbnailFormat format = lossless ? TgtThumbnailFormat::Lossless : encoding.format;
  if (format == TgtThumbnailFormat::Lossless) {
    TEncodedThumbnail out = Exact(rgb, width, height, a, *set);
    out.width = width;
    out.height = height;
    return out;
  }
  const std::string gray = a.near_gray ? GraySamples(rgb) : std::string();
  const std::string* gray_samples = a.near_gray ? &gray : nullptr;
  if (format == TgtThumbnailFormat::Jpeg) {
    TEncodedThumbnail out = Dct(rgb, gray_samples, width, height, encoding.quality, false);
    if (out.data) return out;
    return Exact(rgb, width, height, a, *set);
  }

  // Automatic: the smallest JPEG that keeps within the bound, when it is
  // smaller than the exact form. The candidates go roughly from small to
  // large and the first within the bound is kept: chroma at half
  // resolution, 15 below the quality asked and at it (smooth photographs
  // keep within the bound at the lower one, for a fifth fewer bytes), then
  // (colour only) chroma at full resolution, which sharp colour edges need,
  // at rising qualities. Continuous colour needs no exact candidate: Flate
  // RGB of a picture with thousands of colours is always the larger.
  struct Candidate {
    int quality;
    bool full_chroma;
  };
  const int asked = std::clamp(encoding.quality, 1, 100);
  const int lower = std::max(asked - 15, 1);
  std::vector<Candidate> ladder{{lower, false}, {asked, false}};
  if (!a.near_gray) {
    ladder.push_back({lower, true});
    ladder.push_back({std::max(asked - 5, 1), true});
  }
  for (const int quality : {80, 90, 97})
    if (quality > asked) ladder.push_back({quality, !a.near_gray});
  // Grey or flat content is compared with its exact form, made first so
  // that the ladder stops once a candidate is no smaller (and is not
  // tried when the exact form is tiny).
  const bool continuous = !a.Flat() && !a.near_gray;
  TEncodedThumbnail exact;
  if (!continuous) {
    exact = a.near_gray ? GrayExact(gray, width, height) : Exact(rgb, width, height, a, *set);
    if (SizeOf(exact) <= kSmallestJpeg) return exact;
  }
  // Each candidate is tried with standard tables, which decode to the same
  // samples; only the one kept is encoded with optimised ones. Optimised
  // tables save well under a fifth of a trial's bytes, so a trial a
  // quarter larger than the exact form cannot lead to a smaller JPEG.
  for (const Candidate& candidate : ladder) {
    const TEncodedThumbnail trial =
        Dct(rgb, gray_samples, width, height, candidate.quality, candidate.full_chroma, true);
    if (!trial.data || (!continuous && SizeOf(trial) * 4 >= SizeOf(exact) * 5)) break;
    const double error = DecodedError(trial, rgb);
    if (error < 0 || error > kMaxMeanError) continue;
    TEncodedThumbnail dct =
        Dct(rgb, gray_samples, width, height, candidate.quality, candidate.full_chroma);
    if (!dct.data || (!continuous && SizeOf(dct) >= SizeOf(exact))) break;
    return dct;
  }
  if (continuous) return Exact(rgb, width, height, a, *set);
  return exact;
}

std::unique_ptr<TgtPDFIndirectReference> RegisterEncodedThumbnail(
    TgtPDFObjectStore& store, uint32_t serial, TEncodedThumbnail thumbnail,
    const std::string& resource_name) {
  auto dict = std::make_unique<TgtPDFDictObject>();
  dict->AddName("/Type", "/XObject");
  dict->AddName("/Subtype", "/Image");
  dict->AddName("/Name", resource_name);  // nothing when empty
  dict->AddInteger("/Width", thumbnail.width);
  dict->AddInteger("/Height", thumbnail.height);
  dict->AddInteger("/BitsPerComponent", thumbnail.bits);
  const char* base = thumbnail.components == 1 ? "/DeviceGray" : "/DeviceRGB";
  if (thumbnail.indexed) {
    auto space = std::make_unique<TgtPDFArrayObject>();
    space->Add(std::make_unique<TgtPDFNameObject>("/Indexed"));
    space->Add(std::make_unique<TgtPDFNameObject>(base));
    const size_t entries = thumbnail.palette.size() / static_cast<size_t>(thumbnail.components);
    space->AddInteger(static_cast<int32_t>(entries) - 1);
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string hex = "<";
    for (const char c : thumbnail.palette) {
      hex.push_back(kHex[static_cast<uint8_t>(c) >> 4]);
      hex.push_back(kHex[static_cast<uint8_t>(c) & 15]);
    }
    hex.push_back('>');
    space->Add(std::make_unique<TgtPDFStringObject>(std::move(hex), true));
    dict->AddValue("/ColorSpace", std::move(space));
  } else {
    dict->AddName("/ColorSpace", base);
  }
  dict->AddName("/Filter", thumbnail.dct ? "/DCTDecode" : "/FlateDecode");
  std::unique_ptr<TMemoryStream> data = std::move(thumbnail.data);
  dict->AddInt64("/Length", data->Size());
  data->SetPosition(0);
  const int32_t number = store.NextObjectNumber();
  auto stream = std::make_unique<TgtPDFStreamObject>(std::move(dict), std::move(data));
  auto object = std::make_unique<TgtPDFIndirectObject>(serial, number, 0, std::move(stream));
  return store.Add(std::move(object))->MakeReference();
}

}  // namespace pagemint
