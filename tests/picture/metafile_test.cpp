// SPDX-License-Identifier: GPL-3.0-or-later
#include "picture/metafile.h"

#include <gtest/gtest.h>

#include <QImage>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "picture/emf_format.h"
#include "picture_test_util.h"

// Fontconfig keeps a few allocations for the life of the process once the
// text tests have loaded fonts.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace pagemint {
namespace {

using namespace emf;

constexpr int32_t kNullPen = static_cast<int32_t>(0x80000008);
constexpr int32_t kWhiteBrush = static_cast<int32_t>(0x80000000);
constexpr int32_t kRed = 0x0000FF;
constexpr int32_t kBlue = 0xFF0000;

int32_t Float(float f) {
  int32_t bits;
  std::memcpy(&bits, &f, 4);
  return bits;
}

// Builds a metafile record by record. The picture is `side` pixels square
// on a reference device of exactly 96 pixels per inch, so the frame maps
// one logical unit onto one canvas pixel in MM_TEXT.
class EmfBuilder {
 public:
  explicit EmfBuilder(int side = 24) : frame_(side * 2540 / 96) {}

  EmfBuilder& Add(uint32_t type, std::vector<int32_t> fields, std::string tail = {}) {
    std::string body;
    for (int32_t f : fields) Append32(body, static_cast<uint32_t>(f));
    body += tail;
    while (body.size() % 4) body.push_back('\0');
    std::string record;
    Append32(record, type);
    Append32(record, static_cast<uint32_t>(body.size() + 8));
    records_ += record + body;
    ++count_;
    return *this;
  }
  // A record whose size field is given as is, whatever its real length.
  EmfBuilder& AddRaw(uint32_t type, uint32_t size, std::string body) {
    std::string record;
    Append32(record, type);
    Append32(record, size);
    records_ += record + body;
    ++count_;
    return *this;
  }
  EmfBuilder& Frame(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    frame_rect_[0] = left;
    frame_rect_[1] = top;
    frame_rect_[2] = right;
    frame_rect_[3] = bottom;
    has_frame_ = true;
    return *this;
  }

  // Common records.
  EmfBuilder& SolidBrush(int32_t index, int32_t color) {
    return Add(kCreateBrushIndirect, {index, 0, color, 0});
  }
  EmfBuilder& Pen(int32_t index, int32_t style, int32_t width, int32_t color) {
    return Add(kCreatePen, {index, style, width, 0, color});
  }
  EmfBuilder& Select(int32_t index) { return Add(kSelectObject, {index}); }
  EmfBuilder& Rect(int32_t l, int32_t t, int32_t r, int32_t b) {
    return Add(kRectangle, {l, t, r, b});
  }
  EmfBuilder& RedFill() { return SolidBrush(1, kRed).Select(1).Select(kNullPen); }

  std::string Bytes(bool with_eof = true) const {
    std::string all = records_;
    uint32_t count = count_ + 1;
    if (with_eof) {
      std::string eof;
      Append32(eof, kEof);
      Append32(eof, 20);
      for (int i = 0; i < 3; ++i) Append32(eof, 0);
      all += eof;
      ++count;
    }
    std::string header;
    Append32(header, kHeader);
    Append32(header, 88);
    for (int i = 0; i < 4; ++i) Append32(header, 0);  // bounds
    const int32_t f[4] = {frame_rect_[0], frame_rect_[1], frame_rect_[2], frame_rect_[3]};
    for (int i = 0; i < 4; ++i) {
      Append32(header, static_cast<uint32_t>(has_frame_ ? f[i] : (i < 2 ? 0 : frame_)));
    }
    Append32(header, kSignature);
    Append32(header, 0x10000);
    Append32(header, static_cast<uint32_t>(88 + all.size()));
    Append32(header, count);
    Append32(header, 16);  // handles, reserved
    Append32(header, 0);   // description
    Append32(header, 0);
    Append32(header, 0);    // palette entries
    Append32(header, 960);  // reference device: 960 pixels on 254 mm
    Append32(header, 960);
    Append32(header, 254);
    Append32(header, 254);
    return header + all;
  }

  static void Append32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  }

 private:
  int32_t frame_;
  int32_t frame_rect_[4] = {};
  bool has_frame_ = false;
  std::string records_;
  uint32_t count_ = 0;
};

QImage Render(const EmfBuilder& builder, int side = 24) {
  TMetafile metafile;
  // Every metafile a test draws is a fuzzing seed: together they reach
  // each group of records the player knows.
  char name[32];
  std::snprintf(name, sizeof name, "drawn-%016zx", std::hash<std::string>{}(builder.Bytes()));
  test::SaveSeed("emf", name, builder.Bytes());
  metafile.LoadFromBytes(builder.Bytes(), "test.emf");
  TBitmap canvas;
  canvas.SetSize(side, side);
  metafile.Draw(canvas, 0, 0);
  return canvas.Image();
}

char Code(QRgb pixel) {
  switch (pixel & 0xFFFFFF) {
    case 0xFFFFFF:
      return '.';
    case 0x000000:
      return 'K';
    case 0xFF0000:
      return 'R';
    case 0x0000FF:
      return 'B';
    case 0x00FF00:
      return 'G';
    default:
      return '?';
  }
}

// The pixels of a rectangle of the image, one letter each, rows joined by '|'.
std::string Map(const QImage& image, int width, int height) {
  std::string out;
  for (int y = 0; y < height; ++y) {
    if (y) out += '|';
    for (int x = 0; x < width; ++x) out += Code(image.pixel(x, y));
  }
  return out;
}

// The smallest box holding every pixel of the given colour, and their count.
struct Box {
  int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1, count = 0;
  bool operator==(const Box&) const = default;
};
Box BoxOf(const QImage& image, QRgb color) {
  Box b;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if ((image.pixel(x, y) & 0xFFFFFF) != (color & 0xFFFFFF)) continue;
      b.x0 = std::min(b.x0, x);
      b.y0 = std::min(b.y0, y);
      b.x1 = std::max(b.x1, x);
      b.y1 = std::max(b.y1, y);
      ++b.count;
    }
  }
  return b;
}
Box Filled(int x0, int y0, int x1, int y1) {
  return {x0, y0, x1, y1, (x1 - x0 + 1) * (y1 - y0 + 1)};
}

std::string LoadError(const std::string& bytes) {
  TMetafile metafile;
  try {
    metafile.LoadFromBytes(bytes, "bad.emf");
  } catch (const EInvalidGraphic& e) {
    return e.what();
  }
  return "";
}

std::string DrawError(const std::string& bytes) {
  TMetafile metafile;
  metafile.LoadFromBytes(bytes, "bad.emf");
  TBitmap canvas;
  canvas.SetSize(24, 24);
  try {
    metafile.Draw(canvas, 0, 0);
  } catch (const EInvalidGraphic& e) {
    return e.what();
  }
  return "";
}

TEST(Metafile, SizeFromFrameRoundsLikeMulDiv) {
  struct Case {
    int32_t left, top, right, bottom;
    int width, height;
  } cases[] = {
      {0, 0, 2540, 2540, 96, 96},
      {100, 200, 100 + 1310, 200 + 1309, 50, 49},  // 49.51 up, 49.47 down
      {0, 0, 26, 14, 1, 1},                        // 0.98 and 0.53 round up
      {-1270, -635, 1270, 635, 96, 48},
      {0, 0, 25400, 1, 960, 0},  // an empty side is refused below
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.right);
    EmfBuilder b;
    b.Frame(c.left, c.top, c.right, c.bottom);
    if (c.height == 0) {
      EXPECT_NE(LoadError(b.Bytes()).find("empty"), std::string::npos);
      continue;
    }
    TMetafile m;
    m.LoadFromBytes(b.Bytes(), "m.emf");
    EXPECT_EQ(m.Width(), c.width);
    EXPECT_EQ(m.Height(), c.height);
    EXPECT_STREQ(m.ClassName(), "TMetafile");
  }
  // Negative lengths round away from zero too.
  EXPECT_EQ(MetafileUnitsToPixels(-1310), -50);
  EXPECT_EQ(MetafileUnitsToPixels(-1309), -49);
  EXPECT_EQ(MetafileUnitsToPixels(int64_t{1} << 40), INT32_MAX);
}

TEST(Metafile, RectangleWithPenAndSolidBrush) {
  EmfBuilder b;
  b.SolidBrush(1, kRed).Select(1).Rect(1, 1, 7, 5);  // default black pen
  EXPECT_EQ(Map(Render(b), 8, 6),
            "........|"
            ".KKKKKK.|"
            ".KRRRRK.|"
            ".KRRRRK.|"
            ".KKKKKK.|"
            "........");
}

TEST(Metafile, RectangleWithoutPenIsOnePixelSmaller) {
  EmfBuilder b;
  b.RedFill().Rect(1, 1, 7, 5);
  EXPECT_EQ(Map(Render(b), 8, 6),
            "........|"
            ".RRRRR..|"
            ".RRRRR..|"
            ".RRRRR..|"
            "........|"
            "........");
}

// Each line leaves out its last pixel; the next line starts on it.
TEST(Metafile, PenLineLeavesOutItsLastPixel) {
  EmfBuilder b;
  b.Pen(1, 0, 0, kBlue).Select(1);
  b.Add(kMoveToEx, {1, 1}).Add(kLineTo, {6, 1}).Add(kLineTo, {6, 4});
  EXPECT_EQ(Map(Render(b), 8, 5),
            "........|"
            ".BBBBBB.|"
            "......B.|"
            "......B.|"
            "........");
}

TEST(Metafile, PolyPolygonFillModes) {
  // Two squares, the inner one inside the outer, both drawn the same way
  // round: alternate leaves a hole, winding fills it.
  for (int32_t mode : {1, 2}) {
    EmfBuilder b;
    b.RedFill().Add(kSetPolyFillMode, {mode});
    b.Add(kPolyPolygon, {0, 0, 0,  0, 2,  8,  4, 4,  //
                         2, 2, 14, 2, 14, 14, 2, 14, 5, 5, 11, 5, 11, 11, 5, 11});
    const QImage image = Render(b);
    EXPECT_EQ(Code(image.pixel(3, 3)), 'R');
    EXPECT_EQ(Code(image.pixel(8, 8)), mode == 1 ? '.' : 'R') << mode;
    EXPECT_EQ(Code(image.pixel(14, 14)), '.');
  }
}

TEST(Metafile, MapModesAndTransforms) {
  struct Case {
    const char* name;
    std::vector<std::pair<uint32_t, std::vector<int32_t>>> setup;
    std::vector<int32_t> rect;
    Box expected;
  } cases[] = {
      {"text", {}, {2, 3, 9, 7}, Filled(2, 3, 7, 5)},
      {"anisotropic",
       {{kSetMapMode, {8}}, {kSetWindowExtEx, {100, 100}}, {kSetViewportExtEx, {20, 40}}},
       {0, 0, 50, 25},
       Filled(0, 0, 8, 8)},
      {"isotropic takes the smaller scale",
       {{kSetMapMode, {7}}, {kSetWindowExtEx, {100, 100}}, {kSetViewportExtEx, {20, 10}}},
       {0, 0, 100, 100},
       Filled(0, 0, 8, 8)},
      {"origins",
       {{kSetMapMode, {8}},
        {kSetWindowExtEx, {2, 2}},
        {kSetViewportExtEx, {1, 1}},
        {kSetWindowOrgEx, {-4, 0}},
        {kSetViewportOrgEx, {3, 5}}},
       {0, 0, 8, 8},
       Filled(5, 5, 7, 7)},
      {"lometric: 0.1 mm, y up",
       {{kSetMapMode, {2}}, {kSetViewportOrgEx, {0, 20}}},
       {0, 0, 50, 50},  // 5 mm = 18.9 pixels
       Filled(0, 1, 17, 18)},
      {"world transform",
       {{kSetWorldTransform, {Float(2), 0, 0, Float(2), Float(1), Float(1)}}},
       {0, 0, 4, 4},
       Filled(1, 1, 7, 7)},
      {"modified world transform",
       {{kSetWorldTransform, {Float(2), 0, 0, Float(2), 0, 0}},
        {kModifyWorldTransform, {Float(1), 0, 0, Float(1), Float(3), 0, 2}}},  // left
       {0, 0, 4, 4},
       Filled(6, 0, 12, 6)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EmfBuilder b;
    b.RedFill();
    for (const auto& [type, fields] : c.setup) b.Add(type, fields);
    b.Add(kRectangle, c.rect);
    EXPECT_EQ(BoxOf(Render(b), qRgb(255, 0, 0)), c.expected);
  }
}

TEST(Metafile, SaveAndRestoreBringBackBrushOriginAndClip) {
  EmfBuilder b;
  b.RedFill();
  b.Add(kSaveDc, {});
  b.SolidBrush(2, kBlue).Select(2);
  b.Add(kSetViewportOrgEx, {10, 10});
  b.Add(kIntersectClipRect, {0, 0, 1, 1});
  b.Add(kRestoreDc, {-1});
  b.Rect(2, 2, 6, 6);
  EXPECT_EQ(BoxOf(Render(b), qRgb(255, 0, 0)), Filled(2, 2, 4, 4));
}

TEST(Metafile, ClipRectangles) {
  EmfBuilder b;
  b.RedFill();
  b.Add(kIntersectClipRect, {4, 4, 12, 10});
  b.Add(kExcludeClipRect, {6, 4, 8, 10});
  b.Rect(0, 0, 20, 20);
  const QImage image = Render(b);
  EXPECT_EQ(BoxOf(image, qRgb(255, 0, 0)).count, 6 * 6);
  EXPECT_EQ(Code(image.pixel(5, 5)), 'R');
  EXPECT_EQ(Code(image.pixel(6, 5)), '.');
  EXPECT_EQ(Code(image.pixel(8, 9)), 'R');
  EXPECT_EQ(Code(image.pixel(12, 5)), '.');

  // A clip region in device units, then reset by an empty copy.
  EmfBuilder r;
  r.RedFill();
  std::string region;
  for (uint32_t v : {32u, 1u, 1u, 16u, 2u, 2u, 5u, 5u, 2u, 2u, 5u, 5u})
    EmfBuilder::Append32(region, v);
  r.Add(kExtSelectClipRgn, {static_cast<int32_t>(region.size()), 5}, region);
  r.Rect(0, 0, 20, 20);
  EXPECT_EQ(BoxOf(Render(r), qRgb(255, 0, 0)), Filled(2, 2, 4, 4));
  r.Add(kExtSelectClipRgn, {0, 5});
  r.Rect(10, 10, 13, 13);
  EXPECT_EQ(BoxOf(Render(r), qRgb(255, 0, 0)).count, 9 + 4);
}

TEST(Metafile, PathFillAndClipPath) {
  EmfBuilder b;
  b.RedFill();
  b.Add(kBeginPath, {});
  b.Add(kMoveToEx, {2, 2}).Add(kLineTo, {8, 2}).Add(kLineTo, {8, 8}).Add(kLineTo, {2, 8});
  b.Add(kCloseFigure, {}).Add(kEndPath, {});
  b.Add(kFillPath, {0, 0, 0, 0});
  EXPECT_EQ(BoxOf(Render(b), qRgb(255, 0, 0)), Filled(2, 2, 7, 7));

  EmfBuilder c;
  c.RedFill();
  c.Add(kBeginPath, {}).Add(kRectangle, {10, 10, 15, 15}).Add(kEndPath, {});
  c.Add(kSelectClipPath, {5});
  c.Rect(0, 0, 24, 24);
  const Box box = BoxOf(Render(c), qRgb(255, 0, 0));
  EXPECT_GE(box.x0, 10);
  EXPECT_LE(box.x1, 14);
  EXPECT_GT(box.count, 9);
}

TEST(Metafile, HatchedBrushUsesBackgroundWhenOpaque) {
  for (int32_t bk_mode : {1, 2}) {  // transparent, opaque
    EmfBuilder b;
    b.Add(kCreateBrushIndirect, {1, 2, kRed, 0}).Select(1).Select(kNullPen);  // horizontal hatch
    b.Add(kSetBkColor, {kBlue}).Add(kSetBkMode, {bk_mode});
    b.Rect(0, 0, 17, 17);
    const QImage image = Render(b);
    const Box red = BoxOf(image, qRgb(255, 0, 0));
    EXPECT_EQ(red.count, 2 * 16) << bk_mode;  // one row in eight
    EXPECT_EQ(BoxOf(image, qRgb(0, 0, 255)).count, bk_mode == 2 ? 16 * 16 - red.count : 0);
  }
}

TEST(Metafile, ObjectsAndStockObjects) {
  EmfBuilder b;
  b.SolidBrush(1, kRed).Select(1).Add(kDeleteObject, {1});  // still selected: still used
  b.Select(kNullPen).Rect(0, 0, 4, 4);
  b.Select(kWhiteBrush).Rect(1, 1, 3, 3);
  b.Select(99);  // no such object: ignored
  const QImage image = Render(b);
  EXPECT_EQ(Map(image, 4, 4), "RRR.|R.R.|RRR.|....");
}

TEST(Metafile, UnknownRecordsAreSkippedAndEmfPlusCommentsToo) {
  EmfBuilder b;
  b.Add(200, {1, 2, 3});
  b.Add(kGdiComment, {8, 0x2B464D45, 0});
  b.RedFill().Rect(0, 0, 3, 3);
  EXPECT_EQ(BoxOf(Render(b), qRgb(255, 0, 0)), Filled(0, 0, 1, 1));
}

// A LOGFONTW: height, width, escapement, orientation, weight, eight bytes
// of flags, the face name in 32 UTF-16 units.
std::string LogFont(int32_t height, std::u16string face, int32_t escapement = 0) {
  std::string font;
  for (int32_t v : {height, 0, escapement, escapement, 400}) {
    EmfBuilder::Append32(font, static_cast<uint32_t>(v));
  }
  font += std::string(8, '\0');
  for (char16_t c : face) font += {static_cast<char>(c), '\0'};
  font.resize(92, '\0');
  return font;
}

TEST(Metafile, TextIsPlacedGlyphByGlyph) {
  // Two 'I's, the second placed by the spacing array 6 or 14 units after
  // the first; right-aligned text ends at the reference point.
  auto text = [](uint32_t align, int32_t gap) {
    EmfBuilder b(48);
    b.Add(kExtCreateFontIndirectW, {1}, LogFont(-16, u"DejaVu Sans")).Select(1);
    b.Add(kSetTextAlign, {static_cast<int32_t>(align)}).Add(kSetBkMode, {1});
    b.Add(kSetTextColor, {kBlue});
    // rclBounds, mode, scales, reference, chars, offString, options, rect, offDx
    std::string tail = std::string("I\0I\0", 4);
    for (int32_t d : {gap, gap}) EmfBuilder::Append32(tail, static_cast<uint32_t>(d));
    b.Add(kExtTextOutW, {0, 0, 0, 0, 1, 0, 0, 24, 10, 2, 76, 0, 0, 0, 0, 0, 80}, tail);
    return Render(b, 48);
  };
  const Box near = BoxOf(text(0, 6), qRgb(0, 0, 255));
  const Box far = BoxOf(text(0, 14), qRgb(0, 0, 255));
  ASSERT_GT(near.count, 0);
  EXPECT_EQ(far.count, near.count);
  EXPECT_EQ(far.x1 - near.x1, 8);
  EXPECT_GE(near.x0, 24);
  EXPECT_GE(near.y0, 10);
  EXPECT_LE(near.y1, 10 + 16 + 4);
  const Box right = BoxOf(text(2, 12), qRgb(0, 0, 255));
  EXPECT_LT(right.x1, 24);
  EXPECT_GE(right.x0, 0);
  const Box baseline = BoxOf(text(24, 12), qRgb(0, 0, 255));
  EXPECT_EQ(baseline.y1, 9);  // glyphs sit on the baseline at y = 10
}

// Fields at the most negative 32-bit value, found by fuzzing: a font's
// escapement and a rounded rectangle's corner were negated as int32.
TEST(Metafile, MostNegativeFieldsPlayWithoutOverflow) {
  EmfBuilder b(24);
  b.RedFill().Add(kRoundRect, {2, 2, 20, 20, INT32_MIN, INT32_MIN});
  b.Add(kExtCreateFontIndirectW, {2}, LogFont(-16, u"DejaVu Sans", INT32_MIN)).Select(2);
  b.Add(kExtTextOutW, {0, 0, 0, 0, 1, 0, 0, 4, 4, 1, 76, 0, 0, 0, 0, 0, 0}, std::string("I\0", 2));
  const QImage image = Render(b);
  EXPECT_GT(BoxOf(image, qRgb(255, 0, 0)).count, 0);
}

// A metafile found by fuzzing: a clip rectangle under a world transform
// of scale 1e34. Cut down to the canvas by floating-point arithmetic, its
// polygon kept a corner millions of pixels away, and Qt's region for such
// a polygon gives up and leaks (the leak checker of the test run fails).
TEST(Metafile, HugeTransformedClipIsCutToTheCanvas) {
  const std::string hex =
      "01000000580000000000000000000000000000000000000000000000000000007b0200007b020000"
      "20454d460000010074010000120000001b0000001000000002000000020000003400000010000000"
      "14000000080000004200000008000000430000000c0000000100000023000000200000000000003f"
      "0000003f000000bf800000f800080000000000002b00000018000000000000000010000018000000"
      "18000000220000000c000000ddffffff1d00000018000000040000000400f80008000200f8ffffff"
      "f1ff000014000000000000000000000000000000";
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  TMetafile metafile;
  metafile.LoadFromBytes(bytes, "clip.emf");
  TBitmap canvas;
  canvas.SetSize(64, 64);
  EXPECT_NO_THROW(metafile.StretchDraw(canvas, QRect(0, 0, 24, 24)));
}

// With an opaque background mode the text's cell is filled with the
// background colour; with ETO_OPAQUE exactly the record's rectangle is.
TEST(Metafile, TextBackground) {
  for (int32_t options : {0, 2}) {
    EmfBuilder b(48);
    b.Add(kExtCreateFontIndirectW, {1}, LogFont(-16, u"DejaVu Sans")).Select(1);
    b.Add(kSetTextColor, {kBlue}).Add(kSetBkColor, {kRed}).Add(kSetBkMode, {2});
    b.Add(kExtTextOutW, {0, 0, 0, 0, 1, 0, 0, 10, 10, 1, 76, options, 2, 3, 8, 9, 0}, "H\0");
    const QImage image = Render(b, 48);
    const Box red = BoxOf(image, qRgb(255, 0, 0));
    const Box blue = BoxOf(image, qRgb(0, 0, 255));
    EXPECT_GT(blue.count, 0) << options;
    EXPECT_GE(blue.x0, 10);
    EXPECT_GE(blue.y0, 10);
    if (options) {
      EXPECT_EQ(red, Filled(2, 3, 7, 8));
    } else {
      EXPECT_GT(red.count, 0);
      EXPECT_EQ(red.y0, 10);
      EXPECT_GE(red.x0, 10);
    }
  }
}

TEST(Metafile, SmallTextOutDrawsBytesOrUnits) {
  for (int32_t options : {0x100, 0x300}) {  // no rectangle; | small chars
    EmfBuilder b(48);
    b.Add(kSetTextColor, {kBlue}).Add(kSetBkMode, {1});
    // x, y, chars, options, graphics mode, x and y scale, then the text.
    const std::string chars = options & 0x200 ? std::string("HH") : std::string("H\0H\0", 4);
    b.Add(kSmallTextOut, {10, 10, 2, options, 1, 0, 0}, chars);
    const Box box = BoxOf(Render(b, 48), qRgb(0, 0, 255));
    EXPECT_GT(box.count, 20) << options;
    EXPECT_GE(box.x0, 10);
    EXPECT_LT(box.x1, 40);
    EXPECT_GE(box.y0, 10);
  }
}

// A 2 x 2 bitmap, 24 bits per pixel, bottom-up: red white over blue green.
std::string TinyDib() {
  std::string info;
  for (uint32_t v : {40u, 2u, 2u}) EmfBuilder::Append32(info, v);
  info += std::string("\x01\x00\x18\x00", 4);  // planes, bits per pixel
  for (int i = 0; i < 6; ++i) EmfBuilder::Append32(info, 0);
  const std::string bits = std::string("\xFF\x00\x00\x00\xFF\x00\x00\x00", 8)     // blue, green
                           + std::string("\x00\x00\xFF\xFF\xFF\xFF\x00\x00", 8);  // red, white
  return info + bits;
}

TEST(Metafile, StretchDiBitsScalesTheBitmap) {
  EmfBuilder b;
  // rclBounds, xDest, yDest, xSrc, ySrc, cxSrc, cySrc, offBmi, cbBmi,
  // offBits, cbBits, usage, rop, cxDest, cyDest; the bitmap follows at 80.
  b.Add(kStretchDiBits, {0, 0, 0, 0, 4, 4, 0, 0, 2, 2, 80, 40, 120, 16, 0, 0x00CC0020, 8, 8},
        TinyDib());
  const QImage image = Render(b);
  EXPECT_EQ(BoxOf(image, qRgb(255, 0, 0)), Filled(4, 4, 7, 7));
  EXPECT_EQ(BoxOf(image, qRgb(0, 0, 255)), Filled(4, 8, 7, 11));
  EXPECT_EQ(BoxOf(image, qRgb(0, 255, 0)), Filled(8, 8, 11, 11));
  EXPECT_EQ(BoxOf(image, qRgb(255, 255, 255)).count, 24 * 24 - 3 * 16);
}

TEST(Metafile, MalformedRecordsGiveClearErrors) {
  // A record whose size runs past the end of the file.
  EmfBuilder past;
  past.AddRaw(kRectangle, 4000, std::string(16, '\0'));
  std::string error = LoadError(past.Bytes(false));
  EXPECT_NE(error.find("bad.emf"), std::string::npos) << error;
  EXPECT_NE(error.find("runs past the end of the file"), std::string::npos) << error;

  // A size below the eight bytes of type and size would never advance.
  EmfBuilder tiny;
  tiny.AddRaw(kRectangle, 0, "");
  EXPECT_NE(LoadError(tiny.Bytes()).find("impossible size"), std::string::npos);

  // Counts that do not fit their record end playback.
  struct Case {
    uint32_t type;
    std::vector<int32_t> fields;
  } cases[] = {
      {kPolyline, {0, 0, 0, 0, 0x40000000, 1, 1}},
      {kPolyline16, {0, 0, 0, 0, -1, 1}},
      {kPolyPolygon, {0, 0, 0, 0, 0x7FFFFFFF, 3, 1, 1, 1}},
      {kPolyPolygon, {0, 0, 0, 0, 1, 1, 5, 1, 1}},  // a polygon longer than the total
      {kExtTextOutW, {0, 0, 0, 0, 1, 0, 0, 0, 0, 1000000, 76, 0, 0, 0, 0, 0, 0}},
      {kGradientFill, {0, 0, 0, 0, 1, 0x10000000, 0}},
      {kRectangle, {1, 2}},
      {kStretchDiBits, {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 80, 40, 9999, 4, 0, 0x00CC0020, 1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    EmfBuilder b;
    b.Add(c.type, c.fields);
    error = DrawError(b.Bytes());
    EXPECT_NE(error.find("Invalid metafile \"bad.emf\": record 1 at offset 88"), std::string::npos)
        << error;
    EXPECT_NE(error.find("is damaged"), std::string::npos) << error;
  }
}

TEST(Metafile, HeaderErrors) {
  EXPECT_NE(LoadError("").find("too short"), std::string::npos);
  std::string bytes = EmfBuilder().Bytes();
  bytes[40] = 'X';
  EXPECT_NE(LoadError(bytes).find("\" EMF\" signature"), std::string::npos);
  bytes = EmfBuilder().Bytes();
  bytes[0] = 2;
  EXPECT_NE(LoadError(bytes).find("not a metafile header"), std::string::npos);
  EmfBuilder huge;
  huge.Frame(0, 0, INT32_MAX, 100);
  EXPECT_NE(LoadError(huge.Bytes()).find("too large"), std::string::npos);
  // A failed load leaves the picture as it was.
  TMetafile m;
  m.LoadFromBytes(EmfBuilder(48).Bytes(), "good.emf");
  EXPECT_THROW(m.LoadFromBytes("junk", "bad.emf"), EInvalidGraphic);
  EXPECT_EQ(m.Width(), 48);
}

// Seed inputs of fuzz/emf_fuzz.cpp that mix many groups of records in one
// file; they must load.
TEST(Metafile, FuzzSeedsLoad) {
  EmfBuilder shapes;
  shapes.SolidBrush(1, kRed).Select(1).Pen(2, 0x2201, 3, kBlue).Select(2);
  shapes.Add(kSetMapMode, {8}).Add(kSetWindowExtEx, {100, 100}).Add(kSetViewportExtEx, {24, 24});
  shapes.Rect(1, 1, 50, 50).Add(kEllipse, {10, 10, 90, 60}).Add(kRoundRect, {5, 5, 40, 40, 8, 8});
  shapes.Add(kPie, {0, 0, 80, 80, 80, 40, 40, 0}).Add(kArc, {0, 0, 80, 80, 0, 40, 40, 80});
  shapes.Add(kPolyBezier16, {0, 0, 0, 0, 4, 0x00010001, 0x00200030, 0x00400010, 0x00500050});
  shapes.Add(kPolyPolyline16,
             {0, 0, 0, 0, 2, 4, 2, 2, 0x00010001, 0x00200030, 0x00400010, 0x00500050});
  EmfBuilder paths;
  paths.RedFill().Add(kSaveDc, {}).Add(kBeginPath, {}).Add(kMoveToEx, {2, 2});
  paths.Add(kLineTo, {20, 2}).Add(kArcTo, {2, 2, 20, 20, 20, 10, 2, 10}).Add(kCloseFigure, {});
  paths.Add(kEndPath, {}).Add(kWidenPath, {}).Add(kSelectClipPath, {1});
  paths.Add(kSetWorldTransform,
            {Float(0.5f), Float(0.5f), Float(-0.5f), Float(0.5f), Float(12), 0});
  paths.Rect(0, 0, 24, 24).Add(kRestoreDc, {-1}).Add(kExcludeClipRect, {4, 4, 8, 8});
  EmfBuilder text;
  text.Add(kExtCreateFontIndirectW, {1}, LogFont(12, u"Arial", 450)).Select(1);
  text.Add(kSetTextAlign, {24})
      .Add(kExtTextOutW, {0, 0, 0, 0, 1, 0, 0, 4, 20, 2, 76, 4, 0, 0, 9, 9, 80},
           std::string("A\0b\0\5\0\0\0\7\0\0\0", 12));
  text.Add(kExtTextOutA, {0, 0, 0, 0, 1, 0, 0, 4, 20, 2, 76, 0x102, 0}, "Ab");
  EmfBuilder bitmap;
  bitmap.Add(kStretchDiBits, {0, 0, 0, 0, 4, 4, 0, 0, 2, 2, 80, 40, 120, 16, 0, 0x00CC0020, 8, 8},
             TinyDib());
  bitmap.Add(kBitBlt, {0, 0, 0,        0, 2, 2, 5, 5, 0x00F00021, 0, 0, Float(1),
                       0, 0, Float(1), 0, 0, 0, 0, 0, 0,          0, 0});
  bitmap.Add(kGradientFill, {0, 0, 0,      0, 3,  1, 2,      0, 0, 0xFF00, 0, 20,
                             0, 0, 0xFF00, 0, 20, 0, 0xFF00, 0, 0, 1,      2});
  const std::pair<const char*, std::string> seeds[] = {
      {"shapes", shapes.Bytes()},
      {"paths", paths.Bytes()},
      {"text", text.Bytes()},
      {"bitmap", bitmap.Bytes()},
  };
  for (const auto& [name, bytes] : seeds) {
    test::SaveSeed("emf", name, bytes);
    EXPECT_EQ(LoadError(bytes), "") << name;
  }
}

TEST(Metafile, EmfPlusOnlyIsRefused) {
  EmfBuilder plus;
  plus.Add(kGdiComment, {16, 0x2B464D45, 0x4001, 28, 12});
  plus.Add(kSetMapMode, {1});
  const std::string error = LoadError(plus.Bytes());
  EXPECT_NE(error.find("only EMF+"), std::string::npos) << error;
  // The same with one plain drawing record plays.
  plus.RedFill().Rect(0, 0, 3, 3);
  EXPECT_EQ(LoadError(plus.Bytes()), "");
  // And a file with no drawing at all and no EMF+ is an empty picture.
  EXPECT_EQ(LoadError(EmfBuilder().Bytes()), "");
}

}  // namespace
}  // namespace pagemint
