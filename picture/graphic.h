// SPDX-License-Identifier: GPL-3.0-or-later
// The picture toolkit: pictures that load themselves from a file, report
// their pixel size and class name, and draw themselves onto a bitmap at
// their own size. Drawing goes through Qt's QImage and QPainter, which need
// no display.
#pragma once

#include <QImage>
#include <string>
#include <string_view>

#include "platform/exception.h"

namespace pagemint {

// A picture file that cannot be read: names the file and what is wrong.
PAGEMINT_EXCEPTION(EInvalidGraphic, Exception);

class TBitmap;

class TGraphic {
 public:
  TGraphic() = default;
  TGraphic(const TGraphic&) = delete;
  TGraphic& operator=(const TGraphic&) = delete;
  virtual ~TGraphic() = default;

  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // "TBitmap", "TJPEGImage", "TMetafile", "TIcon", ...
  virtual const char* ClassName() const = 0;
  // Raises EInvalidGraphic naming the file on any failure; the picture is
  // then left as it was before the call.
  void LoadFromFile(const std::string& file_name);
  // The same from bytes in memory; name is used in error messages.
  virtual void LoadFromBytes(std::string_view bytes, const std::string& name) = 0;
  // Draws the picture onto canvas with its top-left corner at (x, y), at
  // its own size. Parts the picture does not paint are left as they were.
  virtual void Draw(TBitmap& canvas, int x, int y) const = 0;

  // The longer side the picture is wanted at, at most (a thumbnail's
  // size), or 0 for its own size. Set before loading: a decoder that can
  // then decodes a large picture reduced on the way, to a size whose longer
  // side is still at least this, and Width() and Height() give that size.
  // A picture beyond the whole-picture limit (picture_limits.h) loads only
  // so.
  void SetLoadMaxSide(int max_side) { load_max_side_ = max_side; }
  int LoadMaxSide() const { return load_max_side_; }

 private:
  int load_max_side_ = 0;
};

// A bitmap: a QImage in the display's format (32 bits per pixel, RGB32)
// until it is converted to 24 bits per pixel (rows of blue, green, red).
// A bitmap loaded from a file is opaque: an alpha channel in the file is
// composited over white, as every other picture is drawn as a thumbnail.
class TBitmap : public TGraphic {
 public:
  TBitmap() = default;

  int Width() const override { return image_.isNull() ? width_ : image_.width(); }
  int Height() const override { return image_.isNull() ? height_ : image_.height(); }
  const char* ClassName() const override { return "TBitmap"; }
  // A bitmap file (BITMAPFILEHEADER, then a DIB) or a bare DIB as the
  // clipboard stores it.
  void LoadFromBytes(std::string_view bytes, const std::string& name) override;
  // Copies the pixels onto canvas (alpha, if a caller put any in, is
  // composited).
  void Draw(TBitmap& canvas, int x, int y) const override;

  // Same size, same pixel format, same pixels.
  void Assign(const TBitmap& other);
  // A new size; the new bitmap is white, in the display's format. A side
  // below 1 gives an empty bitmap that still remembers the other side, so
  // that SetWidth followed by SetHeight works. Raises EInvalidGraphic beyond
  // the picture limits (picture_limits.h).
  void SetSize(int width, int height);
  void SetWidth(int width) { SetSize(width, Height()); }
  void SetHeight(int height) { SetSize(Width(), height); }
  // Converts to 24 bits per pixel; palette and lower depths are expanded.
  void ConvertTo24Bit();
  bool Is24Bit() const { return image_.format() == QImage::Format_BGR888; }
  // Row y of a 24-bit bitmap: Width() pixels of blue, green, red.
  const uint8_t* ScanLine(int y) const { return image_.constScanLine(y); }

  QImage& Image() { return image_; }
  const QImage& Image() const { return image_; }
  void SetImage(QImage image) {
    image_ = std::move(image);
    width_ = height_ = 0;
  }

 private:
  QImage image_;
  // The size asked for while the image is empty (one side below 1).
  int width_ = 0;
  int height_ = 0;
};

}  // namespace pagemint
