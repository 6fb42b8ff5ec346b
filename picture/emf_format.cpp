// SPDX-License-Identifier: GPL-3.0-or-later
#include "picture/emf_format.h"

#include <cstring>

#include "platform/messages.h"

namespace pagemint::emf {

float Record::F32(size_t offset) const {
  const uint32_t bits = U32(offset);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

const uint8_t* Record::Field(size_t offset, size_t size) const {
  if (!Holds(offset, size)) throw EMetafileDamage(msg::kMetafileFieldPastEnd);
  return data_ + offset;
}

const uint8_t* Record::Array(size_t offset, uint64_t count, size_t item_size) const {
  // count comes from the file: compare without multiplying past 64 bits.
  if (offset > size_ || count > (size_ - offset) / item_size) {
    throw EMetafileDamage(msg::kMetafileCountTooLarge);
  }
  return data_ + offset;
}

Header ReadHeader(std::string_view bytes) {
  if (bytes.size() < kMinHeaderSize) throw EMetafileDamage(msg::kMetafileTooShort);
  const Record probe(reinterpret_cast<const uint8_t*>(bytes.data()), kMinHeaderSize);
  if (probe.Type() != kHeader) throw EMetafileDamage(msg::kMetafileNoHeader);
  if (probe.U32(40) != kSignature) throw EMetafileDamage(msg::kMetafileSignature);
  const uint32_t size = probe.U32(4);
  if (size < kMinHeaderSize || size > bytes.size()) {
    throw EMetafileDamage(
        Format(msg::kMetafileRecordPastEnd, 0u, size_t{0}, uint32_t{kHeader}, size));
  }
  Header header;
  header.bounds = probe.Rect(8);
  header.frame = probe.Rect(24);
  header.bytes = probe.U32(48);
  header.records = probe.U32(52);
  header.handles = probe.U16(56);
  header.device = {probe.I32(72), probe.I32(76)};
  header.millimeters = {probe.I32(80), probe.I32(84)};
  return header;
}

namespace {

bool IsEmfPlusComment(const Record& record) {
  return record.Size() >= 16 && record.U32(8) >= 4 && record.U32(12) == kEmfPlusCommentId;
}

}  // namespace

Summary ScanRecords(std::string_view bytes) {
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  Summary summary;
  size_t offset = 0;
  for (uint32_t index = 0; offset < bytes.size(); ++index) {
    const size_t left = bytes.size() - offset;
    // A few bytes of padding after the last record are harmless.
    if (left < 8) break;
    const Record head(data + offset, 8);
    const uint32_t type = head.U32(0);
    const uint32_t size = head.U32(4);
    if (size < 8) {
      throw EMetafileDamage(Format(msg::kMetafileRecordTooSmall, index, offset, type, size));
    }
    if (size > left) {
      throw EMetafileDamage(Format(msg::kMetafileRecordPastEnd, index, offset, type, size));
    }
    const Record record(data + offset, size);
    ++summary.records;
    if (type == kGdiComment && IsEmfPlusComment(record)) summary.has_emf_plus = true;
    if (IsDrawingRecord(type)) summary.has_drawing = true;
    if (type == kEof) break;
    offset += size;
  }
  return summary;
}

bool IsDrawingRecord(uint32_t type) {
  switch (type) {
    case kPolyBezier:
    case kPolygon:
    case kPolyline:
    case kPolyBezierTo:
    case kPolylineTo:
    case kPolyPolyline:
    case kPolyPolygon:
    case kSetPixelV:
    case kAngleArc:
    case kEllipse:
    case kRectangle:
    case kRoundRect:
    case kArc:
    case kChord:
    case kPie:
    case kExtFloodFill:
    case kLineTo:
    case kArcTo:
    case kPolyDraw:
    case kFillPath:
    case kStrokeAndFillPath:
    case kStrokePath:
    case kFillRgn:
    case kFrameRgn:
    case kInvertRgn:
    case kPaintRgn:
    case kBitBlt:
    case kStretchBlt:
    case kMaskBlt:
    case kPlgBlt:
    case kSetDiBitsToDevice:
    case kStretchDiBits:
    case kExtTextOutA:
    case kExtTextOutW:
    case kPolyBezier16:
    case kPolygon16:
    case kPolyline16:
    case kPolyBezierTo16:
    case kPolylineTo16:
    case kPolyPolyline16:
    case kPolyPolygon16:
    case kPolyDraw16:
    case kPolyTextOutA:
    case kPolyTextOutW:
    case kSmallTextOut:
    case kAlphaBlend:
    case kTransparentBlt:
    case kGradientFill:
      return true;
    default:
      return false;
  }
}

void RaiseRecordDamage(uint32_t index, size_t offset, uint32_t type, const char* what) {
  throw EMetafileDamage(Format(msg::kMetafileRecordDamaged, index, offset, type, what));
}

}  // namespace pagemint::emf
