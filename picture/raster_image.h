// SPDX-License-Identifier: GPL-3.0-or-later
// PNG, GIF, TIFF and WebP pictures, decoded by Qt's image readers (TIFF
// and WebP through the image format plugins). The first image of a file
// with several (an animation, a multi-page TIFF) is the picture. It is
// drawn with its transparency, so the canvas shows through where the
// picture is transparent.
#pragma once

#include <QImage>
#include <string>
#include <string_view>

#include "picture/graphic.h"

namespace pagemint {

class TRasterImage : public TGraphic {
 public:
  enum class Kind : uint8_t { Png, Gif, Tiff, WebP };

  explicit TRasterImage(Kind kind) : kind_(kind) {}

  int Width() const override { return image_.width(); }
  int Height() const override { return image_.height(); }
  // "TPngImage", "TGifImage", "TTiffImage", "TWebPImage".
  const char* ClassName() const override;
  // Decodes the whole picture. A damaged file raises EInvalidGraphic with
  // our message naming the file; what the decoder would print on standard
  // error is taken into the message instead.
  void LoadFromBytes(std::string_view bytes, const std::string& name) override;
  void Draw(TBitmap& canvas, int x, int y) const override;

  Kind PictureKind() const { return kind_; }
  // The decoded pixels, premultiplied ARGB32.
  const QImage& Image() const { return image_; }

 private:
  Kind kind_;
  QImage image_;
};

}  // namespace pagemint
