// SPDX-License-Identifier: GPL-3.0-or-later
// Icon files: the directory, DIB entries with their masks, PNG entries,
// and drawing with transparency.
#include "fuzz/picture_fuzz.h"
#include "picture/icon.h"

using namespace pagemint;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzing::LimitPictures();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::LoadAndDraw<TIcon>(data, size, "fuzz.ico", 1, -1);
  return 0;
}
