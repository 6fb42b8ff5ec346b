// Pictures as PDF image objects: packed 8-bit RGB samples, rows from the
// top, compressed as one zlib stream at zlib's default level. Every
// thumbnail the engine makes, from a picture or from a rendered page, is an
// image object of this one form.
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

// Builds the image object for picture, registers it in store under the
// store's next number (marked used) and returns a new reference to it.
// resource_name is a name with its slash, or empty for no /Name.
std::unique_ptr<TgtPDFIndirectReference> CreateImageXObject(TgtPDFObjectStore& store,
                                                            uint32_t serial,
                                                            const TGraphic& picture,
                                                            const std::string& resource_name);

// Sets the page dictionary's /Thumb to image (nullptr removes the entry).
// The writer leaves the image it referred to before out once nothing else
// refers to it.
void ReplaceThumbnail(TgtPDFDictObject& page, std::unique_ptr<TgtPDFIndirectReference> image);

}  // namespace pagemint
