// SPDX-License-Identifier: GPL-3.0-or-later
#include "picture/picture_file.h"

#include <QImage>
#include <algorithm>
#include <cmath>

#include "picture/icon.h"
#include "picture/jpeg_image.h"
#include "picture/metafile.h"
#include "picture/picture_limits.h"
#include "picture/raster_image.h"
#include "platform/codepage.h"
#include "platform/messages.h"
#include "platform/stream.h"

namespace pagemint {

namespace {

uint32_t U32(std::string_view b, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}
uint16_t U16(std::string_view b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}

// A bare DIB (a clipboard bitmap saved as it is) has no signature: its
// header size is one of the few known ones and its plane count is 1.
bool IsBareDib(std::string_view b) {
  if (b.size() < 16) return false;
  const uint32_t header = U32(b, 0);
  if (header == 12) return U16(b, 8) == 1;
  const bool known = header == 16 || header == 40 || header == 52 || header == 56 || header == 64 ||
                     header == 108 || header == 124;
  return known && U16(b, 12) == 1;
}

// The size a metafile is played at: its own, or scaled down to fit
// max_side (when given) and the whole-picture limit, aspect kept.
QSize MetafileSize(int width, int height, int max_side) {
  double scale = 1;
  const int longer = std::max(width, height);
  if (max_side > 0 && longer > max_side) scale = static_cast<double>(max_side) / longer;
  const double pixels = static_cast<double>(width) * height * scale * scale;
  const auto limit = static_cast<double>(WholePicturePixelLimit());
  if (pixels > limit) scale *= std::sqrt(limit / pixels) * 0.999;
  if (scale >= 1) return {width, height};
  return {std::max(1, static_cast<int>(width * scale)), std::max(1, static_cast<int>(height * scale))};
}

}  // namespace

TPictureKind PictureKindOfContent(std::string_view b) {
  if (b.size() >= 8 && b.substr(0, 8) == std::string_view("\x89PNG\r\n\x1A\n", 8))
    return TPictureKind::Png;
  if (b.size() >= 3 && b.substr(0, 3) == "\xFF\xD8\xFF") return TPictureKind::Jpeg;
  if (b.size() >= 6 && (b.substr(0, 6) == "GIF87a" || b.substr(0, 6) == "GIF89a"))
    return TPictureKind::Gif;
  if (b.size() >= 4 && (b.substr(0, 4) == std::string_view("II*\0", 4) ||
                        b.substr(0, 4) == std::string_view("MM\0*", 4) ||
                        b.substr(0, 4) == std::string_view("II+\0", 4) ||
                        b.substr(0, 4) == std::string_view("MM\0+", 4)))
    return TPictureKind::Tiff;
  if (b.size() >= 12 && b.substr(0, 4) == "RIFF" && b.substr(8, 4) == "WEBP")
    return TPictureKind::WebP;
  if (b.size() >= 2 && b.substr(0, 2) == "BM") return TPictureKind::Bitmap;
  // An enhanced metafile starts with its header record (type 1) carrying
  // the " EMF" signature at offset 40.
  if (b.size() >= 44 && U32(b, 0) == 1 && b.substr(40, 4) == " EMF") return TPictureKind::Metafile;
  // Icons (type 1) and cursors (type 2): a reserved zero word, the type and
  // at least one image.
  if (b.size() >= 6 && U16(b, 0) == 0 && (U16(b, 2) == 1 || U16(b, 2) == 2) && U16(b, 4) > 0)
    return TPictureKind::Icon;
  if (IsBareDib(b)) return TPictureKind::Bitmap;
  return TPictureKind::Unknown;
}

TPictureKind PictureKindOfName(std::string_view file_name) {
  const size_t slash = file_name.find_last_of('/');
  const std::string_view base =
      slash == std::string_view::npos ? file_name : file_name.substr(slash + 1);
  const size_t dot = base.rfind('.');
  if (dot == std::string_view::npos) return TPictureKind::Unknown;
  const std::string e = LowerCase(base.substr(dot));
  if (e == ".bmp" || e == ".dib") return TPictureKind::Bitmap;
  if (e == ".jpg" || e == ".jpeg" || e == ".jpe" || e == ".jfif") return TPictureKind::Jpeg;
  if (e == ".emf") return TPictureKind::Metafile;
  if (e == ".ico" || e == ".cur") return TPictureKind::Icon;
  if (e == ".png") return TPictureKind::Png;
  if (e == ".gif") return TPictureKind::Gif;
  if (e == ".tif" || e == ".tiff") return TPictureKind::Tiff;
  if (e == ".webp") return TPictureKind::WebP;
  return TPictureKind::Unknown;
}

TPictureKind DetectPictureKind(std::string_view bytes, std::string_view file_name) {
  const TPictureKind kind = PictureKindOfContent(bytes);
  return kind != TPictureKind::Unknown ? kind : PictureKindOfName(file_name);
}

const char* PictureKindName(TPictureKind kind) {
  switch (kind) {
    case TPictureKind::Bitmap:
      return "bitmap";
    case TPictureKind::Jpeg:
      return "JPEG";
    case TPictureKind::Metafile:
      return "metafile";
    case TPictureKind::Icon:
      return "icon";
    case TPictureKind::Png:
      return "PNG";
    case TPictureKind::Gif:
      return "GIF";
    case TPictureKind::Tiff:
      return "TIFF";
    case TPictureKind::WebP:
      return "WebP";
    case TPictureKind::Unknown:
      break;
  }
  return "unknown";
}

std::unique_ptr<TGraphic> MakePicture(TPictureKind kind) {
  switch (kind) {
    case TPictureKind::Bitmap:
      return std::make_unique<TBitmap>();
    case TPictureKind::Jpeg:
      return std::make_unique<TJPEGImage>();
    case TPictureKind::Metafile:
      return std::make_unique<TMetafile>();
    case TPictureKind::Icon:
      return std::make_unique<TIcon>();
    case TPictureKind::Png:
      return std::make_unique<TRasterImage>(TRasterImage::Kind::Png);
    case TPictureKind::Gif:
      return std::make_unique<TRasterImage>(TRasterImage::Kind::Gif);
    case TPictureKind::Tiff:
      return std::make_unique<TRasterImage>(TRasterImage::Kind::Tiff);
    case TPictureKind::WebP:
      return std::make_unique<TRasterImage>(TRasterImage::Kind::WebP);
    case TPictureKind::Unknown:
      break;
  }
  return nullptr;
}

std::unique_ptr<TGraphic> LoadPictureBytes(std::string_view bytes, const std::string& name,
                                           TPictureKind* kind, int max_side) {
  const TPictureKind detected = DetectPictureKind(bytes, name);
  if (kind) *kind = detected;
  std::unique_ptr<TGraphic> picture = MakePicture(detected);
  if (!picture) throw EInvalidGraphic(Format(msg::kPictureUnknownKind, name.c_str()));
  picture->SetLoadMaxSide(max_side);
  picture->LoadFromBytes(bytes, name);
  return picture;
}

std::unique_ptr<TGraphic> LoadPictureFile(const std::string& file_name, TPictureKind* kind,
                                          int max_side) {
  std::unique_ptr<TFileStream> file;
  try {
    file = std::make_unique<TFileStream>(file_name, TFileMode::fmOpenRead);
  } catch (const Exception& e) {
    throw EInvalidGraphic(e.Message());
  }
  // The file stream holds the whole file; decode straight from its buffer.
  std::string_view bytes;
  const TStream::MemoryView view = file->View();
  if (view) bytes = std::string_view(reinterpret_cast<const char*>(view.data), view.size);
  return LoadPictureBytes(bytes, file_name, kind, max_side);
}

std::unique_ptr<TBitmap> PictureOnWhite(const TGraphic& picture, int max_side,
                                        const std::string& name) {
  auto bitmap = std::make_unique<TBitmap>();
  try {
    const auto* source = dynamic_cast<const TBitmap*>(&picture);
    if (source != nullptr) {
      bitmap->Assign(*source);
      if (bitmap->Image().format() != QImage::Format_RGB32)
        bitmap->SetImage(bitmap->Image().convertToFormat(QImage::Format_RGB32));
    } else if (const auto* metafile = dynamic_cast<const TMetafile*>(&picture)) {
      const QSize size = MetafileSize(picture.Width(), picture.Height(), max_side);
      bitmap->SetSize(size.width(), size.height());
      metafile->StretchDraw(*bitmap, QRect(QPoint(0, 0), size));
    } else {
      bitmap->SetSize(picture.Width(), picture.Height());
      picture.Draw(*bitmap, 0, 0);
    }
  } catch (const EInvalidGraphic& e) {
    throw EInvalidGraphic(Format(msg::kPictureCannotDraw, name.c_str(), e.Message().c_str()));
  }
  const int width = bitmap->Width();
  const int height = bitmap->Height();
  const int longer = std::max(width, height);
  if (max_side <= 0 || longer <= max_side) return bitmap;
  const double scale = static_cast<double>(max_side) / longer;
  const int new_width = std::max(1, static_cast<int>(std::lround(width * scale)));
  const int new_height = std::max(1, static_cast<int>(std::lround(height * scale)));
  QImage scaled = bitmap->Image().scaled(new_width, new_height, Qt::IgnoreAspectRatio,
                                         Qt::SmoothTransformation);
  if (scaled.isNull())
    throw EInvalidGraphic(Format(msg::kPictureCannotDraw, name.c_str(),
                                 Format(msg::kPictureOutOfMemory, new_width, new_height).c_str()));
  bitmap->SetImage(scaled.convertToFormat(QImage::Format_RGB32));
  return bitmap;
}

}  // namespace pagemint
