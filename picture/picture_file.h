// SPDX-License-Identifier: GPL-3.0-or-later
// Picture files of every kind the engine reads, recognised by their first
// bytes rather than their names: a bitmap named ".dib", a cursor, a JPEG
// named ".jpeg2" or a PNG named ".jpg" are all read as what they are. The
// extension decides only where the content does not say (a file too short
// or too damaged to show its kind), so the right reader reports the damage.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "picture/graphic.h"

namespace pagemint {

enum class TPictureKind : uint8_t {
  Unknown = 0,
  Bitmap,
  Jpeg,
  Metafile,
  Icon,
  Png,
  Gif,
  Tiff,
  WebP
};

// The kind the first bytes of a file show; Unknown when they show none.
TPictureKind PictureKindOfContent(std::string_view bytes);
// The kind the file name's extension names, without regard to case.
TPictureKind PictureKindOfName(std::string_view file_name);
// The content's kind, else the name's.
TPictureKind DetectPictureKind(std::string_view bytes, std::string_view file_name);
// "bitmap", "JPEG", "metafile", "icon", "PNG", "GIF", "TIFF", "WebP", "unknown".
const char* PictureKindName(TPictureKind kind);

// A picture of the kind, empty; nullptr for Unknown.
std::unique_ptr<TGraphic> MakePicture(TPictureKind kind);

// Reads the file and decodes it as the kind it is. Raises EInvalidGraphic
// naming the file when it cannot be read, is of no known kind, or is
// damaged. kind, when given, receives the kind detected. max_side > 0 is
// the longer side the picture is wanted at, at most (TGraphic::
// SetLoadMaxSide): a large picture may then come out smaller than its own
// size, but never below max_side.
std::unique_ptr<TGraphic> LoadPictureFile(const std::string& file_name,
                                          TPictureKind* kind = nullptr, int max_side = 0);
std::unique_ptr<TGraphic> LoadPictureBytes(std::string_view bytes, const std::string& name,
                                           TPictureKind* kind = nullptr, int max_side = 0);

// The picture as a page thumbnail shows it: drawn over white at its own
// size (a bitmap copied, opaque), then, when max_side > 0 and a side is
// longer, scaled down with smooth filtering so that the longer side is
// max_side, aspect kept. The result is in the display's format (RGB32).
// A metafile is played straight into that size, and into no more than the
// whole-picture limit (picture_limits.h) allows. A canvas beyond the
// picture limits raises EInvalidGraphic naming name.
std::unique_ptr<TBitmap> PictureOnWhite(const TGraphic& picture, int max_side,
                                        const std::string& name);

}  // namespace pagemint
