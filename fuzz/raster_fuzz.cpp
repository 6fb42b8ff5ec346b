// SPDX-License-Identifier: GPL-3.0-or-later
// PNG, GIF, TIFF and WebP pictures through Qt's readers, reached as the
// engine reaches every picture file: the kind told by the content (the
// name's extension only where the content says nothing), loaded, drawn over
// white and scaled to a thumbnail size. The other kinds have targets of
// their own; here they only pass through the recognition.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/picture_fuzz.h"
#include "picture/graphic.h"
#include "picture/picture_file.h"

using namespace pagemint;

namespace {
constexpr int kThumbnailSide = 64;
// The names an input may come with; the input's size picks one, so that
// content without a signature reaches each reader too.
constexpr const char* kNames[] = {"fuzz.png", "fuzz.gif", "fuzz.tif", "fuzz.webp", "fuzz"};
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzing::LimitPictures();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string name = kNames[size % (sizeof kNames / sizeof kNames[0])];
  const TPictureKind kind = DetectPictureKind(bytes, name);
  if (kind != TPictureKind::Png && kind != TPictureKind::Gif && kind != TPictureKind::Tiff &&
      kind != TPictureKind::WebP)
    return 0;
  try {
    const std::unique_ptr<TGraphic> picture = LoadPictureBytes(bytes, name);
    if (picture->Width() < 1 || picture->Height() < 1 ||
        int64_t{picture->Width()} * picture->Height() > fuzzing::kFuzzPixelLimit)
      std::abort();
    const std::unique_ptr<TBitmap> thumb = PictureOnWhite(*picture, kThumbnailSide, name);
    if (thumb->Width() > kThumbnailSide || thumb->Height() > kThumbnailSide) std::abort();
  } catch (const EInvalidGraphic&) {
  }
  return 0;
}
