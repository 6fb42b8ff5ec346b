// SPDX-License-Identifier: GPL-3.0-or-later
// The enhanced-metafile file format: record types, a bounds-checked view of
// one record, the header, and the walk over the record chain.
//
// A metafile is a chain of records, each starting with its type and its
// size in bytes (both 32-bit little-endian, the size counting these eight
// bytes). The first record is the header, the last the end-of-file record.
// Every field is read through Record, which refuses to read past the
// record's end, and every record lies wholly inside the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/exception.h"

namespace pagemint::emf {

// Damage found while reading or playing a metafile. The message says what
// is wrong without the file name, which TMetafile adds.
PAGEMINT_EXCEPTION(EMetafileDamage, Exception);

enum RecordType : uint32_t {
  kHeader = 1,
  kPolyBezier = 2,
  kPolygon = 3,
  kPolyline = 4,
  kPolyBezierTo = 5,
  kPolylineTo = 6,
  kPolyPolyline = 7,
  kPolyPolygon = 8,
  kSetWindowExtEx = 9,
  kSetWindowOrgEx = 10,
  kSetViewportExtEx = 11,
  kSetViewportOrgEx = 12,
  kSetBrushOrgEx = 13,
  kEof = 14,
  kSetPixelV = 15,
  kSetMapperFlags = 16,
  kSetMapMode = 17,
  kSetBkMode = 18,
  kSetPolyFillMode = 19,
  kSetRop2 = 20,
  kSetStretchBltMode = 21,
  kSetTextAlign = 22,
  kSetTextColor = 24,
  kSetBkColor = 25,
  kOffsetClipRgn = 26,
  kMoveToEx = 27,
  kSetMetaRgn = 28,
  kExcludeClipRect = 29,
  kIntersectClipRect = 30,
  kScaleViewportExtEx = 31,
  kScaleWindowExtEx = 32,
  kSaveDc = 33,
  kRestoreDc = 34,
  kSetWorldTransform = 35,
  kModifyWorldTransform = 36,
  kSelectObject = 37,
  kCreatePen = 38,
  kCreateBrushIndirect = 39,
  kDeleteObject = 40,
  kAngleArc = 41,
  kEllipse = 42,
  kRectangle = 43,
  kRoundRect = 44,
  kArc = 45,
  kChord = 46,
  kPie = 47,
  kSelectPalette = 48,
  kCreatePalette = 49,
  kExtFloodFill = 53,
  kLineTo = 54,
  kArcTo = 55,
  kPolyDraw = 56,
  kSetArcDirection = 57,
  kSetMiterLimit = 58,
  kBeginPath = 59,
  kEndPath = 60,
  kCloseFigure = 61,
  kFillPath = 62,
  kStrokeAndFillPath = 63,
  kStrokePath = 64,
  kFlattenPath = 65,
  kWidenPath = 66,
  kSelectClipPath = 67,
  kAbortPath = 68,
  kGdiComment = 70,
  kFillRgn = 71,
  kFrameRgn = 72,
  kInvertRgn = 73,
  kPaintRgn = 74,
  kExtSelectClipRgn = 75,
  kBitBlt = 76,
  kStretchBlt = 77,
  kMaskBlt = 78,
  kPlgBlt = 79,
  kSetDiBitsToDevice = 80,
  kStretchDiBits = 81,
  kExtCreateFontIndirectW = 82,
  kExtTextOutA = 83,
  kExtTextOutW = 84,
  kPolyBezier16 = 85,
  kPolygon16 = 86,
  kPolyline16 = 87,
  kPolyBezierTo16 = 88,
  kPolylineTo16 = 89,
  kPolyPolyline16 = 90,
  kPolyPolygon16 = 91,
  kPolyDraw16 = 92,
  kCreateMonoBrush = 93,
  kCreateDibPatternBrushPt = 94,
  kExtCreatePen = 95,
  kPolyTextOutA = 96,
  kPolyTextOutW = 97,
  kSmallTextOut = 108,
  kAlphaBlend = 114,
  kTransparentBlt = 116,
  kGradientFill = 118,
};

// "EMF+" at the start of a comment's data marks an EMF+ record.
inline constexpr uint32_t kEmfPlusCommentId = 0x2B464D45;
// " EMF" as a little-endian 32-bit number.
inline constexpr uint32_t kSignature = 0x464D4520;
// The header record's fixed part; later fields are optional.
inline constexpr size_t kMinHeaderSize = 88;

struct RectL {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};
struct SizeL {
  int32_t cx = 0, cy = 0;
};

// One record: its bytes lie inside the file; every read checks that the
// field lies inside the record and raises EMetafileDamage otherwise.
class Record {
 public:
  Record(const uint8_t* data, uint32_t size) : data_(data), size_(size) {}

  uint32_t Type() const { return U32(0); }
  uint32_t Size() const { return size_; }
  const uint8_t* Data() const { return data_; }

  uint8_t U8(size_t offset) const { return *Field(offset, 1); }
  uint16_t U16(size_t offset) const {
    const uint8_t* p = Field(offset, 2);
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
  }
  int16_t I16(size_t offset) const { return static_cast<int16_t>(U16(offset)); }
  uint32_t U32(size_t offset) const {
    const uint8_t* p = Field(offset, 4);
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
  }
  int32_t I32(size_t offset) const { return static_cast<int32_t>(U32(offset)); }
  float F32(size_t offset) const;
  RectL Rect(size_t offset) const {
    return {I32(offset), I32(offset + 4), I32(offset + 8), I32(offset + 12)};
  }

  // count items of item_size bytes from offset, all inside the record;
  // raises EMetafileDamage naming an impossible count otherwise.
  const uint8_t* Array(size_t offset, uint64_t count, size_t item_size) const;
  // Whether size bytes from offset lie inside the record.
  bool Holds(uint64_t offset, uint64_t size) const {
    return offset <= size_ && size <= size_ - offset;
  }

 private:
  const uint8_t* Field(size_t offset, size_t size) const;

  const uint8_t* data_;
  uint32_t size_;
};

struct Header {
  RectL bounds;
  // The picture's extent in 0.01 mm, inclusive.
  RectL frame;
  uint32_t bytes = 0;
  uint32_t records = 0;
  uint16_t handles = 0;
  // The reference device: its size in pixels and in millimetres.
  SizeL device;
  SizeL millimeters;
};

// Reads the header record; raises EMetafileDamage if the bytes are not an
// enhanced metafile.
Header ReadHeader(std::string_view bytes);

// What a walk over the whole record chain found.
struct Summary {
  uint32_t records = 0;
  bool has_emf_plus = false;
  bool has_drawing = false;
};

// Walks the record chain from the header to the end-of-file record (or to
// the end of the bytes), checking that every record lies inside the file.
// Raises EMetafileDamage for a record that does not.
Summary ScanRecords(std::string_view bytes);

// Calls visit(record, index, offset) for every record of a chain that
// ScanRecords accepted, up to and including the end-of-file record.
template <typename Visit>
void ForEachRecord(std::string_view bytes, Visit&& visit);

// Whether records of this type paint something (as opposed to setting
// state or creating objects).
bool IsDrawingRecord(uint32_t type);

// The damage message for a record that failed while being played.
[[noreturn]] void RaiseRecordDamage(uint32_t index, size_t offset, uint32_t type, const char* what);

template <typename Visit>
void ForEachRecord(std::string_view bytes, Visit&& visit) {
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  size_t offset = 0;
  for (uint32_t index = 0; bytes.size() - offset >= 8; ++index) {
    const Record head(data + offset, 8);
    const uint32_t size = head.U32(4);
    if (size < 8 || size > bytes.size() - offset) break;
    const Record record(data + offset, size);
    visit(record, index, offset);
    if (record.Type() == kEof) break;
    offset += size;
  }
}

}  // namespace pagemint::emf
