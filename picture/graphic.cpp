// SPDX-License-Identifier: GPL-3.0-or-later
#include "picture/graphic.h"

#include <QPainter>
#include <algorithm>
#include <memory>

#include "picture/picture_limits.h"
#include "platform/messages.h"
#include "platform/stream.h"

namespace pagemint {

void TGraphic::LoadFromFile(const std::string& file_name) {
  std::string_view bytes;
  std::unique_ptr<TFileStream> file;
  try {
    file = std::make_unique<TFileStream>(file_name, TFileMode::fmOpenRead);
  } catch (const Exception& e) {
    throw EInvalidGraphic(e.Message());
  }
  // The file stream holds the whole file; decode straight from its buffer.
  const TStream::MemoryView view = file->View();
  if (view) bytes = std::string_view(reinterpret_cast<const char*>(view.data), view.size);
  LoadFromBytes(bytes, file_name);
}

void TBitmap::Assign(const TBitmap& other) {
  image_ = other.image_.copy();
  width_ = other.width_;
  height_ = other.height_;
}

void TBitmap::SetSize(int width, int height) {
  if (width < 1 || height < 1) {
    image_ = QImage();
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    return;
  }
  if (!PictureSizeAllowed(width, height)) throw EInvalidGraphic(PictureTooLargeText(width, height));
  QImage image(width, height, QImage::Format_RGB32);
  if (image.isNull()) throw EInvalidGraphic(Format(msg::kPictureOutOfMemory, width, height));
  image.fill(Qt::white);
  image_ = std::move(image);
  width_ = height_ = 0;
}

void TBitmap::ConvertTo24Bit() {
  if (image_.isNull() || Is24Bit()) return;
  QImage converted = image_.convertToFormat(QImage::Format_BGR888);
  if (converted.isNull())
    throw EInvalidGraphic(Format(msg::kPictureOutOfMemory, image_.width(), image_.height()));
  image_ = std::move(converted);
}

void TBitmap::Draw(TBitmap& canvas, int x, int y) const {
  if (image_.isNull() || canvas.Image().isNull()) return;
  QPainter painter(&canvas.Image());
  painter.drawImage(x, y, image_);
}

}  // namespace pagemint
