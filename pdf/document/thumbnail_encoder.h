// SPDX-License-Identifier: GPL-3.0-or-later
// Thumbnail samples stored in their smallest faithful form.
//
// A thumbnail arrives as packed 8-bit RGB. Exact forms keep every sample:
// DeviceGray when no pixel has colour, Indexed (1, 2, 4 or 8 bits a pixel)
// when it has few colours, DeviceRGB otherwise, each Flate compressed.
// The automatic choice also tries baseline JPEGs (grey when every pixel's
// channels lie within kGrayTolerance levels) from small to large, and
// keeps the first that, decoded again, is within kMaxMeanError levels of
// the samples on average, when it is smaller than the exact form: the
// thumbnail a reader shows is then the rendered one within that bound.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pdf/document/document_types.h"
#include "platform/stream.h"

namespace pagemint {

class TgtPDFObjectStore;
class TgtPDFIndirectReference;

inline constexpr int kGrayTolerance = 2;
inline constexpr double kMaxMeanError = 3.0;

// One thumbnail as it will be stored.
struct TEncodedThumbnail {
  int32_t width = 0;
  int32_t height = 0;
  std::unique_ptr<TMemoryStream> data;  // the stream's data; nullptr for none
  bool dct = false;                     // DCTDecode, else FlateDecode
  int components = 3;                   // 1 or 3 (of the palette when indexed)
  bool indexed = false;
  int bits = 8;         // bits a sample
  std::string palette;  // indexed: components bytes an entry
  // "JPEG", "Gray", "Indexed" or "RGB", as listings show it.
  const char* Form() const;
};

// Encodes width x height packed RGB samples (rows from the top) as the
// encoding asks; exact forms only when lossless is true whatever it says.
TEncodedThumbnail EncodeThumbnail(std::string_view rgb, int32_t width, int32_t height,
                                  const TgtThumbnailEncoding& encoding, bool lossless = false);

// Mean absolute difference of two sample arrays of the same size (0 when
// they are empty).
double MeanAbsoluteError(std::string_view a, std::string_view b);

// Registers the image object of thumbnail under the store's next number
// (marked used); returns a new reference to it. resource_name is a name
// with its slash, or empty for no /Name.
std::unique_ptr<TgtPDFIndirectReference> RegisterEncodedThumbnail(
    TgtPDFObjectStore& store, uint32_t serial, TEncodedThumbnail thumbnail,
    const std::string& resource_name);

}  // namespace pagemint
