// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures as PDF image objects. A picture keeps its exact samples, in the
// smallest exact form (thumbnail_encoder.h): DeviceGray, Indexed or
// DeviceRGB, Flate compressed; a baseline JPEG shown at its own size keeps
// its own data. Rendered pages are stored as the document's thumbnail
// encoding asks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pdf/objects/pdf_objects.h"
#include "platform/exception.h"
#include "platform/stream.h"

namespace pagemint {

class TBitmap;
class TGraphic;
class TgtPDFObjectStore;

// A thumbnail request that cannot be met as asked (a size out of range).
PAGEMINT_EXCEPTION(EThumbnailError, Exception);

// The longer side of rendered and scaled thumbnails.
inline constexpr int32_t kDefaultThumbnailSize = 128;
inline constexpr int32_t kMinThumbnailSize = 16;
inline constexpr int32_t kMaxThumbnailSize = 1024;
// A picture over this on a side makes a thumbnail no viewer needs, and a
// file larger for nothing: attaching one raises a warning.
inline constexpr int32_t kLargeThumbnailSide = 1024;

// The bitmap's pixels as Width x Height x 3 bytes, red, green, blue, rows
// top to bottom with no padding. Works on a private 24-bit copy.
std::unique_ptr<TMemoryStream> BitmapToRGB(const TBitmap& bitmap);

// Compresses the whole of source (from its start) into destination at its
// position as one zlib stream at the default level; returns the bytes added.
int64_t DeflateStream(TMemoryStream& source, TStream& destination);

// The same for samples in memory, into a new stream positioned at 0. Safe
// to call from several threads at once.
std::unique_ptr<TMemoryStream> CompressSamples(std::string_view samples);

// Registers the image object for width x height pixels whose packed RGB
// samples compressed holds, under the store's next number (marked used),
// and returns a new reference to it.
std::unique_ptr<TgtPDFIndirectReference> RegisterImageXObject(
    TgtPDFObjectStore& store, uint32_t serial, int32_t width, int32_t height,
    std::unique_ptr<TMemoryStream> compressed, const std::string& resource_name);

// Builds the image object for picture (exact samples, or a baseline JPEG's
// own data), registers it in store under the
// store's next number (marked used) and returns a new reference to it.
// resource_name is a name with its slash, or empty for no /Name.
std::unique_ptr<TgtPDFIndirectReference> CreateImageXObject(TgtPDFObjectStore& store,
                                                            uint32_t serial,
                                                            const TGraphic& picture,
                                                            const std::string& resource_name);

// The picture file as a thumbnail shows it (PictureOnWhite at max_side,
// 0 for its own size). A JPEG larger than max_side is decoded at the
// smallest of libjpeg's scales that still covers max_side, so a huge one
// costs little; a baseline JPEG that needs no scaling comes back as the
// JPEG itself, whose own data CreateImageXObject keeps. Raises
// EInvalidGraphic naming the file.
std::unique_ptr<TGraphic> LoadThumbnailPicture(const std::string& file_name, int max_side);

// Sets the page dictionary's /Thumb to image (nullptr removes the entry).
// The writer leaves the image it referred to before out once nothing else
// refers to it.
void ReplaceThumbnail(TgtPDFDictObject& page, std::unique_ptr<TgtPDFIndirectReference> image);

}  // namespace pagemint
