// SPDX-License-Identifier: GPL-3.0-or-later
#include "picture/metafile.h"

#include <cstdlib>

#include "picture/emf_player.h"
#include "picture/picture_limits.h"
#include "platform/messages.h"

namespace pagemint {

int MetafileUnitsToPixels(int64_t hundredths_of_mm) {
  // MulDiv(n, 96, 2540): the exact quotient rounded half away from zero.
  const int64_t product = hundredths_of_mm * 96;
  const int64_t quotient = (std::llabs(product) + 1270) / 2540;
  const int64_t result = product < 0 ? -quotient : quotient;
  if (result > INT32_MAX) return INT32_MAX;
  if (result < INT32_MIN) return INT32_MIN;
  return static_cast<int>(result);
}

void TMetafile::LoadFromBytes(std::string_view bytes, const std::string& name) {
  try {
    const emf::Header header = emf::ReadHeader(bytes);
    const int width = MetafileUnitsToPixels(int64_t{header.frame.right} - header.frame.left);
    const int height = MetafileUnitsToPixels(int64_t{header.frame.bottom} - header.frame.top);
    if (width <= 0 || height <= 0) {
      throw emf::EMetafileDamage(Format(msg::kMetafileEmptyFrame, width, height));
    }
    // Only the side is checked here: the pixel budget applies to the
    // bitmap the picture is drawn onto, which the caller sizes.
    if (width > kMaxPictureSide || height > kMaxPictureSide) {
      throw emf::EMetafileDamage(Format(msg::kMetafileFrameTooLarge, width, height));
    }
    const emf::Summary summary = emf::ScanRecords(bytes);
    if (summary.has_emf_plus && !summary.has_drawing) {
      throw emf::EMetafileDamage(msg::kMetafilePlusOnly);
    }
    bytes_.assign(bytes);
    name_ = name;
    header_ = header;
    width_ = width;
    height_ = height;
  } catch (const emf::EMetafileDamage& e) {
    throw EInvalidGraphic(Format(msg::kMetafileInvalid, name.c_str(), e.what()));
  }
}

void TMetafile::Draw(TBitmap& canvas, int x, int y) const {
  StretchDraw(canvas, QRect(x, y, width_, height_));
}

void TMetafile::StretchDraw(TBitmap& canvas, const QRect& dest) const {
  if (bytes_.empty() || canvas.Image().isNull()) return;
  try {
    emf::Player player(bytes_, header_, canvas.Image(), QRectF(dest));
    player.Play();
  } catch (const emf::EMetafileDamage& e) {
    throw EInvalidGraphic(Format(msg::kMetafileInvalid, name_.c_str(), e.what()));
  }
}

}  // namespace pagemint
