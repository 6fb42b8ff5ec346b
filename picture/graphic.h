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
};

// A bitmap: a QImage in the display's format (32 bits per pixel, RGB32)
// until it is converted to 24 bits per pixel (rows of blue, green, red).
class TBitmap : public TGraphic {
 public:
  TBitmap() = default;

  int Width() const override { return image_.width(); }
  int Height() const override { return image_.height(); }
  const char* ClassName() const override { return "TBitmap"; }
  void LoadFromBytes(std::string_view bytes, const std::string& name) override;
  void Draw(TBitmap& canvas, int x, int y) const override;

  // Same size, same pixel format, same pixels.
  void Assign(const TBitmap& other) { image_ = other.image_.copy(); }
  // A new size; the new bitmap is white.
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
  void SetImage(QImage image) { image_ = std::move(image); }

 private:
  QImage image_;
};

}  // namespace pagemint
