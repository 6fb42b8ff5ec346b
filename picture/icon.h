// SPDX-License-Identifier: GPL-3.0-or-later
// An icon file: a directory of images of several sizes and depths, each a
// DIB with a transparency mask or a PNG. The picture is the image nearest
// to the standard icon size of 32 x 32 pixels, the deepest among equally
// near ones; it is drawn with its transparency, so the canvas shows
// through where the icon is transparent.
#pragma once

#include <QImage>
#include <string>
#include <string_view>

#include "picture/graphic.h"

namespace pagemint {

class TIcon : public TGraphic {
 public:
  TIcon() = default;

  int Width() const override { return image_.width(); }
  int Height() const override { return image_.height(); }
  const char* ClassName() const override { return "TIcon"; }
  void LoadFromBytes(std::string_view bytes, const std::string& name) override;
  void Draw(TBitmap& canvas, int x, int y) const override;

  // The chosen image, ARGB32 with its transparency.
  const QImage& Image() const { return image_; }

 private:
  QImage image_;
};

}  // namespace pagemint
