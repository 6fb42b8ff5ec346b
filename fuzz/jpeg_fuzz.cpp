// JPEG pictures: decoding through libjpeg, whose errors must come back as
// exceptions, and drawing.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "picture/graphic.h"
#include "picture/jpeg_image.h"
#include "picture/picture_limits.h"

using namespace pagemint;

namespace {
// Small enough that a header claiming a huge size costs the fuzzer little.
constexpr int64_t kFuzzPixelLimit = 1 << 20;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetPicturePixelLimit(kFuzzPixelLimit);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TJPEGImage jpeg;
  try {
    jpeg.LoadFromBytes(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.jpg");
  } catch (const EInvalidGraphic&) {
    return 0;
  }
  if (jpeg.Width() < 1 || int64_t{jpeg.Width()} * jpeg.Height() > kFuzzPixelLimit) std::abort();
  TBitmap canvas;
  canvas.SetSize(16, 16);
  jpeg.Draw(canvas, -5, -5);
  return 0;
}
