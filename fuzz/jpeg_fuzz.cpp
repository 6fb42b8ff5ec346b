// SPDX-License-Identifier: GPL-3.0-or-later
// JPEG pictures: decoding through libjpeg, whose errors must come back as
// exceptions, and drawing.
#include "fuzz/picture_fuzz.h"
#include "picture/jpeg_image.h"

using namespace pagemint;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzing::LimitPictures();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::LoadAndDraw<TJPEGImage>(data, size, "fuzz.jpg", -5, -5);
  return 0;
}
