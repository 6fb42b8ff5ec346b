// A JPEG picture, decoded by libjpeg when it is loaded: baseline and
// progressive, greyscale, YCbCr, RGB, CMYK and YCCK (Adobe-inverted or
// not), all turned into RGB. EXIF orientation is ignored: the picture is
// drawn as its rows are stored.
#pragma once

#include <QImage>
#include <string>
#include <string_view>

#include "picture/graphic.h"

namespace pagemint {

class TJPEGImage : public TGraphic {
 public:
  TJPEGImage() = default;

  int Width() const override { return image_.width(); }
  int Height() const override { return image_.height(); }
  const char* ClassName() const override { return "TJPEGImage"; }
  // Decodes the whole image, so that a damaged file fails here, naming the
  // file, rather than later when it is drawn. libjpeg's warnings about
  // recoverable damage (extraneous bytes, premature end of data) do not
  // fail the load.
  void LoadFromBytes(std::string_view bytes, const std::string& name) override;
  void Draw(TBitmap& canvas, int x, int y) const override;

  // The decoded pixels (RGB888).
  const QImage& Image() const { return image_; }
  // libjpeg's first warning for the last load, or empty.
  const std::string& Warning() const { return warning_; }

 private:
  QImage image_;
  std::string warning_;
};

}  // namespace pagemint
