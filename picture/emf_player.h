// SPDX-License-Identifier: GPL-3.0-or-later
// The record player: plays an enhanced metafile's records onto a QImage
// through QPainter, without anti-aliasing, the way the platform's own
// player draws them.
//
// Coordinates go logical -> world transform -> page (window/viewport and
// map mode) -> reference device -> canvas. The last step maps the header's
// frame onto the destination rectangle. Geometry is transformed here and
// painted with the painter's transform left at identity, so device pixels
// can be rounded the way the platform rounds them.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QRegion>
#include <QTransform>
#include <memory>
#include <optional>
#include <string_view>
#include <variant>
#include <vector>

#include "picture/emf_format.h"

namespace pagemint::emf {

struct Pen {
  uint32_t style = 0;
  // In logical units; 0 is one device pixel whatever the transform.
  int32_t width = 0;
  bool extended = false;
  QColor color = Qt::black;
  std::vector<uint32_t> dashes;
};

struct Brush {
  enum class Kind { kSolid, kNull, kHatched, kPattern };
  Kind kind = Kind::kSolid;
  QColor color = Qt::white;
  uint32_t hatch = 0;
  QImage pattern;
};

struct Font {
  int32_t height = 0;
  int32_t width = 0;
  int32_t escapement = 0;
  int32_t weight = 0;
  bool italic = false;
  bool underline = false;
  bool strike_out = false;
  uint8_t charset = 0;
  uint8_t pitch_family = 0;
  std::u16string face;
  // The glyph source of the last size asked for: most text records in a
  // row use one font at one size.
  mutable QRawFont raw;
  mutable double raw_size = -1;
};

// One string to draw, as the text records give it.
struct TextRun {
  QPointF reference;
  uint32_t options = 0;
  RectL box;
  std::u16string text;
  // Logical units from each character's origin to the next one's.
  std::vector<int32_t> dx;
};

// Palettes, colour spaces and other objects the player only keeps a slot for.
struct OtherObject {};

using Object = std::variant<Pen, Brush, Font, OtherObject>;

// The drawing state that SaveDC and RestoreDC keep and bring back.
struct DcState {
  QTransform world;
  uint32_t map_mode = 1;
  QPointF window_org;
  QPointF viewport_org;
  QSizeF window_ext{1, 1};
  QSizeF viewport_ext{1, 1};
  uint32_t bk_mode = 2;
  QColor bk_color = Qt::white;
  QColor text_color = Qt::black;
  uint32_t text_align = 0;
  uint32_t fill_mode = 1;
  uint32_t stretch_mode = 1;
  uint32_t rop2 = 13;
  uint32_t arc_direction = 1;
  QPointF brush_origin;
  // The current position, in logical units.
  QPointF position;
  std::shared_ptr<const Pen> pen;
  std::shared_ptr<const Brush> brush;
  std::shared_ptr<const Font> font;
  // In canvas pixels; none means the whole canvas.
  std::optional<QRegion> clip;
};

class Player {
 public:
  // Plays onto canvas with the header's frame mapped onto dest (canvas
  // pixels). Raises EMetafileDamage naming the record that is damaged.
  Player(std::string_view bytes, const Header& header, QImage& canvas, const QRectF& dest);
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;
  ~Player();

  void Play();

 private:
  void PlayRecord(const Record& r);
  bool PlayStateRecord(const Record& r);
  bool PlayObjectRecord(const Record& r);
  bool PlayShapeRecord(const Record& r);
  bool PlayPathRecord(const Record& r);
  bool PlayBitmapRecord(const Record& r);

  // State and transforms (emf_player.cpp).
  QTransform PageTransform() const;
  QTransform Full() const { return state_.world * PageTransform() * base_; }
  void SetMapMode(uint32_t mode);
  void SetWorldTransform(const QTransform& xform, uint32_t mode);
  void SaveDc();
  void RestoreDc(int32_t which);
  void SetClip(std::optional<QRegion> clip);
  void CombineClip(const QRegion& region, uint32_t mode);
  QRegion DeviceRect(const RectL& rect) const;
  QRegion PolygonRegion(const QPolygonF& polygon, Qt::FillRule rule) const;
  QRegion ReadRegion(const Record& r, size_t offset, uint32_t size, bool logical) const;

  // Objects (emf_player.cpp).
  void StoreObject(uint32_t index, Object object);
  void SelectObject(uint32_t index);
  void DeleteObject(uint32_t index);
  void SelectStockObject(uint32_t stock);
  Pen ReadPen(const Record& r) const;
  Pen ReadExtPen(const Record& r) const;
  Brush ReadBrush(const Record& r) const;
  Brush ReadPatternBrush(const Record& r) const;
  Font ReadFont(const Record& r) const;

  // Painting (emf_player_draw.cpp).
  void PreparePainter();
  QPen DevicePen() const;
  QBrush DeviceBrush(const Brush& brush) const;
  double DeviceScale() const;
  void Paint(const QPainterPath& device_path, bool fill, bool stroke);
  void FillWith(const QPainterPath& device_path, const Brush& brush);
  QPointF MapPoint(QPointF logical) const;
  QPainterPath MapPath(const QPainterPath& logical) const;
  // A box of logical coordinates turned into the device rectangle that the
  // platform paints: right and bottom edges excluded. Empty if the
  // transform turns the box.
  std::optional<QRectF> DeviceBox(const RectL& box) const;

  // Geometry (emf_player_draw.cpp).
  std::vector<QPointF> ReadPoints(const Record& r, size_t count_offset, bool small) const;
  void PolyRecord(const Record& r, bool small);
  void PolyPolyRecord(const Record& r, bool small);
  void PolyDrawRecord(const Record& r, bool small);
  void BoxShape(const Record& r);
  void ArcShape(const Record& r);
  void AngleArc(const Record& r);
  void LineTo(QPointF to);
  void AddToPath(const QPainterPath& device_path, bool connect);
  void FillRegion(const Record& r);
  void SetPixel(QPointF at, QColor color);
  QPainterPath ArcPath(const RectL& box, QPointF start, QPointF end, uint32_t type) const;

  // Paths (emf_player_draw.cpp).
  void EndPathUse() {
    path_ = QPainterPath();
    in_path_ = false;
  }

  // Text (emf_player_text.cpp).
  TextRun ReadExtText(const Record& r, bool wide) const;
  TextRun ReadSmallText(const Record& r) const;
  std::u16string DecodeText(const uint8_t* s, uint32_t chars, bool wide) const;
  void DrawText(const TextRun& run);
  const QRawFont* FontAt(const Font& font, double pixel_size);

  // Bitmaps (emf_player_bitmap.cpp).
  QImage RecordDib(const Record& r, size_t bmi_field, size_t bits_field, bool* bottom_up) const;
  void DrawDib(QImage image, const QRectF& logical_dest, QRectF source, uint32_t rop,
               bool keep_alpha, double opacity);
  void BitBlt(const Record& r, bool stretch);
  void StretchDiBits(const Record& r);
  void SetDiBitsToDevice(const Record& r);
  void AlphaBlend(const Record& r);
  void TransparentBlt(const Record& r);
  void PatternBlt(const QRectF& logical_dest, uint32_t rop);
  void GradientFill(const Record& r);
  void GradientTriangle(const QPointF* points, const QColor* colors);

  std::string_view bytes_;
  Header header_;
  QImage& canvas_;
  QPainter painter_;
  QTransform base_;
  // Pixels per millimetre of the reference device.
  double device_per_mm_x_ = 96 / 25.4;
  double device_per_mm_y_ = 96 / 25.4;

  DcState state_;
  std::vector<DcState> saved_;
  std::vector<std::shared_ptr<const Object>> objects_;
  bool in_path_ = false;
  QPainterPath path_;
  bool painter_clip_dirty_ = true;
  // Raster operations can disturb the canvas's unused alpha byte.
  bool used_raster_op_ = false;
  bool fonts_available_ = false;
  bool fonts_checked_ = false;
};

}  // namespace pagemint::emf
