// SPDX-License-Identifier: GPL-3.0-or-later
// What the picture targets share: a pixel limit small enough that a
// picture claiming a huge size costs the fuzzer little, and the load, size
// check and draw of one picture kind.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "picture/graphic.h"
#include "picture/picture_limits.h"

namespace pagemint::fuzzing {

constexpr int64_t kFuzzPixelLimit = 1 << 20;

inline void LimitPictures() { SetPicturePixelLimit(kFuzzPixelLimit); }

// Loads the bytes as a Picture named name; one that loads must have a size
// within the limit, and is drawn at (x, y) on a small canvas.
template <class Picture>
void LoadAndDraw(const uint8_t* data, size_t size, const char* name, int x, int y) {
  Picture picture;
  try {
    picture.LoadFromBytes(std::string_view(reinterpret_cast<const char*>(data), size), name);
  } catch (const EInvalidGraphic&) {
    return;
  }
  if (picture.Width() < 1 || int64_t{picture.Width()} * picture.Height() > kFuzzPixelLimit)
    std::abort();
  TBitmap canvas;
  canvas.SetSize(16, 16);
  picture.Draw(canvas, x, y);
}

}  // namespace pagemint::fuzzing
