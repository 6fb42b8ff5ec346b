// Icon files: the directory, DIB entries with their masks, PNG entries,
// and drawing with transparency.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "picture/graphic.h"
#include "picture/icon.h"
#include "picture/picture_limits.h"

using namespace pagemint;

namespace {
// Small enough that an entry claiming a huge size costs the fuzzer little.
constexpr int64_t kFuzzPixelLimit = 1 << 20;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetPicturePixelLimit(kFuzzPixelLimit);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TIcon icon;
  try {
    icon.LoadFromBytes(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.ico");
  } catch (const EInvalidGraphic&) {
    return 0;
  }
  if (icon.Width() < 1 || int64_t{icon.Width()} * icon.Height() > kFuzzPixelLimit) std::abort();
  TBitmap canvas;
  canvas.SetSize(16, 16);
  icon.Draw(canvas, 1, -1);
  return 0;
}
