// Pictures as PDF image objects: packed 8-bit RGB samples, rows from the
// top, compressed as one zlib stream at zlib's default level.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "pdf/objects/pdf_objects.h"
#include "platform/stream.h"

namespace pagemint {

class TBitmap;
class TGraphic;
class TgtPDFObjectStore;

// The bitmap's pixels as Width x Height x 3 bytes, red, green, blue, rows
// top to bottom with no padding. Works on a private 24-bit copy.
std::unique_ptr<TMemoryStream> BitmapToRGB(const TBitmap& bitmap);

// Compresses the whole of source (from its start) into destination at its
// position as one zlib stream at the default level; returns the bytes added.
int64_t DeflateStream(TMemoryStream& source, TStream& destination);

// Builds the image object for picture, registers it in store under the
// store's next number (marked used) and returns a new reference to it.
// resource_name is a name with its slash, or empty for no /Name.
std::unique_ptr<TgtPDFIndirectReference> CreateImageXObject(TgtPDFObjectStore& store,
                                                            uint32_t serial,
                                                            const TGraphic& picture,
                                                            const std::string& resource_name);

}  // namespace pagemint
