// SPDX-License-Identifier: GPL-3.0-or-later
#include "picture/emf_player.h"

#include <algorithm>
#include <cmath>

#include "picture/emf_player_internal.h"
#include "platform/messages.h"

namespace pagemint::emf {

namespace {

// Map modes.
constexpr uint32_t kMmText = 1;
constexpr uint32_t kMmLoMetric = 2;
constexpr uint32_t kMmHiMetric = 3;
constexpr uint32_t kMmLoEnglish = 4;
constexpr uint32_t kMmHiEnglish = 5;
constexpr uint32_t kMmTwips = 6;
constexpr uint32_t kMmIsotropic = 7;
constexpr uint32_t kMmAnisotropic = 8;

// Clip region combinations.
constexpr uint32_t kRgnAnd = 1;
constexpr uint32_t kRgnOr = 2;
constexpr uint32_t kRgnXor = 3;
constexpr uint32_t kRgnDiff = 4;
constexpr uint32_t kRgnCopy = 5;

// World transform modifications.
constexpr uint32_t kMwtIdentity = 1;
constexpr uint32_t kMwtLeftMultiply = 2;
constexpr uint32_t kMwtRightMultiply = 3;
constexpr uint32_t kMwtSet = 4;

// Stock object indexes have the top bit set.
constexpr uint32_t kStockFlag = 0x80000000;

bool Finite(const QTransform& t) {
  return std::isfinite(t.m11()) && std::isfinite(t.m12()) && std::isfinite(t.m21()) &&
         std::isfinite(t.m22()) && std::isfinite(t.dx()) && std::isfinite(t.dy());
}

// Millimetres per logical unit of the fixed map modes; 0 for the others.
double FixedModeUnit(uint32_t mode) {
  switch (mode) {
    case kMmLoMetric:
      return 0.1;
    case kMmHiMetric:
      return 0.01;
    case kMmLoEnglish:
      return 0.254;
    case kMmHiEnglish:
      return 0.0254;
    case kMmTwips:
      return 25.4 / 1440;
    default:
      return 0;
  }
}

}  // namespace

QColor ColorRef(uint32_t value) {
  return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

double ClampCoordinate(double v) {
  if (!std::isfinite(v)) return 0;
  return std::clamp(v, -kMaxCoordinate, kMaxCoordinate);
}

int RoundCoordinate(double v) { return static_cast<int>(std::lround(ClampCoordinate(v))); }

Player::Player(std::string_view bytes, const Header& header, QImage& canvas, const QRectF& dest)
    : bytes_(bytes), header_(header), canvas_(canvas), painter_(&canvas) {
  painter_.setRenderHints(
      QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform, false);
  if (header.device.cx > 0 && header.millimeters.cx > 0) {
    device_per_mm_x_ = static_cast<double>(header.device.cx) / header.millimeters.cx;
  }
  if (header.device.cy > 0 && header.millimeters.cy > 0) {
    device_per_mm_y_ = static_cast<double>(header.device.cy) / header.millimeters.cy;
  }
  // The frame, in reference-device pixels, lands on dest.
  const RectL& f = header.frame;
  const double left = f.left / 100.0 * device_per_mm_x_;
  const double top = f.top / 100.0 * device_per_mm_y_;
  const double width = (static_cast<double>(f.right) - f.left) / 100.0 * device_per_mm_x_;
  const double height = (static_cast<double>(f.bottom) - f.top) / 100.0 * device_per_mm_y_;
  const double sx = width != 0 ? dest.width() / width : 1;
  const double sy = height != 0 ? dest.height() / height : 1;
  base_ = QTransform(sx, 0, 0, sy, dest.x() - left * sx, dest.y() - top * sy);

  state_.pen = std::make_shared<Pen>();
  state_.brush = std::make_shared<Brush>();
  SelectStockObject(13);  // SYSTEM_FONT
  objects_.resize(std::max<size_t>(header.handles, 1));
}

Player::~Player() {
  painter_.end();
  if (!used_raster_op_ || canvas_.format() != QImage::Format_RGB32) return;
  // An RGB32 image promises 0xFF in the unused byte; raster operations may
  // have changed it.
  for (int y = 0; y < canvas_.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(canvas_.scanLine(y));
    for (int x = 0; x < canvas_.width(); ++x) row[x] |= 0xFF000000u;
  }
}

void Player::Play() {
  ForEachRecord(bytes_, [this](const Record& r, uint32_t index, size_t offset) {
    try {
      PlayRecord(r);
    } catch (const EMetafileDamage& e) {
      RaiseRecordDamage(index, offset, r.Type(), e.what());
    }
  });
}

void Player::PlayRecord(const Record& r) {
  if (PlayStateRecord(r) || PlayObjectRecord(r) || PlayShapeRecord(r) || PlayPathRecord(r) ||
      PlayBitmapRecord(r)) {
    return;
  }
  switch (r.Type()) {
    case kExtTextOutA:
      DrawText(ReadExtText(r, false));
      break;
    case kExtTextOutW:
      DrawText(ReadExtText(r, true));
      break;
    case kSmallTextOut:
      DrawText(ReadSmallText(r));
      break;
    default:
      break;  // records we do not play are skipped
  }
}

bool Player::PlayStateRecord(const Record& r) {
  DcState& s = state_;
  switch (r.Type()) {
    case kSetWindowExtEx:
      if ((s.map_mode == kMmIsotropic || s.map_mode == kMmAnisotropic) && r.I32(8) != 0 &&
          r.I32(12) != 0) {
        s.window_ext = QSizeF(r.I32(8), r.I32(12));
      }
      return true;
    case kSetViewportExtEx:
      if ((s.map_mode == kMmIsotropic || s.map_mode == kMmAnisotropic) && r.I32(8) != 0 &&
          r.I32(12) != 0) {
        s.viewport_ext = QSizeF(r.I32(8), r.I32(12));
      }
      return true;
    case kScaleWindowExtEx:
    case kScaleViewportExtEx: {
      if (s.map_mode != kMmIsotropic && s.map_mode != kMmAnisotropic) return true;
      const int32_t xn = r.I32(8), xd = r.I32(12), yn = r.I32(16), yd = r.I32(20);
      if (xn == 0 || xd == 0 || yn == 0 || yd == 0) return true;
      QSizeF& ext = r.Type() == kScaleWindowExtEx ? s.window_ext : s.viewport_ext;
      ext = QSizeF(ext.width() * xn / xd, ext.height() * yn / yd);
      return true;
    }
    case kSetWindowOrgEx:
      s.window_org = QPointF(r.I32(8), r.I32(12));
      return true;
    case kSetViewportOrgEx:
      s.viewport_org = QPointF(r.I32(8), r.I32(12));
      return true;
    case kSetBrushOrgEx:
      s.brush_origin = QPointF(r.I32(8), r.I32(12));
      return true;
    case kSetMapMode:
      SetMapMode(r.U32(8));
      return true;
    case kSetBkMode:
      s.bk_mode = r.U32(8);
      return true;
    case kSetPolyFillMode:
      s.fill_mode = r.U32(8);
      return true;
    case kSetRop2:
      s.rop2 = r.U32(8);
      return true;
    case kSetStretchBltMode:
      s.stretch_mode = r.U32(8);
      return true;
    case kSetTextAlign:
      s.text_align = r.U32(8);
      return true;
    case kSetTextColor:
      s.text_color = ColorRef(r.U32(8));
      return true;
    case kSetBkColor:
      s.bk_color = ColorRef(r.U32(8));
      return true;
    case kSetArcDirection:
      s.arc_direction = r.U32(8);
      return true;
    case kMoveToEx:
      s.position = QPointF(r.I32(8), r.I32(12));
      return true;
    case kSaveDc:
      SaveDc();
      return true;
    case kRestoreDc:
      RestoreDc(r.I32(8));
      return true;
    case kSetWorldTransform:
    case kModifyWorldTransform: {
      const QTransform x(r.F32(8), r.F32(12), r.F32(16), r.F32(20), r.F32(24), r.F32(28));
      SetWorldTransform(x, r.Type() == kSetWorldTransform ? kMwtSet : r.U32(32));
      return true;
    }
    case kIntersectClipRect:
      CombineClip(DeviceRect(r.Rect(8)), kRgnAnd);
      return true;
    case kExcludeClipRect:
      CombineClip(DeviceRect(r.Rect(8)), kRgnDiff);
      return true;
    case kOffsetClipRgn:
      if (s.clip) {
        const QPointF d = MapPoint(QPointF(r.I32(8), r.I32(12))) - MapPoint(QPointF(0, 0));
        SetClip(s.clip->translated(RoundCoordinate(d.x()), RoundCoordinate(d.y())));
      }
      return true;
    case kExtSelectClipRgn: {
      const uint32_t size = r.U32(8);
      const uint32_t mode = r.U32(12);
      if (size == 0) {
        if (mode == kRgnCopy) SetClip(std::nullopt);
        return true;
      }
      CombineClip(ReadRegion(r, 16, size, false), mode);
      return true;
    }
    default:
      return false;
  }
}

QTransform Player::PageTransform() const {
  const DcState& s = state_;
  double sx = s.viewport_ext.width() / s.window_ext.width();
  double sy = s.viewport_ext.height() / s.window_ext.height();
  if (s.map_mode == kMmIsotropic) {
    const double m = std::min(std::fabs(sx), std::fabs(sy));
    sx = std::copysign(m, sx);
    sy = std::copysign(m, sy);
  }
  return QTransform(sx, 0, 0, sy, s.viewport_org.x() - s.window_org.x() * sx,
                    s.viewport_org.y() - s.window_org.y() * sy);
}

void Player::SetMapMode(uint32_t mode) {
  if (mode < kMmText || mode > kMmAnisotropic) return;
  DcState& s = state_;
  if (mode == kMmText) {
    s.window_ext = s.viewport_ext = QSizeF(1, 1);
  } else if (const double unit = FixedModeUnit(mode); unit > 0) {
    // Fixed modes: y grows upwards, units sized on the reference device.
    s.window_ext = QSizeF(1, 1);
    s.viewport_ext = QSizeF(device_per_mm_x_ * unit, -device_per_mm_y_ * unit);
  }
  // Isotropic and anisotropic modes start from the extents in force.
  s.map_mode = mode;
}

void Player::SetWorldTransform(const QTransform& xform, uint32_t mode) {
  QTransform next;
  switch (mode) {
    case kMwtIdentity:
      break;
    case kMwtLeftMultiply:
      next = xform * state_.world;
      break;
    case kMwtRightMultiply:
      next = state_.world * xform;
      break;
    case kMwtSet:
      next = xform;
      break;
    default:
      return;
  }
  // The platform refuses transforms that cannot be inverted.
  if (!Finite(next) || next.determinant() == 0) return;
  state_.world = next;
}

void Player::SaveDc() {
  // Beyond the limit a save is dropped; the matching restores then find
  // fewer states, which only a damaged file notices.
  if (saved_.size() >= kMaxSavedStates) return;
  saved_.push_back(state_);
}

void Player::RestoreDc(int32_t which) {
  const int64_t count = static_cast<int64_t>(saved_.size());
  const int64_t index = which < 0 ? count + which : static_cast<int64_t>(which) - 1;
  if (which == 0 || index < 0 || index >= count) return;
  state_ = std::move(saved_[static_cast<size_t>(index)]);
  saved_.resize(static_cast<size_t>(index));
  painter_clip_dirty_ = true;
}

void Player::SetClip(std::optional<QRegion> clip) {
  state_.clip = std::move(clip);
  painter_clip_dirty_ = true;
}

void Player::CombineClip(const QRegion& region, uint32_t mode) {
  const QRegion all(canvas_.rect());
  const QRegion current = state_.clip ? *state_.clip : all;
  switch (mode) {
    case kRgnAnd:
      SetClip(current.intersected(region));
      break;
    case kRgnOr:
      SetClip(state_.clip ? current.united(region) : all);
      break;
    case kRgnXor:
      SetClip(current.xored(region));
      break;
    case kRgnDiff:
      SetClip(current.subtracted(region));
      break;
    case kRgnCopy:
      SetClip(region);
      break;
    default:
      break;
  }
}

QRegion Player::DeviceRect(const RectL& rect) const {
  const QTransform t = Full();
  const QPolygonF corners =
      t.map(QPolygonF(QRectF(QPointF(rect.left, rect.top), QPointF(rect.right, rect.bottom))));
  if (t.type() <= QTransform::TxScale) {
    const int x0 = RoundCoordinate(corners[0].x()), y0 = RoundCoordinate(corners[0].y());
    const int x1 = RoundCoordinate(corners[2].x()), y1 = RoundCoordinate(corners[2].y());
    return QRegion(std::min(x0, x1), std::min(y0, y1), std::abs(x1 - x0), std::abs(y1 - y0));
  }
  return PolygonRegion(corners, Qt::OddEvenFill);
}

namespace {

// One step of Sutherland-Hodgman: keeps the part of the polygon on the
// inner side of an axis-parallel line.
QPolygonF ClipEdge(const QPolygonF& in, bool vertical, double at, bool keep_less) {
  QPolygonF out;
  auto inside = [&](QPointF p) {
    const double v = vertical ? p.x() : p.y();
    return keep_less ? v <= at : v >= at;
  };
  for (qsizetype i = 0; i < in.size(); ++i) {
    const QPointF a = in[i];
    const QPointF b = in[(i + 1) % in.size()];
    if (inside(a)) out << a;
    if (inside(a) != inside(b)) {
      const double da = (vertical ? a.x() : a.y()) - at;
      const double db = (vertical ? b.x() : b.y()) - at;
      out << a + (b - a) * (da / (da - db));
    }
  }
  return out;
}

}  // namespace

QRegion Player::PolygonRegion(const QPolygonF& polygon, Qt::FillRule rule) const {
  // Only the canvas matters, and Qt's polygon regions give up (and leak)
  // on polygons more than 100000 scan lines tall: cut the polygon down to
  // the canvas and a small margin first.
  const QRectF keep = QRectF(canvas_.rect()).adjusted(-2, -2, 2, 2);
  QPolygonF clipped = polygon;
  clipped = ClipEdge(clipped, true, keep.left(), false);
  clipped = ClipEdge(clipped, true, keep.right(), true);
  clipped = ClipEdge(clipped, false, keep.top(), false);
  clipped = ClipEdge(clipped, false, keep.bottom(), true);
  if (clipped.size() < 3) return QRegion();
  QPolygon rounded;
  rounded.reserve(clipped.size());
  // The cut polygon lies inside keep in exact arithmetic, but a corner cut
  // from coordinates of 1e30 and more can land anywhere through rounding:
  // hold every corner to keep.
  for (const QPointF& p : clipped)
    rounded << QPoint(RoundCoordinate(std::clamp(p.x(), keep.left(), keep.right())),
                      RoundCoordinate(std::clamp(p.y(), keep.top(), keep.bottom())));
  return QRegion(rounded, rule);
}

QRegion Player::ReadRegion(const Record& r, size_t offset, uint32_t size, bool logical) const {
  // RGNDATA: a 32-byte header (size, type, count, bytes, bounds), then the
  // rectangles.
  if (!r.Holds(offset, size) || size < 32) throw EMetafileDamage(msg::kMetafileCountTooLarge);
  const uint32_t count = r.U32(offset + 8);
  if (count > (size - 32) / 16) throw EMetafileDamage(msg::kMetafileCountTooLarge);
  const QTransform t = logical ? Full() : base_;
  std::vector<QRect> rects;
  rects.reserve(count);
  QRegion rotated;
  for (uint32_t i = 0; i < count; ++i) {
    const RectL rc = r.Rect(offset + 32 + size_t{i} * 16);
    if (t.type() > QTransform::TxScale) {
      rotated += PolygonRegion(
          t.map(QPolygonF(QRectF(QPointF(rc.left, rc.top), QPointF(rc.right, rc.bottom)))),
          Qt::OddEvenFill);
      continue;
    }
    const QPointF a = t.map(QPointF(rc.left, rc.top));
    const QPointF b = t.map(QPointF(rc.right, rc.bottom));
    const int x0 = RoundCoordinate(std::min(a.x(), b.x()));
    const int y0 = RoundCoordinate(std::min(a.y(), b.y()));
    const int x1 = RoundCoordinate(std::max(a.x(), b.x()));
    const int y1 = RoundCoordinate(std::max(a.y(), b.y()));
    if (x1 > x0 && y1 > y0) rects.emplace_back(x0, y0, x1 - x0, y1 - y0);
  }
  if (t.type() > QTransform::TxScale) return rotated;
  QRegion region;
  // Region data comes in sorted bands, which setRects takes as they are;
  // anything else is united rectangle by rectangle.
  if (!rects.empty()) region.setRects(rects.data(), static_cast<int>(rects.size()));
  return region;
}

bool Player::PlayObjectRecord(const Record& r) {
  switch (r.Type()) {
    case kCreatePen:
      StoreObject(r.U32(8), ReadPen(r));
      return true;
    case kExtCreatePen:
      StoreObject(r.U32(8), ReadExtPen(r));
      return true;
    case kCreateBrushIndirect:
      StoreObject(r.U32(8), ReadBrush(r));
      return true;
    case kCreateDibPatternBrushPt:
    case kCreateMonoBrush:
      StoreObject(r.U32(8), ReadPatternBrush(r));
      return true;
    case kExtCreateFontIndirectW:
      StoreObject(r.U32(8), ReadFont(r));
      return true;
    case kCreatePalette:
      StoreObject(r.U32(8), OtherObject{});
      return true;
    case kSelectObject:
      SelectObject(r.U32(8));
      return true;
    case kDeleteObject:
      DeleteObject(r.U32(8));
      return true;
    default:
      return false;
  }
}

void Player::StoreObject(uint32_t index, Object object) {
  if (index == 0 || index >= kMaxObjects) return;
  if (index >= objects_.size()) objects_.resize(index + 1);
  objects_[index] = std::make_shared<const Object>(std::move(object));
}

void Player::SelectObject(uint32_t index) {
  if (index & kStockFlag) {
    SelectStockObject(index & ~kStockFlag);
    return;
  }
  if (index >= objects_.size() || !objects_[index]) return;
  const std::shared_ptr<const Object>& object = objects_[index];
  // The state shares the object, so deleting it while selected is harmless.
  if (const auto* pen = std::get_if<Pen>(object.get())) {
    state_.pen = std::shared_ptr<const Pen>(object, pen);
  } else if (const auto* brush = std::get_if<Brush>(object.get())) {
    state_.brush = std::shared_ptr<const Brush>(object, brush);
  } else if (const auto* font = std::get_if<Font>(object.get())) {
    state_.font = std::shared_ptr<const Font>(object, font);
  }
}

void Player::DeleteObject(uint32_t index) {
  if (index < objects_.size()) objects_[index].reset();
}

void Player::SelectStockObject(uint32_t stock) {
  auto solid = [](QColor c) {
    auto brush = std::make_shared<Brush>();
    brush->color = c;
    return brush;
  };
  auto pen = [](QColor c, uint32_t style) {
    auto p = std::make_shared<Pen>();
    p->color = c;
    p->style = style;
    return p;
  };
  switch (stock) {
    case 0:
      state_.brush = solid(Qt::white);
      break;
    case 1:
      state_.brush = solid(QColor(0xC0, 0xC0, 0xC0));
      break;
    case 2:
      state_.brush = solid(QColor(0x80, 0x80, 0x80));
      break;
    case 3:
      state_.brush = solid(QColor(0x40, 0x40, 0x40));
      break;
    case 4:
      state_.brush = solid(Qt::black);
      break;
    case 5: {
      auto brush = std::make_shared<Brush>();
      brush->kind = Brush::Kind::kNull;
      state_.brush = brush;
      break;
    }
    case 6:
      state_.pen = pen(Qt::white, 0);
      break;
    case 7:
      state_.pen = pen(Qt::black, 0);
      break;
    case 8:
      state_.pen = pen(Qt::black, 5);
      break;
    case 10:
    case 11:
    case 12:
    case 13:
    case 14:
    case 16:
    case 17: {
      auto font = std::make_shared<Font>();
      font->height = stock == 17 ? -11 : 16;
      font->weight = stock == 13 ? 700 : 400;
      font->pitch_family = (stock == 10 || stock == 11 || stock == 16) ? 0x31 : 0x22;
      state_.font = font;
      break;
    }
    case 18:
      state_.brush = solid(Qt::white);
      break;
    case 19:
      state_.pen = pen(Qt::black, 0);
      break;
    default:
      break;
  }
}

Pen Player::ReadPen(const Record& r) const {
  Pen pen;
  pen.style = r.U32(12);
  pen.width = r.I32(16);
  pen.color = ColorRef(r.U32(24));
  return pen;
}

Pen Player::ReadExtPen(const Record& r) const {
  Pen pen;
  pen.extended = true;
  pen.style = r.U32(28);
  pen.width = static_cast<int32_t>(std::min<uint32_t>(r.U32(32), INT32_MAX));
  const uint32_t brush_style = r.U32(36);
  pen.color = ColorRef(r.U32(40));
  if (brush_style == 1) pen.style = (pen.style & ~0xFu) | 5;  // a hollow brush draws nothing
  const uint32_t entries = r.U32(48);
  if ((pen.style & 0xF) == 7 && entries > 0) {
    const uint8_t* p = r.Array(52, entries, 4);
    (void)p;
    const uint32_t kept = std::min<uint32_t>(entries, kMaxDashEntries);
    for (uint32_t i = 0; i < kept; ++i) pen.dashes.push_back(r.U32(52 + size_t{i} * 4));
  }
  return pen;
}

Brush Player::ReadBrush(const Record& r) const {
  Brush brush;
  const uint32_t style = r.U32(12);
  brush.color = ColorRef(r.U32(16));
  brush.hatch = r.U32(20);
  if (style == 1) brush.kind = Brush::Kind::kNull;
  if (style == 2 && brush.hatch <= 5) brush.kind = Brush::Kind::kHatched;
  return brush;
}

Font Player::ReadFont(const Record& r) const {
  // LOGFONTW from offset 12: five 32-bit fields, eight bytes, 32 UTF-16 units.
  Font font;
  font.height = r.I32(12);
  font.width = r.I32(16);
  font.escapement = r.I32(20);
  font.weight = r.I32(28);
  font.italic = r.U8(32) != 0;
  font.underline = r.U8(33) != 0;
  font.strike_out = r.U8(34) != 0;
  font.charset = r.U8(35);
  font.pitch_family = r.U8(39);
  for (size_t i = 0; i < 32; ++i) {
    const char16_t c = static_cast<char16_t>(r.U16(40 + i * 2));
    if (c == 0) break;
    font.face.push_back(c);
  }
  return font;
}

}  // namespace pagemint::emf
