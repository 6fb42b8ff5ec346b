// SPDX-License-Identifier: GPL-3.0-or-later
// Bitmap records, pattern brushes and gradient fills. Bitmaps are decoded
// by the DIB decoder shared with the bitmap files.
#include <QLinearGradient>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "picture/dib.h"
#include "picture/emf_player.h"
#include "picture/emf_player_internal.h"
#include "platform/messages.h"

namespace pagemint::emf {

namespace {

constexpr uint32_t kHalftone = 4;
constexpr uint32_t kAcSrcAlpha = 1;

// Ternary raster operations by their index byte (bits 16..23 of the code).
constexpr uint32_t kRopSrcCopy = 0xCC;
constexpr uint32_t kRopPatCopy = 0xF0;
constexpr uint32_t kRopPatInvert = 0x5A;
constexpr uint32_t kRopDstInvert = 0x55;
constexpr uint32_t kRopBlackness = 0x00;
constexpr uint32_t kRopWhiteness = 0xFF;
constexpr uint32_t kRopDest = 0xAA;

uint32_t RopIndex(uint32_t rop) { return (rop >> 16) & 0xFF; }

QPainter::CompositionMode SourceRopMode(uint32_t index) {
  switch (index) {
    case 0xEE:
      return QPainter::RasterOp_SourceOrDestination;
    case 0x88:
      return QPainter::RasterOp_SourceAndDestination;
    case 0x66:
      return QPainter::RasterOp_SourceXorDestination;
    case 0x44:
      return QPainter::RasterOp_SourceAndNotDestination;
    case 0x33:
      return QPainter::RasterOp_NotSource;
    case 0x11:
      return QPainter::RasterOp_NotSourceAndNotDestination;
    case 0xBB:
      return QPainter::RasterOp_NotSourceOrDestination;
    default:
      return QPainter::CompositionMode_SourceOver;
  }
}

QImage Opaque(const QImage& image) {
  QImage out = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < out.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) row[x] |= 0xFF000000u;
  }
  out.reinterpretAsFormat(QImage::Format_RGB32);
  return out;
}

// The bitmap records' 32-bit pixels carry premultiplied alpha.
QImage Premultiplied(const QImage& image) {
  QImage out = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < out.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      const int a = qAlpha(row[x]);
      row[x] = qRgba(std::min(qRed(row[x]), a), std::min(qGreen(row[x]), a),
                     std::min(qBlue(row[x]), a), a);
    }
  }
  out.reinterpretAsFormat(QImage::Format_ARGB32_Premultiplied);
  return out;
}

QColor VertexColor(const Record& r, size_t at) {
  return QColor(r.U16(at + 8) >> 8, r.U16(at + 10) >> 8, r.U16(at + 12) >> 8);
}

}  // namespace

QImage Player::RecordDib(const Record& r, size_t bmi_field, size_t bits_field,
                         bool* bottom_up) const {
  const uint32_t bmi_offset = r.U32(bmi_field), bmi_size = r.U32(bmi_field + 4);
  const uint32_t bits_offset = r.U32(bits_field), bits_size = r.U32(bits_field + 4);
  if (bmi_size == 0) return QImage();
  if (!r.Holds(bmi_offset, bmi_size) || !r.Holds(bits_offset, bits_size)) {
    throw EMetafileDamage(msg::kMetafileBadIndex);
  }
  const uint8_t* info = r.Data() + bmi_offset;
  if (bottom_up) {
    // Core headers (12 bytes) always run bottom-up; the others say so by a
    // positive height.
    *bottom_up = bmi_size < 12 || r.U32(bmi_offset) == 12 || r.I32(bmi_offset + 8) > 0;
  }
  DibSource source;
  source.info = info;
  source.info_size = bmi_size;
  source.bits = r.Data() + bits_offset;
  source.bits_size = bits_size;
  try {
    return DecodeDib(source);
  } catch (const EInvalidDib&) {
    // A well-formed record whose bitmap we cannot decode (a compression
    // meant for printers, say) is left out; the rest still plays.
    return QImage();
  }
}

Brush Player::ReadPatternBrush(const Record& r) const {
  Brush brush;
  brush.pattern = RecordDib(r, 16, 24, nullptr);
  brush.kind = brush.pattern.isNull() ? Brush::Kind::kNull : Brush::Kind::kPattern;
  return brush;
}

void Player::DrawDib(QImage image, const QRectF& logical_dest, QRectF source, uint32_t rop,
                     bool keep_alpha, double opacity) {
  if (image.isNull()) return;
  source = source.normalized().intersected(QRectF(image.rect()));
  if (source.width() < 1 || source.height() < 1) return;
  image = image.copy(source.toAlignedRect());
  image = keep_alpha ? Premultiplied(image) : Opaque(image);

  const QTransform t = Full();
  const QPointF p0 = t.map(logical_dest.topLeft());
  const QPointF p1 = t.map(logical_dest.bottomRight());
  PreparePainter();
  const QPainter::CompositionMode mode = SourceRopMode(RopIndex(rop));
  if (mode != QPainter::CompositionMode_SourceOver) used_raster_op_ = true;
  painter_.setCompositionMode(mode);
  painter_.setOpacity(opacity);
  painter_.setRenderHint(QPainter::SmoothPixmapTransform, state_.stretch_mode == kHalftone);
  if (t.type() <= QTransform::TxScale) {
    // Mirrored where the destination runs against the device's axes.
    image = image.mirrored(p1.x() < p0.x(), p1.y() < p0.y());
    const int x0 = RoundCoordinate(std::min(p0.x(), p1.x()));
    const int y0 = RoundCoordinate(std::min(p0.y(), p1.y()));
    const int x1 = RoundCoordinate(std::max(p0.x(), p1.x()));
    const int y1 = RoundCoordinate(std::max(p0.y(), p1.y()));
    if (x1 > x0 && y1 > y0) painter_.drawImage(QRect(x0, y0, x1 - x0, y1 - y0), image);
  } else {
    image = image.mirrored(logical_dest.width() < 0, logical_dest.height() < 0);
    painter_.setTransform(t);
    painter_.drawImage(logical_dest.normalized(), image);
    painter_.resetTransform();
  }
  painter_.setRenderHint(QPainter::SmoothPixmapTransform, false);
}

void Player::PatternBlt(const QRectF& logical_dest, uint32_t rop) {
  const uint32_t index = RopIndex(rop);
  if (index == kRopDest || state_.rop2 == 11) return;
  const QTransform t = Full();
  QPainterPath path;
  if (t.type() <= QTransform::TxScale) {
    const QPointF p0 = t.map(logical_dest.topLeft());
    const QPointF p1 = t.map(logical_dest.bottomRight());
    const int x0 = RoundCoordinate(std::min(p0.x(), p1.x()));
    const int y0 = RoundCoordinate(std::min(p0.y(), p1.y()));
    const int x1 = RoundCoordinate(std::max(p0.x(), p1.x()));
    const int y1 = RoundCoordinate(std::max(p0.y(), p1.y()));
    path.addRect(QRectF(x0, y0, x1 - x0, y1 - y0));
  } else {
    path.addRect(logical_dest.normalized());
    path = t.map(path);
  }
  PreparePainter();
  painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
  switch (index) {
    case kRopBlackness:
      painter_.fillPath(path, Qt::black);
      return;
    case kRopWhiteness:
      painter_.fillPath(path, Qt::white);
      return;
    case kRopDstInvert:
      used_raster_op_ = true;
      painter_.setCompositionMode(QPainter::RasterOp_NotDestination);
      painter_.fillPath(path, Qt::black);
      return;
    case kRopPatInvert:
      used_raster_op_ = true;
      painter_.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
      painter_.fillPath(path, DeviceBrush(*state_.brush));
      return;
    default:
      if (state_.brush->kind != Brush::Kind::kNull)
        painter_.fillPath(path, DeviceBrush(*state_.brush));
      return;
  }
}

void Player::BitBlt(const Record& r, bool stretch) {
  const QRectF dest(r.I32(24), r.I32(28), r.I32(32), r.I32(36));
  const uint32_t rop = r.U32(40);
  if (r.U32(88) == 0) {
    // No source bitmap: the brush and the destination only.
    PatternBlt(dest, rop);
    return;
  }
  const QImage image = RecordDib(r, 84, 92, nullptr);
  QRectF source(r.I32(44), r.I32(48), stretch ? r.I32(100) : r.I32(32),
                stretch ? r.I32(104) : r.I32(36));
  // The source's own world transform, when it only moves and scales.
  const QTransform xform(r.F32(52), r.F32(56), r.F32(60), r.F32(64), r.F32(68), r.F32(72));
  if (std::isfinite(xform.determinant()) && xform.type() <= QTransform::TxScale &&
      xform.determinant() != 0) {
    source = xform.mapRect(source);
  }
  if (RopIndex(rop) == kRopPatCopy || RopIndex(rop) == kRopBlackness ||
      RopIndex(rop) == kRopWhiteness || RopIndex(rop) == kRopDstInvert) {
    PatternBlt(dest, rop);
    return;
  }
  DrawDib(image, dest, source, rop, false, 1);
}

void Player::StretchDiBits(const Record& r) {
  const QRectF dest(r.I32(24), r.I32(28), r.I32(72), r.I32(76));
  const uint32_t rop = r.U32(68);
  bool bottom_up = true;
  const QImage image = RecordDib(r, 48, 56, &bottom_up);
  if (image.isNull()) {
    if (r.U32(52) == 0) PatternBlt(dest, rop);
    return;
  }
  const int32_t x = r.I32(32), y = r.I32(36), w = r.I32(40), h = r.I32(44);
  // A bottom-up bitmap counts source rows from its last row.
  const double top = bottom_up ? static_cast<double>(image.height()) - y - h : y;
  DrawDib(image, dest, QRectF(x, top, w, h), rop, false, 1);
}

void Player::SetDiBitsToDevice(const Record& r) {
  const int32_t x = r.I32(32), y = r.I32(36), w = r.I32(40), h = r.I32(44);
  const QRectF dest(r.I32(24), r.I32(28), w, h);
  const uint32_t bmi_offset = r.U32(48), bmi_size = r.U32(52);
  const uint32_t bits_offset = r.U32(56), bits_size = r.U32(60);
  const uint32_t start = r.U32(68), scans = r.U32(72);
  if (bmi_size < 12 || !r.Holds(bmi_offset, bmi_size) || !r.Holds(bits_offset, bits_size)) {
    throw EMetafileDamage(msg::kMetafileBadIndex);
  }
  // The bits hold only the scans start..start+scans-1; decode them as a
  // bitmap of that many rows.
  std::vector<uint8_t> info(r.Data() + bmi_offset, r.Data() + bmi_offset + bmi_size);
  const bool core = r.U32(bmi_offset) == 12;
  const int32_t full_height = core ? r.U16(bmi_offset + 6) : r.I32(bmi_offset + 8);
  const bool bottom_up = core || full_height > 0;
  if (scans == 0 || scans > static_cast<uint32_t>(std::abs(static_cast<int64_t>(full_height)))) {
    return;
  }
  if (core) {
    const uint16_t rows = static_cast<uint16_t>(scans);
    std::memcpy(&info[6], &rows, 2);
  } else {
    const int32_t rows = bottom_up ? static_cast<int32_t>(scans) : -static_cast<int32_t>(scans);
    std::memcpy(&info[8], &rows, 4);
  }
  DibSource source{info.data(), info.size(), r.Data() + bits_offset, bits_size, false};
  QImage image;
  try {
    image = DecodeDib(source);
  } catch (const EInvalidDib&) {
    return;
  }
  const double top = bottom_up ? static_cast<double>(scans) - (static_cast<double>(y) - start) - h
                               : static_cast<double>(y) - start;
  DrawDib(image, dest, QRectF(x, top, w, h), kRopSrcCopy << 16, false, 1);
}

void Player::AlphaBlend(const Record& r) {
  const QRectF dest(r.I32(24), r.I32(28), r.I32(32), r.I32(36));
  const uint8_t constant_alpha = r.U8(42);
  const uint8_t format = r.U8(43);
  const QImage image = RecordDib(r, 84, 92, nullptr);
  const QRectF source(r.I32(44), r.I32(48), r.I32(100), r.I32(104));
  DrawDib(image, dest, source, kRopSrcCopy << 16, (format & kAcSrcAlpha) != 0,
          constant_alpha / 255.0);
}

void Player::TransparentBlt(const Record& r) {
  const QRectF dest(r.I32(24), r.I32(28), r.I32(32), r.I32(36));
  const QColor key = ColorRef(r.U32(40));
  QImage image = RecordDib(r, 84, 92, nullptr);
  if (image.isNull()) return;
  // Pixels of the key colour become fully transparent (premultiplied zero).
  image = image.convertToFormat(QImage::Format_ARGB32);
  const QRgb key_rgb = key.rgb() & 0xFFFFFF;
  for (int y = 0; y < image.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      row[x] = (row[x] & 0xFFFFFF) == key_rgb ? 0 : (row[x] | 0xFF000000u);
    }
  }
  const QRectF source(r.I32(44), r.I32(48), r.I32(100), r.I32(104));
  DrawDib(image, dest, source, kRopSrcCopy << 16, true, 1);
}

void Player::GradientFill(const Record& r) {
  const uint32_t vertices = r.U32(24);
  const uint32_t shapes = r.U32(28);
  const uint32_t mode = r.U32(32);
  if (mode > 2) return;
  r.Array(36, vertices, 16);
  const size_t first_shape = 36 + size_t{vertices} * 16;
  const size_t shape_size = mode == 2 ? 12 : 8;
  r.Array(first_shape, shapes, shape_size);
  const QTransform t = Full();
  PreparePainter();
  painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
  for (uint32_t i = 0; i < shapes; ++i) {
    const size_t at = first_shape + size_t{i} * shape_size;
    const uint32_t count = mode == 2 ? 3 : 2;
    QPointF points[3];
    QColor colors[3];
    for (uint32_t k = 0; k < count; ++k) {
      const uint32_t v = r.U32(at + k * 4);
      if (v >= vertices) throw EMetafileDamage(msg::kMetafileBadIndex);
      const size_t va = 36 + size_t{v} * 16;
      const QPointF p = t.map(QPointF(r.I32(va), r.I32(va + 4)));
      points[k] = QPointF(ClampCoordinate(p.x()), ClampCoordinate(p.y()));
      colors[k] = VertexColor(r, va);
    }
    if (mode == 2) {
      GradientTriangle(points, colors);
      continue;
    }
    const QRectF rect = QRectF(points[0], points[1]).normalized();
    QLinearGradient gradient(points[0], mode == 0 ? QPointF(points[1].x(), points[0].y())
                                                  : QPointF(points[0].x(), points[1].y()));
    gradient.setColorAt(0, colors[0]);
    gradient.setColorAt(1, colors[1]);
    painter_.fillRect(QRect(RoundCoordinate(rect.left()), RoundCoordinate(rect.top()),
                            RoundCoordinate(rect.width()), RoundCoordinate(rect.height())),
                      QBrush(gradient));
  }
}

void Player::GradientTriangle(const QPointF* p, const QColor* c) {
  // Shaded by hand: Qt has no Gouraud triangles. Only the part on the
  // canvas (and inside the clip) is computed.
  QRect area = QPolygonF({p[0], p[1], p[2]}).boundingRect().toAlignedRect();
  area = area.intersected(canvas_.rect());
  if (state_.clip) area = area.intersected(state_.clip->boundingRect());
  if (area.isEmpty()) return;
  const double det =
      (p[1].y() - p[2].y()) * (p[0].x() - p[2].x()) + (p[2].x() - p[1].x()) * (p[0].y() - p[2].y());
  if (det == 0) return;
  QImage shade(area.size(), QImage::Format_ARGB32_Premultiplied);
  shade.fill(0);
  for (int y = 0; y < area.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(shade.scanLine(y));
    const double py = area.top() + y + 0.5;
    for (int x = 0; x < area.width(); ++x) {
      const double px = area.left() + x + 0.5;
      const double w0 =
          ((p[1].y() - p[2].y()) * (px - p[2].x()) + (p[2].x() - p[1].x()) * (py - p[2].y())) / det;
      const double w1 =
          ((p[2].y() - p[0].y()) * (px - p[2].x()) + (p[0].x() - p[2].x()) * (py - p[2].y())) / det;
      const double w2 = 1 - w0 - w1;
      if (w0 < 0 || w1 < 0 || w2 < 0) continue;
      auto mix = [&](int a, int b, int cc) {
        return std::clamp(static_cast<int>(w0 * a + w1 * b + w2 * cc + 0.5), 0, 255);
      };
      row[x] = qRgb(mix(c[0].red(), c[1].red(), c[2].red()),
                    mix(c[0].green(), c[1].green(), c[2].green()),
                    mix(c[0].blue(), c[1].blue(), c[2].blue()));
    }
  }
  painter_.drawImage(area.topLeft(), shade);
}

bool Player::PlayBitmapRecord(const Record& r) {
  switch (r.Type()) {
    case kBitBlt:
      BitBlt(r, false);
      return true;
    case kStretchBlt:
      BitBlt(r, true);
      return true;
    case kStretchDiBits:
      StretchDiBits(r);
      return true;
    case kSetDiBitsToDevice:
      SetDiBitsToDevice(r);
      return true;
    case kAlphaBlend:
      AlphaBlend(r);
      return true;
    case kTransparentBlt:
      TransparentBlt(r);
      return true;
    case kGradientFill:
      GradientFill(r);
      return true;
    default:
      return false;
  }
}

}  // namespace pagemint::emf
