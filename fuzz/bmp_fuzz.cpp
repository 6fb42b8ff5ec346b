// SPDX-License-Identifier: GPL-3.0-or-later
// Bitmap files and bare DIBs: loading (at full size and reduced), drawing,
// copying and conversion to 24 bits, and the same bytes decoded as an icon's DIB.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "fuzz/picture_fuzz.h"
#include "pdf/document/thumbnail.h"
#include "picture/dib.h"
#include "picture/graphic.h"

using namespace pagemint;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzing::LimitPictures();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  TBitmap bitmap;
  try {
    bitmap.LoadFromBytes(bytes, "fuzz.bmp");
    if (bitmap.Width() < 1 || bitmap.Height() < 1 ||
        int64_t{bitmap.Width()} * bitmap.Height() > fuzzing::kFuzzPixelLimit)
      std::abort();
    TBitmap canvas;
    canvas.SetSize(16, 16);
    bitmap.Draw(canvas, -3, -2);
    TBitmap copy;
    copy.Assign(bitmap);
    copy.ConvertTo24Bit();
    if (!copy.Is24Bit() || copy.Width() != bitmap.Width()) std::abort();
    // The thumbnail's raw samples: three bytes a pixel, rows packed.
    const auto samples = BitmapToRGB(bitmap);
    if (samples->Size() != int64_t{bitmap.Width()} * bitmap.Height() * 3) std::abort();
  } catch (const EInvalidGraphic&) {
  }
  // The same bytes wanted small: decoded by rows into a reduced picture.
  try {
    TBitmap reduced;
    reduced.SetLoadMaxSide(1 + (size > 0 ? data[size - 1] % 64 : 0));
    reduced.LoadFromBytes(bytes, "fuzz.bmp");
    if (reduced.Width() < 1 || reduced.Height() < 1 ||
        int64_t{reduced.Width()} * reduced.Height() > fuzzing::kFuzzPixelLimit)
      std::abort();
  } catch (const EInvalidGraphic&) {
  }
  try {
    const size_t offset = DibBitsOffset(data, size);
    if (offset <= size) DecodeDib({data, size, data + offset, size - offset, true});
  } catch (const EInvalidDib&) {
  }
  return 0;
}
