// SPDX-License-Identifier: GPL-3.0-or-later
// Text records: fonts mapped onto the installed DejaVu faces, glyphs placed
// one by one from the record's spacing array.
#include <QCoreApplication>
#include <QFont>
#include <QGlyphRun>
#include <QGuiApplication>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "picture/emf_player.h"
#include "picture/emf_player_internal.h"
#include "platform/codepage.h"

namespace pagemint::emf {

namespace {

constexpr uint32_t kTaUpdateCp = 1;
constexpr uint32_t kTaRight = 2;
constexpr uint32_t kTaCenter = 6;
constexpr uint32_t kTaBottom = 8;
constexpr uint32_t kTaBaseline = 24;
constexpr uint32_t kEtoOpaque = 0x2;
constexpr uint32_t kEtoClipped = 0x4;
constexpr uint32_t kEtoGlyphIndex = 0x10;
constexpr uint32_t kEtoNoRect = 0x100;
constexpr uint32_t kEtoSmallChars = 0x200;
constexpr uint32_t kEtoPdy = 0x2000;
constexpr uint8_t kSymbolCharset = 2;
constexpr uint32_t kOpaque = 2;
// Larger glyphs, or glyphs stretched more than this along one axis, are
// filled as outlines.
constexpr double kMaxCachedGlyphPixels = 256;
constexpr double kMaxGlyphAspect = 16;
// Glyphs are narrowed at most this much to fit the file's spacing.
constexpr double kMinSqueeze = 0.5;

// Drawing text needs Qt's font database, which needs a GUI application
// object. The window makes one; the command-line tool and the tests get one
// here, on the offscreen platform unless one is chosen, kept for the life
// of the process. A non-GUI application object already in place means no
// fonts: text is then left out.
bool EnsureGuiApplication() {
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return true;
  if (QCoreApplication::instance()) return false;
  static int argc = 1;
  static char name[] = "pagemint";
  static char platform_flag[] = "-platform";
  static char offscreen[] = "offscreen";
  static char* argv[] = {name, platform_flag, offscreen, nullptr};
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) argc = 3;
  static QGuiApplication* app = new QGuiApplication(argc, argv);
  return app != nullptr;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x + 32);
    if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y + 32);
    if (x != y) return false;
  }
  return true;
}

// Faces that real metafiles name, mapped onto the DejaVu family that looks
// most alike; anything else goes by the pitch-and-family byte.
QString FamilyFor(const Font& font) {
  static constexpr std::u16string_view kSerif[] = {
      u"Times New Roman", u"Times",        u"Georgia",           u"Cambria",
      u"Garamond",        u"Book Antiqua", u"Palatino Linotype", u"Palatino",
      u"MS Serif",        u"Century",      u"Bookman Old Style", u"Century Schoolbook",
      u"Constantia",      u"Symbol"};
  static constexpr std::u16string_view kMono[] = {u"Courier New",
                                                  u"Courier",
                                                  u"Consolas",
                                                  u"Lucida Console",
                                                  u"Fixedsys",
                                                  u"Terminal",
                                                  u"Lucida Sans Typewriter",
                                                  u"Monaco",
                                                  u"Andale Mono"};
  const std::u16string_view face = font.face;
  for (auto name : kSerif) {
    if (SameName(face, name)) return QStringLiteral("DejaVu Serif");
  }
  for (auto name : kMono) {
    if (SameName(face, name)) return QStringLiteral("DejaVu Sans Mono");
  }
  if (!face.empty()) return QStringLiteral("DejaVu Sans");
  const uint8_t family = font.pitch_family & 0xF0;
  if (family == 0x10) return QStringLiteral("DejaVu Serif");
  if (family == 0x30 || (font.pitch_family & 3) == 1) return QStringLiteral("DejaVu Sans Mono");
  return QStringLiteral("DejaVu Sans");
}

// The Symbol font's code points 0x20..0x7E as Unicode.
constexpr char16_t kSymbolLow[] = {
    u' ',      u'!',      u'\u2200', u'#',      u'\u2203', u'%',      u'&',      u'\u220B',
    u'(',      u')',      u'\u2217', u'+',      u',',      u'\u2212', u'.',      u'/',
    u'0',      u'1',      u'2',      u'3',      u'4',      u'5',      u'6',      u'7',
    u'8',      u'9',      u':',      u';',      u'<',      u'=',      u'>',      u'?',
    u'\u2245', u'\u0391', u'\u0392', u'\u03A7', u'\u0394', u'\u0395', u'\u03A6', u'\u0393',
    u'\u0397', u'\u0399', u'\u03D1', u'\u039A', u'\u039B', u'\u039C', u'\u039D', u'\u039F',
    u'\u03A0', u'\u0398', u'\u03A1', u'\u03A3', u'\u03A4', u'\u03A5', u'\u03C2', u'\u03A9',
    u'\u039E', u'\u03A8', u'\u0396', u'[',      u'\u2234', u']',      u'\u22A5', u'_',
    u'\u203E', u'\u03B1', u'\u03B2', u'\u03C7', u'\u03B4', u'\u03B5', u'\u03C6', u'\u03B3',
    u'\u03B7', u'\u03B9', u'\u03D5', u'\u03BA', u'\u03BB', u'\u03BC', u'\u03BD', u'\u03BF',
    u'\u03C0', u'\u03B8', u'\u03C1', u'\u03C3', u'\u03C4', u'\u03C5', u'\u03D6', u'\u03C9',
    u'\u03BE', u'\u03C8', u'\u03B6', u'{',      u'|',      u'}',      u'\u223C'};

char16_t SymbolToUnicode(char16_t c) {
  const char16_t code = (c >= 0xF000 && c <= 0xF0FF) ? static_cast<char16_t>(c - 0xF000) : c;
  if (code >= 0x20 && code <= 0x7E) return kSymbolLow[code - 0x20];
  switch (code) {
    case 0xA3:
      return u'\u2264';
    case 0xA5:
      return u'\u221E';
    case 0xAB:
      return u'\u2194';
    case 0xAC:
      return u'\u2190';
    case 0xAD:
      return u'\u2191';
    case 0xAE:
      return u'\u2192';
    case 0xAF:
      return u'\u2193';
    case 0xB0:
      return u'\u00B0';
    case 0xB1:
      return u'\u00B1';
    case 0xB3:
      return u'\u2265';
    case 0xB4:
      return u'\u00D7';
    case 0xB6:
      return u'\u2202';
    case 0xB7:
      return u'\u2022';
    case 0xB8:
      return u'\u00F7';
    case 0xB9:
      return u'\u2260';
    case 0xBA:
      return u'\u2261';
    case 0xBB:
      return u'\u2248';
    case 0xBC:
      return u'\u2026';
    case 0xD1:
      return u'\u2207';
    case 0xD6:
      return u'\u221A';
    case 0xD7:
      return u'\u22C5';
    case 0xE5:
      return u'\u2211';
    case 0xF2:
      return u'\u222B';
    default:
      return c;
  }
}

// Symbol-charset fonts address their glyphs as U+F020..U+F0FF (or as
// bytes). The Symbol font's are mapped to the Unicode characters they
// show; other symbol fonts (dingbats) have no such faces here, and their
// codes are shown as the plain characters they were typed as.
char16_t SymbolCharset(const Font& font, char16_t c) {
  if (SameName(font.face, u"Symbol")) return SymbolToUnicode(c);
  return (c >= 0xF020 && c <= 0xF0FF) ? static_cast<char16_t>(c - 0xF000) : c;
}

bool IsSymbolFont(const Font& font) {
  return font.charset == kSymbolCharset || SameName(font.face, u"Symbol");
}

// Whether glyphs under this transform are filled as outlines instead of
// drawn through Qt's glyph cache, which renders them as bitmaps of the
// transformed size and fails on huge or very lopsided ones.
bool NeedsOutlines(const QTransform& t, double pixel_size) {
  const double sx = std::hypot(t.m11(), t.m12());
  const double sy = std::hypot(t.m21(), t.m22());
  const double large = std::max(sx, sy), small = std::min(sx, sy);
  return large * pixel_size > kMaxCachedGlyphPixels || large > kMaxGlyphAspect * small;
}

// Glyphs and their places along the baseline, in glyph space (device
// pixels before the horizontal stretch).
struct GlyphLayout {
  QList<quint32> glyphs;
  QList<QPointF> positions;
  double width = 0;
  double stretch = 1;
};

GlyphLayout LayoutGlyphs(const Font& font, const std::u16string& text,
                         const std::vector<int32_t>& dx, const QRawFont& font_glyphs, double scale,
                         double stretch) {
  const QRawFont* raw = &font_glyphs;
  const bool symbol = IsSymbolFont(font);
  std::vector<size_t> first_unit;  // the text unit each glyph starts at
  QList<quint32> glyphs;
  for (size_t i = 0; i < text.size(); ++i) {
    QChar units[2] = {QChar(symbol ? SymbolCharset(font, text[i]) : text[i]), QChar()};
    int count = 1;
    if (units[0].isHighSurrogate() && i + 1 < text.size() && QChar(text[i + 1]).isLowSurrogate()) {
      units[1] = QChar(text[i + 1]);
      count = 2;
    }
    quint32 glyph = 0;
    int glyph_count = 1;
    raw->glyphIndexesForChars(units, count, &glyph, &glyph_count);
    glyphs.push_back(glyph);
    first_unit.push_back(i);
    i += count - 1;
  }
  const QList<QPointF> advances = raw->advancesForGlyphIndexes(glyphs);
  if (!dx.empty() && glyphs.size() > 1) {
    // Our faces stand in for the file's and are often wider: glyphs that
    // would run into the next one's place are narrowed to fit.
    double natural = 0, given = 0;
    for (qsizetype g = 0; g + 1 < glyphs.size(); ++g) {
      natural += advances[g].x() * stretch;
      for (size_t u = first_unit[g]; u < first_unit[g + 1] && u < dx.size(); ++u) {
        given += dx[u] * scale;
      }
    }
    if (natural > given && given > 0) stretch *= std::max(kMinSqueeze, given / natural);
  }

  QList<QPointF> positions;
  double x = 0;
  for (qsizetype g = 0; g < glyphs.size(); ++g) {
    positions.push_back(QPointF(x / stretch, 0));
    const size_t end = g + 1 < glyphs.size() ? first_unit[g + 1] : text.size();
    if (dx.empty()) {
      x += advances[g].x() * stretch;
    } else {
      for (size_t u = first_unit[g]; u < end && u < dx.size(); ++u) x += dx[u] * scale;
    }
  }
  return {glyphs, positions, x, stretch};
}

}  // namespace

const QRawFont* Player::FontAt(const Font& font, double pixel_size) {
  if (!fonts_checked_) {
    fonts_available_ = EnsureGuiApplication();
    fonts_checked_ = true;
  }
  if (!fonts_available_) return nullptr;
  if (!font.raw.isValid()) {
    QFont qfont(FamilyFor(font));
    qfont.setPixelSize(100);
    qfont.setWeight(
        static_cast<QFont::Weight>(std::clamp(font.weight ? font.weight : 400, 100, 900)));
    qfont.setItalic(font.italic);
    font.raw = QRawFont::fromFont(qfont);
    font.raw_size = 100;
    if (!font.raw.isValid()) return nullptr;
  }
  if (font.raw_size != pixel_size) {
    font.raw.setPixelSize(pixel_size);
    font.raw_size = pixel_size;
  }
  return &font.raw;
}

TextRun Player::ReadExtText(const Record& r, bool wide) const {
  TextRun run;
  run.reference = QPointF(r.I32(36), r.I32(40));
  const uint32_t chars = r.U32(44);
  const uint32_t string_offset = r.U32(48);
  run.options = r.U32(52);
  size_t dx_field = 56;
  if (!(run.options & kEtoNoRect)) {
    run.box = r.Rect(56);
    dx_field = 72;
  }
  const uint32_t dx_offset = r.U32(dx_field);
  if (chars > 0) {
    const uint8_t* s = r.Array(string_offset, chars, wide ? 2 : 1);
    run.text = DecodeText(s, chars, wide);
  }
  if (dx_offset != 0 && chars > 0) {
    const uint32_t step = (run.options & kEtoPdy) ? 2 : 1;
    r.Array(dx_offset, uint64_t{chars} * step, 4);
    run.dx.resize(chars);
    for (uint32_t i = 0; i < chars; ++i) run.dx[i] = r.I32(dx_offset + size_t{i} * step * 4);
  }
  return run;
}

TextRun Player::ReadSmallText(const Record& r) const {
  // x, y, chars, options, graphics mode, two scales, an optional clip
  // rectangle, then the characters: bytes when ETO_SMALL_CHARS is set.
  TextRun run;
  run.reference = QPointF(r.I32(8), r.I32(12));
  const uint32_t chars = r.U32(16);
  run.options = r.U32(20);
  size_t text_offset = 36;
  if (!(run.options & kEtoNoRect)) {
    run.box = r.Rect(36);
    text_offset = 52;
  }
  const bool wide = !(run.options & kEtoSmallChars);
  if (chars > 0) run.text = DecodeText(r.Array(text_offset, chars, wide ? 2 : 1), chars, wide);
  return run;
}

std::u16string Player::DecodeText(const uint8_t* s, uint32_t chars, bool wide) const {
  std::u16string text;
  if (wide) {
    text.resize(chars);
    for (uint32_t i = 0; i < chars; ++i)
      text[i] = static_cast<char16_t>(s[2 * i] | (s[2 * i + 1] << 8));
  } else if (IsSymbolFont(*state_.font)) {
    text.assign(s, s + chars);
  } else {
    text = AnsiToUnicode(std::string_view(reinterpret_cast<const char*>(s), chars));
  }
  return text;
}

void Player::DrawText(const TextRun& run) {
  const uint32_t options = run.options;
  const RectL& box = run.box;
  const std::u16string& text = run.text;
  const std::vector<int32_t>& dx = run.dx;
  const QPointF reference = run.reference;
  const Font& font = *state_.font;

  PreparePainter();
  painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
  if ((options & kEtoOpaque) && !(options & kEtoNoRect)) {
    if (const std::optional<QRectF> device = DeviceBox(box)) {
      painter_.fillRect(device->adjusted(0, 0, 1, 1), state_.bk_color);
    } else {
      QPainterPath path;
      path.addRect(QRectF(QPointF(box.left, box.top), QPointF(box.right, box.bottom)));
      painter_.fillPath(MapPath(path), state_.bk_color);
    }
  }
  if (text.empty()) return;
  if (options & kEtoClipped && !(options & kEtoNoRect)) {
    QRegion clip = DeviceRect(box);
    if (state_.clip) clip = clip.intersected(*state_.clip);
    painter_.setClipRegion(clip);
    painter_clip_dirty_ = true;
  }
  // Glyph indexes belong to the font the file was made with, which we do
  // not have: such text is left out rather than drawn with wrong glyphs.
  if (options & kEtoGlyphIndex) return;

  const QTransform full = Full();
  // Device pixels per logical unit, measured up the glyphs.
  const double scale = std::hypot(full.m21(), full.m22());
  if (!(scale > 0) || !std::isfinite(scale)) return;
  const QRawFont* raw = FontAt(font, 100);
  if (!raw) return;
  double em;  // in device pixels
  if (font.height < 0) {
    em = -static_cast<double>(font.height) * scale;
  } else if (font.height > 0) {
    // A positive height is the cell: ascent plus descent.
    em = font.height * scale * 100 / std::max(1.0, raw->ascent() + raw->descent());
  } else {
    em = 12;
  }
  if (em < 0.5) return;
  raw = FontAt(font, std::min(em, kMaxFontPixels));

  // Glyph space: device pixels along and across the baseline, mapped onto
  // the canvas through the escapement, the logical reference point and the
  // full transform. A transform that turns y upwards would draw glyphs
  // upside down; the flip keeps them upright, as the platform does.
  QTransform glyph_to_device;
  glyph_to_device.rotate(-static_cast<double>(font.escapement) / 10.0);
  if (full.determinant() < 0) glyph_to_device.scale(1, -1);
  glyph_to_device = glyph_to_device * QTransform::fromScale(1 / scale, 1 / scale) *
                    QTransform::fromTranslate(
                        state_.text_align & kTaUpdateCp ? state_.position.x() : reference.x(),
                        state_.text_align & kTaUpdateCp ? state_.position.y() : reference.y()) *
                    full;

  // A set average width stretches the glyphs, not their places.
  double stretch = 1;
  if (font.width > 0 && raw->averageCharWidth() > 0) {
    stretch = std::clamp(font.width * scale / raw->averageCharWidth(), 0.1, 10.0);
  }

  const GlyphLayout layout = LayoutGlyphs(font, text, dx, *raw, scale, stretch);
  const double width = layout.width;
  double x0 = 0;
  if ((state_.text_align & kTaCenter) == kTaCenter) {
    x0 = -width / 2;
  } else if ((state_.text_align & kTaCenter) == kTaRight) {
    x0 = -width;
  }
  double y0 = raw->ascent();
  if ((state_.text_align & kTaBaseline) == kTaBaseline) {
    y0 = 0;
  } else if ((state_.text_align & kTaBaseline) == kTaBottom) {
    y0 = -raw->descent();
  }
  if (state_.text_align & kTaUpdateCp) state_.position.rx() += width / scale;

  stretch = layout.stretch;
  const QTransform glyphs_to_device = QTransform::fromScale(stretch, 1) * glyph_to_device;
  const QPointF origin(x0 / stretch, y0);
  if (!in_path_ && state_.bk_mode == kOpaque && !(options & kEtoOpaque)) {
    painter_.setTransform(glyph_to_device);
    painter_.fillRect(QRectF(x0, y0 - raw->ascent(), width, raw->ascent() + raw->descent()),
                      state_.bk_color);
  }
  if (in_path_ || NeedsOutlines(glyphs_to_device, raw->pixelSize())) {
    QPainterPath outlines;
    for (qsizetype i = 0; i < layout.glyphs.size(); ++i) {
      outlines.addPath(
          raw->pathForGlyph(layout.glyphs[i]).translated(layout.positions[i] + origin));
    }
    outlines = glyphs_to_device.map(outlines);
    if (in_path_) {
      path_.addPath(outlines);
    } else {
      painter_.resetTransform();
      painter_.fillPath(outlines, state_.text_color);
    }
    return;
  }
  QGlyphRun glyph_run;
  glyph_run.setRawFont(*raw);
  glyph_run.setGlyphIndexes(layout.glyphs);
  glyph_run.setPositions(layout.positions);
  glyph_run.setUnderline(font.underline);
  glyph_run.setStrikeOut(font.strike_out);
  painter_.setTransform(glyphs_to_device);
  painter_.setPen(state_.text_color);
  // The cell is filled above; Qt's own opaque text background would also
  // lose the glyphs' translation.
  painter_.setBackgroundMode(Qt::TransparentMode);
  painter_.drawGlyphRun(origin, glyph_run);
  painter_.resetTransform();
}

}  // namespace pagemint::emf
