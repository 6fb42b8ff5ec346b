// SPDX-License-Identifier: GPL-3.0-or-later
// An enhanced metafile: a picture recorded as drawing records, played back
// by our own record player onto a bitmap without anti-aliasing.
//
// The picture's pixel size comes from the header's frame (in 0.01 mm) at
// 96 pixels per inch, rounded half away from zero.
#pragma once

#include <QRect>
#include <cstdint>
#include <string>
#include <string_view>

#include "picture/emf_format.h"
#include "picture/graphic.h"

namespace pagemint {

class TMetafile : public TGraphic {
 public:
  TMetafile() = default;

  int Width() const override { return width_; }
  int Height() const override { return height_; }
  const char* ClassName() const override { return "TMetafile"; }
  // Checks the header and that every record lies inside the file, then
  // keeps the bytes for playing.
  void LoadFromBytes(std::string_view bytes, const std::string& name) override;
  // Plays the records with the frame mapped onto (x, y, Width(), Height()).
  void Draw(TBitmap& canvas, int x, int y) const override;
  // Plays the records with the frame mapped onto dest.
  void StretchDraw(TBitmap& canvas, const QRect& dest) const;

  const emf::Header& Header() const { return header_; }

 private:
  std::string bytes_;
  std::string name_;
  emf::Header header_;
  int width_ = 0;
  int height_ = 0;
};

// Pixels at 96 per inch for a length in 0.01 mm, rounded half away from
// zero like the platform's MulDiv.
int MetafileUnitsToPixels(int64_t hundredths_of_mm);

}  // namespace pagemint
