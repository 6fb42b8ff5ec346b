// SPDX-License-Identifier: GPL-3.0-or-later
// Loads the input as an enhanced metafile and plays it onto a small
// canvas. Loading and playing may fail with EInvalidGraphic, never crash.
#include <cstdint>
#include <string_view>

#include "picture/metafile.h"
#include "picture/picture_limits.h"

using namespace pagemint;

// Fontconfig keeps a few allocations for the life of the process once text
// records have loaded fonts.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace {

// The canvas stays small whatever frame the input claims: the player's
// cost then depends on the records, not on the picture's size.
constexpr int kCanvasSide = 64;
// Bitmaps inside the records decode within this many pixels.
constexpr int64_t kFuzzPixelLimit = 1 << 18;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  SetPicturePixelLimit(kFuzzPixelLimit);
  TMetafile metafile;
  try {
    metafile.LoadFromBytes(std::string_view(reinterpret_cast<const char*>(bytes), size),
                           "fuzz.emf");
  } catch (const EInvalidGraphic&) {
    return 0;
  }
  // A fresh canvas for each input: a canvas kept between inputs would carry
  // their pixels and its paint engine from one input to the next, and a
  // failure would then depend on the inputs run before it.
  TBitmap canvas;
  canvas.SetSize(kCanvasSide, kCanvasSide);
  const int w = std::min(kCanvasSide, metafile.Width());
  const int h = std::min(kCanvasSide, metafile.Height());
  try {
    metafile.StretchDraw(canvas, QRect(0, 0, w, h));
  } catch (const EInvalidGraphic&) {
  }
  return 0;
}
