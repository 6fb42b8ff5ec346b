// SPDX-License-Identifier: GPL-3.0-or-later
// Geometry, paths and the painter set-up for them.
#include <QPainterPathStroker>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "picture/emf_player.h"
#include "picture/emf_player_internal.h"
#include "platform/messages.h"

namespace pagemint::emf {

namespace {

constexpr uint32_t kPsNull = 5;
constexpr uint32_t kPsUserStyle = 7;
constexpr uint32_t kPsAlternate = 8;
constexpr uint32_t kPsGeometric = 0x10000;
constexpr uint32_t kWinding = 2;
constexpr uint32_t kOpaque = 2;
constexpr uint32_t kR2Nop = 11;
constexpr uint32_t kClockwise = 2;

// PolyDraw point types.
constexpr uint8_t kPtCloseFigure = 1;
constexpr uint8_t kPtLineTo = 2;
constexpr uint8_t kPtBezierTo = 4;
constexpr uint8_t kPtMoveTo = 6;

QPainter::CompositionMode Rop2Mode(uint32_t rop2) {
  switch (rop2) {
    case 1:
      return QPainter::RasterOp_ClearDestination;
    case 2:
      return QPainter::RasterOp_NotSourceAndNotDestination;
    case 3:
      return QPainter::RasterOp_NotSourceAndDestination;
    case 4:
      return QPainter::RasterOp_NotSource;
    case 5:
      return QPainter::RasterOp_SourceAndNotDestination;
    case 6:
      return QPainter::RasterOp_NotDestination;
    case 7:
      return QPainter::RasterOp_SourceXorDestination;
    case 8:
      return QPainter::RasterOp_NotSourceOrNotDestination;
    case 9:
      return QPainter::RasterOp_SourceAndDestination;
    case 10:
      return QPainter::RasterOp_NotSourceXorDestination;
    case 12:
      return QPainter::RasterOp_NotSourceOrDestination;
    case 14:
      return QPainter::RasterOp_SourceOrNotDestination;
    case 15:
      return QPainter::RasterOp_SourceOrDestination;
    case 16:
      return QPainter::RasterOp_SetDestination;
    default:
      return QPainter::CompositionMode_SourceOver;
  }
}

// The platform's dash styles for one-pixel pens, in pixels.
QList<qreal> CosmeticDashes(uint32_t style) {
  switch (style) {
    case 1:
      return {18, 6};
    case 2:
      return {3, 3};
    case 3:
      return {9, 6, 3, 6};
    case 4:
      return {9, 3, 3, 3, 3, 3};
    case kPsAlternate:
      return {1, 1};
    default:
      return {};
  }
}

// The same for wide geometric pens, in pen widths.
QList<qreal> GeometricDashes(uint32_t style) {
  switch (style) {
    case 1:
      return {3, 1};
    case 2:
      return {1, 1};
    case 3:
      return {3, 1, 1, 1};
    case 4:
      return {3, 1, 1, 1, 1, 1};
    default:
      return {};
  }
}

QPointF Rounded(const QTransform& t, QPointF p) {
  const QPointF d = t.map(p);
  return QPointF(RoundCoordinate(d.x()), RoundCoordinate(d.y()));
}

// Parametric angle (degrees, counter-clockwise on screen) of the radial
// through p on the ellipse inscribed in rect.
double EllipseAngle(const QRectF& rect, QPointF p) {
  const QPointF c = rect.center();
  const double rx = std::max(rect.width() / 2, 1e-9);
  const double ry = std::max(rect.height() / 2, 1e-9);
  return std::atan2(-(p.y() - c.y()) / ry, (p.x() - c.x()) / rx) * 180 / std::numbers::pi;
}

}  // namespace

double Player::DeviceScale() const { return std::sqrt(std::fabs(Full().determinant())); }

QPointF Player::MapPoint(QPointF logical) const { return Rounded(Full(), logical); }

QPainterPath Player::MapPath(const QPainterPath& logical) const { return Full().map(logical); }

void Player::PreparePainter() {
  painter_.resetTransform();
  if (painter_clip_dirty_) {
    if (state_.clip) {
      painter_.setClipRegion(*state_.clip);
    } else {
      painter_.setClipping(false);
    }
    painter_clip_dirty_ = false;
  }
  const QPainter::CompositionMode mode = Rop2Mode(state_.rop2);
  if (mode != QPainter::CompositionMode_SourceOver) used_raster_op_ = true;
  painter_.setCompositionMode(mode);
  painter_.setOpacity(1);
  painter_.setBackgroundMode(state_.bk_mode == kOpaque ? Qt::OpaqueMode : Qt::TransparentMode);
  painter_.setBackground(state_.bk_color);
  painter_.setBrushOrigin(Rounded(base_, state_.brush_origin));
}

QPen Player::DevicePen() const {
  const Pen& p = *state_.pen;
  const uint32_t style = p.style & 0xF;
  if (style == kPsNull) return QPen(Qt::NoPen);
  const bool cosmetic = p.width <= 0 || (p.extended && !(p.style & kPsGeometric));
  double width = cosmetic ? 1 : std::round(p.width * DeviceScale());
  width = std::clamp(std::isfinite(width) ? width : 1.0, 1.0, kMaxPenWidth);
  QPen pen(p.color);
  pen.setWidthF(width);
  pen.setCosmetic(true);
  if (width <= 1) {
    // The platform leaves out a thin line's last pixel.
    pen.setCapStyle(Qt::FlatCap);
  } else {
    const uint32_t cap = p.style & 0xF00;
    pen.setCapStyle(cap == 0x100 ? Qt::SquareCap : cap == 0x200 ? Qt::FlatCap : Qt::RoundCap);
  }
  const uint32_t join = p.style & 0xF000;
  pen.setJoinStyle(join == 0x1000 ? Qt::BevelJoin : join == 0x2000 ? Qt::MiterJoin : Qt::RoundJoin);

  QList<qreal> dashes;
  if (style == kPsUserStyle) {
    const double unit = cosmetic ? 1.0 : DeviceScale() / width;
    for (uint32_t d : p.dashes) dashes.push_back(std::max(1.0 / width, d * unit));
    if (dashes.size() % 2) dashes += dashes;
  } else if (width <= 1) {
    dashes = CosmeticDashes(style);
  } else if (p.extended) {
    // Wide pens made by CreatePen are always solid.
    dashes = GeometricDashes(style);
  }
  if (!dashes.isEmpty()) pen.setDashPattern(dashes);
  return pen;
}

QBrush Player::DeviceBrush(const Brush& brush) const {
  switch (brush.kind) {
    case Brush::Kind::kNull:
      return QBrush(Qt::NoBrush);
    case Brush::Kind::kSolid:
      return QBrush(brush.color);
    case Brush::Kind::kPattern:
      return QBrush(brush.pattern);
    case Brush::Kind::kHatched:
      break;
  }
  static constexpr Qt::BrushStyle kHatches[] = {Qt::HorPattern,   Qt::VerPattern,
                                                Qt::FDiagPattern, Qt::BDiagPattern,
                                                Qt::CrossPattern, Qt::DiagCrossPattern};
  return QBrush(brush.color, kHatches[std::min<uint32_t>(brush.hatch, 5)]);
}

void Player::Paint(const QPainterPath& device_path, bool fill, bool stroke) {
  if (state_.rop2 == kR2Nop) return;
  const QPen pen = stroke ? DevicePen() : QPen(Qt::NoPen);
  const QBrush brush = fill ? DeviceBrush(*state_.brush) : QBrush(Qt::NoBrush);
  if (pen.style() == Qt::NoPen && brush.style() == Qt::NoBrush) return;
  PreparePainter();
  QPainterPath path = device_path;
  path.setFillRule(state_.fill_mode == kWinding ? Qt::WindingFill : Qt::OddEvenFill);
  painter_.setPen(pen);
  painter_.setBrush(brush);
  painter_.drawPath(path);
}

void Player::FillWith(const QPainterPath& device_path, const Brush& brush) {
  if (state_.rop2 == kR2Nop || brush.kind == Brush::Kind::kNull) return;
  PreparePainter();
  painter_.fillPath(device_path, DeviceBrush(brush));
}

std::optional<QRectF> Player::DeviceBox(const RectL& box) const {
  const QTransform t = Full();
  if (t.type() > QTransform::TxScale) return std::nullopt;
  const QPointF a = Rounded(t, QPointF(box.left, box.top));
  const QPointF b = Rounded(t, QPointF(box.right, box.bottom));
  const double x0 = std::min(a.x(), b.x()), x1 = std::max(a.x(), b.x());
  const double y0 = std::min(a.y(), b.y()), y1 = std::max(a.y(), b.y());
  // Right and bottom edges are outside the shape: a one-pixel pen then
  // paints x0..x1-1, and without a pen the fill covers x0..x1-2.
  return QRectF(x0, y0, std::max(0.0, x1 - x0 - 1), std::max(0.0, y1 - y0 - 1));
}

void Player::AddToPath(const QPainterPath& device_path, bool connect) {
  if (connect && !path_.isEmpty() && device_path.elementCount() > 0 &&
      path_.currentPosition() == QPointF(device_path.elementAt(0))) {
    // Continue the open figure instead of starting a new one.
    for (int i = 1; i < device_path.elementCount(); ++i) {
      const QPainterPath::Element e = device_path.elementAt(i);
      if (e.type == QPainterPath::CurveToElement && i + 2 < device_path.elementCount()) {
        path_.cubicTo(e, device_path.elementAt(i + 1), device_path.elementAt(i + 2));
        i += 2;
      } else if (e.type == QPainterPath::MoveToElement) {
        path_.moveTo(e);
      } else {
        path_.lineTo(e);
      }
    }
    return;
  }
  path_.addPath(device_path);
}

std::vector<QPointF> Player::ReadPoints(const Record& r, size_t count_offset, bool small) const {
  const uint32_t count = r.U32(count_offset);
  const size_t first = count_offset + 4;
  r.Array(first, count, small ? 4 : 8);
  std::vector<QPointF> points(count);
  for (uint32_t i = 0; i < count; ++i) {
    points[i] = small ? QPointF(r.I16(first + size_t{i} * 4), r.I16(first + size_t{i} * 4 + 2))
                      : QPointF(r.I32(first + size_t{i} * 8), r.I32(first + size_t{i} * 8 + 4));
  }
  return points;
}

void Player::PolyRecord(const Record& r, bool small) {
  const std::vector<QPointF> points = ReadPoints(r, 24, small);
  const uint32_t type = small ? r.Type() - (kPolyBezier16 - kPolyBezier) : r.Type();
  const bool to = type == kPolylineTo || type == kPolyBezierTo;
  const QTransform t = Full();
  QPainterPath path;
  size_t i = 0;
  if (to) {
    path.moveTo(Rounded(t, state_.position));
  } else {
    if (points.size() < 2) return;
    path.moveTo(Rounded(t, points[i++]));
  }
  if (type == kPolyBezier || type == kPolyBezierTo) {
    for (; i + 3 <= points.size(); i += 3) {
      path.cubicTo(Rounded(t, points[i]), Rounded(t, points[i + 1]), Rounded(t, points[i + 2]));
    }
    if (to && i > 0) state_.position = points[i - 1];
  } else {
    for (; i < points.size(); ++i) path.lineTo(Rounded(t, points[i]));
    if (to && !points.empty()) state_.position = points.back();
  }
  if (type == kPolygon) path.closeSubpath();
  if (in_path_) {
    AddToPath(path, to);
    return;
  }
  Paint(path, type == kPolygon, true);
}

void Player::PolyPolyRecord(const Record& r, bool small) {
  const uint32_t polys = r.U32(24);
  const uint32_t total = r.U32(28);
  r.Array(32, polys, 4);
  const size_t first = 32 + size_t{polys} * 4;
  r.Array(first, total, small ? 4 : 8);
  const bool polygon = r.Type() == kPolyPolygon || r.Type() == kPolyPolygon16;
  const QTransform t = Full();
  QPainterPath path;
  uint64_t next = 0;
  for (uint32_t p = 0; p < polys; ++p) {
    const uint32_t count = r.U32(32 + size_t{p} * 4);
    if (count > total - next) throw EMetafileDamage(msg::kMetafileCountTooLarge);
    for (uint32_t i = 0; i < count; ++i, ++next) {
      const size_t at = first + next * (small ? 4 : 8);
      const QPointF pt =
          small ? QPointF(r.I16(at), r.I16(at + 2)) : QPointF(r.I32(at), r.I32(at + 4));
      if (i == 0) {
        path.moveTo(Rounded(t, pt));
      } else {
        path.lineTo(Rounded(t, pt));
      }
    }
    if (polygon && count > 0) path.closeSubpath();
  }
  if (in_path_) {
    AddToPath(path, false);
    return;
  }
  Paint(path, polygon, true);
}

void Player::PolyDrawRecord(const Record& r, bool small) {
  const std::vector<QPointF> points = ReadPoints(r, 24, small);
  const uint8_t* types = r.Array(28 + points.size() * (small ? 4 : 8), points.size(), 1);
  const QTransform t = Full();
  QPainterPath path;
  path.moveTo(Rounded(t, state_.position));
  QPointF figure_start = state_.position;
  for (size_t i = 0; i < points.size(); ++i) {
    const uint8_t kind = types[i] & ~kPtCloseFigure;
    if (kind == kPtMoveTo) {
      path.moveTo(Rounded(t, points[i]));
      figure_start = points[i];
    } else if (kind == kPtBezierTo && i + 2 < points.size()) {
      path.cubicTo(Rounded(t, points[i]), Rounded(t, points[i + 1]), Rounded(t, points[i + 2]));
      i += 2;
    } else if (kind == kPtLineTo || kind == kPtBezierTo) {
      path.lineTo(Rounded(t, points[i]));
    }
    state_.position = points[i];
    if (types[i] & kPtCloseFigure) {
      path.closeSubpath();
      state_.position = figure_start;
    }
  }
  if (in_path_) {
    AddToPath(path, true);
    return;
  }
  Paint(path, false, true);
}

void Player::BoxShape(const Record& r) {
  const RectL box = r.Rect(8);
  QPainterPath path;
  const std::optional<QRectF> device = DeviceBox(box);
  const QRectF logical(QPointF(box.left, box.top), QPointF(box.right, box.bottom));
  const QRectF rect = device ? *device : logical.normalized();
  switch (r.Type()) {
    case kRectangle:
      path.addRect(rect);
      break;
    case kEllipse:
      path.addEllipse(rect);
      break;
    default: {
      // The corner ellipse's size, in the same space as rect.
      // In double: the most negative int32 has no int32 magnitude.
      QSizeF corner(std::abs(static_cast<double>(r.I32(24))),
                    std::abs(static_cast<double>(r.I32(28))));
      if (device) {
        const QTransform t = Full();
        corner = QSizeF(std::fabs(corner.width() * t.m11()), std::fabs(corner.height() * t.m22()));
      }
      path.addRoundedRect(rect, std::min(corner.width(), rect.width()) / 2,
                          std::min(corner.height(), rect.height()) / 2);
      break;
    }
  }
  if (!device) path = MapPath(path);
  if (in_path_) {
    AddToPath(path, false);
    return;
  }
  Paint(path, true, true);
}

QPainterPath Player::ArcPath(const RectL& box, QPointF start, QPointF end, uint32_t type) const {
  const std::optional<QRectF> device = DeviceBox(box);
  QRectF rect;
  if (device) {
    rect = *device;
    start = MapPoint(start);
    end = MapPoint(end);
  } else {
    rect = QRectF(QPointF(box.left, box.top), QPointF(box.right, box.bottom)).normalized();
  }
  const double a0 = EllipseAngle(rect, start);
  const double a1 = EllipseAngle(rect, end);
  // Counter-clockwise on a y-down canvas; a transform that mirrors one axis
  // turns the direction round, as the logical space sees it.
  bool clockwise = state_.arc_direction == kClockwise;
  if (device && Full().determinant() < 0) clockwise = !clockwise;
  double sweep = a1 - a0;
  if (clockwise) {
    if (sweep >= 0) sweep -= 360;
  } else if (sweep <= 0) {
    sweep += 360;
  }
  QPainterPath path;
  if (type == kPie) {
    path.moveTo(rect.center());
    path.arcTo(rect, a0, sweep);
    path.closeSubpath();
  } else {
    path.arcMoveTo(rect, a0);
    path.arcTo(rect, a0, sweep);
    if (type == kChord) path.closeSubpath();
  }
  return device ? path : MapPath(path);
}

void Player::ArcShape(const Record& r) {
  const RectL box = r.Rect(8);
  const QPointF start(r.I32(24), r.I32(28));
  const QPointF end(r.I32(32), r.I32(36));
  const uint32_t type = r.Type();
  QPainterPath path = ArcPath(box, start, end, type);
  if (type == kArcTo) {
    // A line from the current position to the arc's start, and the arc's
    // end becomes the current position.
    QPainterPath joined;
    joined.moveTo(MapPoint(state_.position));
    joined.connectPath(path);
    path = joined;
    bool invertible = false;
    const QTransform inverse = Full().inverted(&invertible);
    state_.position = invertible ? inverse.map(path.currentPosition()) : end;
  }
  if (in_path_) {
    AddToPath(path, type == kArcTo);
    return;
  }
  const bool closed = type == kChord || type == kPie;
  Paint(path, closed, true);
}

void Player::AngleArc(const Record& r) {
  const QPointF center(r.I32(8), r.I32(12));
  const double radius = r.U32(16);
  const double start = r.F32(20);
  const double sweep = r.F32(24);
  if (!std::isfinite(start) || !std::isfinite(sweep)) return;
  const QRectF rect(center.x() - radius, center.y() - radius, 2 * radius, 2 * radius);
  QPainterPath logical;
  logical.moveTo(state_.position);
  logical.arcTo(rect, start, std::clamp(sweep, -3600.0, 3600.0));
  state_.position = logical.currentPosition();
  const QPainterPath path = MapPath(logical);
  if (in_path_) {
    AddToPath(path, true);
    return;
  }
  Paint(path, false, true);
}

void Player::LineTo(QPointF to) {
  QPainterPath path;
  path.moveTo(MapPoint(state_.position));
  path.lineTo(MapPoint(to));
  state_.position = to;
  if (in_path_) {
    AddToPath(path, true);
    return;
  }
  Paint(path, false, true);
}

void Player::SetPixel(QPointF at, QColor color) {
  PreparePainter();
  painter_.fillRect(QRectF(MapPoint(at), QSizeF(1, 1)), color);
}

void Player::FillRegion(const Record& r) {
  const uint32_t type = r.Type();
  const uint32_t size = r.U32(24);
  const size_t data = type == kFillRgn ? 32 : type == kFrameRgn ? 40 : 28;
  const QRegion region = ReadRegion(r, data, size, true);
  QPainterPath path;
  path.addRegion(region);
  if (type == kInvertRgn) {
    PreparePainter();
    used_raster_op_ = true;
    painter_.setCompositionMode(QPainter::RasterOp_NotDestination);
    painter_.fillPath(path, Qt::black);
    return;
  }
  std::shared_ptr<const Brush> brush = state_.brush;
  if (type != kPaintRgn) {
    // The record names its brush; select it for this record only.
    const std::shared_ptr<const Brush> current = state_.brush;
    SelectObject(r.U32(28));
    brush = state_.brush;
    state_.brush = current;
  }
  if (type == kFrameRgn) {
    const QTransform t = Full();
    const int w = std::max(1, RoundCoordinate(std::fabs(r.I32(32) * t.m11())));
    const int h = std::max(1, RoundCoordinate(std::fabs(r.I32(36) * t.m22())));
    const QRegion inner = region.intersected(region.translated(w, 0))
                              .intersected(region.translated(-w, 0))
                              .intersected(region.translated(0, h))
                              .intersected(region.translated(0, -h));
    path = QPainterPath();
    path.addRegion(region.subtracted(inner));
  }
  FillWith(path, *brush);
}

bool Player::PlayShapeRecord(const Record& r) {
  switch (r.Type()) {
    case kPolyBezier:
    case kPolygon:
    case kPolyline:
    case kPolyBezierTo:
    case kPolylineTo:
      PolyRecord(r, false);
      return true;
    case kPolyBezier16:
    case kPolygon16:
    case kPolyline16:
    case kPolyBezierTo16:
    case kPolylineTo16:
      PolyRecord(r, true);
      return true;
    case kPolyPolyline:
    case kPolyPolygon:
      PolyPolyRecord(r, false);
      return true;
    case kPolyPolyline16:
    case kPolyPolygon16:
      PolyPolyRecord(r, true);
      return true;
    case kPolyDraw:
      PolyDrawRecord(r, false);
      return true;
    case kPolyDraw16:
      PolyDrawRecord(r, true);
      return true;
    case kRectangle:
    case kEllipse:
    case kRoundRect:
      BoxShape(r);
      return true;
    case kArc:
    case kChord:
    case kPie:
    case kArcTo:
      ArcShape(r);
      return true;
    case kAngleArc:
      AngleArc(r);
      return true;
    case kLineTo:
      LineTo(QPointF(r.I32(8), r.I32(12)));
      return true;
    case kSetPixelV:
      SetPixel(QPointF(r.I32(8), r.I32(12)), ColorRef(r.U32(16)));
      return true;
    case kFillRgn:
    case kFrameRgn:
    case kInvertRgn:
    case kPaintRgn:
      FillRegion(r);
      return true;
    default:
      return false;
  }
}

bool Player::PlayPathRecord(const Record& r) {
  switch (r.Type()) {
    case kBeginPath:
      path_ = QPainterPath();
      in_path_ = true;
      return true;
    case kEndPath:
      in_path_ = false;
      return true;
    case kCloseFigure:
      if (in_path_) path_.closeSubpath();
      return true;
    case kAbortPath:
      EndPathUse();
      return true;
    case kFillPath:
    case kStrokePath:
    case kStrokeAndFillPath:
      if (!in_path_) Paint(path_, r.Type() != kStrokePath, r.Type() != kFillPath);
      EndPathUse();
      return true;
    case kWidenPath: {
      const QPen pen = DevicePen();
      if (!in_path_ && pen.style() != Qt::NoPen) {
        QPainterPathStroker stroker(pen);
        path_ = stroker.createStroke(path_);
      }
      return true;
    }
    case kSelectClipPath: {
      if (in_path_) return true;
      QPainterPath path = path_;
      path.setFillRule(state_.fill_mode == kWinding ? Qt::WindingFill : Qt::OddEvenFill);
      CombineClip(PolygonRegion(path.toFillPolygon(), path.fillRule()), r.U32(8));
      EndPathUse();
      return true;
    }
    default:
      return false;
  }
}

}  // namespace pagemint::emf
