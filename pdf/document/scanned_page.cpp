// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/document/scanned_page.h"

#include <QImage>
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "pdf/objects/pdf_objects.h"
#include "pdf/reader/object_store.h"
#include "pdf/streams/filter_chain.h"
#include "picture/jpeg_image.h"
#include "platform/exception.h"

namespace pagemint {

namespace {

// Content streams of scans are small (the image is an XObject); OCR text
// of a dense page takes a few hundred KB. More than this is no scan.
constexpr int64_t kMaxScanContent = 16 << 20;
constexpr size_t kMaxSaveDepth = 64;

// ---------------------------------------------------------------------------
// A content-stream lexer that knows just enough to tell operators from
// their operands.

enum class Tok : uint8_t { Number, Name, Other, Operator, End, Bad };

struct Token {
  Tok kind = Tok::End;
  std::string_view text;
  double number = 0;
};

bool IsWhite(char c) { return c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32; }
bool IsDelimiter(char c) {
  return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' ||
         c == '}' || c == '/' || c == '%';
}

class Lexer {
 public:
  explicit Lexer(std::string_view s) : s_(s) {}

  Token Next() {
    Skip();
    Token t;
    if (p_ >= s_.size()) return t;
    const size_t start = p_;
    const char c = s_[p_];
    if (c == '/') {
      ++p_;
      while (p_ < s_.size() && !IsWhite(s_[p_]) && !IsDelimiter(s_[p_])) ++p_;
      return Make(Tok::Name, start);
    }
    if (c == '(') return LiteralString(start);
    if (c == '<') {
      if (p_ + 1 < s_.size() && s_[p_ + 1] == '<') {
        p_ += 2;
        return Make(Tok::Other, start);
      }
      const size_t end = s_.find('>', p_);
      if (end == std::string_view::npos) return Bad();
      p_ = end + 1;
      return Make(Tok::Other, start);
    }
    if (c == '>') {
      if (p_ + 1 < s_.size() && s_[p_ + 1] == '>') {
        p_ += 2;
        return Make(Tok::Other, start);
      }
      return Bad();
    }
    if (c == '[' || c == ']') {
      ++p_;
      return Make(Tok::Other, start);
    }
    if (c == '+' || c == '-' || c == '.' || (c >= '0' && c <= '9')) return Number(start);
    if (c == ')' || c == '{' || c == '}') return Bad();
    while (p_ < s_.size() && !IsWhite(s_[p_]) && !IsDelimiter(s_[p_])) ++p_;
    return Make(Tok::Operator, start);
  }

 private:
  void Skip() {
    while (p_ < s_.size()) {
      if (IsWhite(s_[p_])) {
        ++p_;
      } else if (s_[p_] == '%') {
        while (p_ < s_.size() && s_[p_] != '\n' && s_[p_] != '\r') ++p_;
      } else {
        break;
      }
    }
  }
  Token Make(Tok kind, size_t start) const {
    Token t;
    t.kind = kind;
    t.text = s_.substr(start, p_ - start);
    return t;
  }
  Token Bad() {
    Token t;
    t.kind = Tok::Bad;
    return t;
  }
  Token LiteralString(size_t start) {
    int depth = 0;
    for (; p_ < s_.size(); ++p_) {
      const char c = s_[p_];
      if (c == '\\') {
        ++p_;
      } else if (c == '(') {
        ++depth;
      } else if (c == ')' && --depth == 0) {
        ++p_;
        return Make(Tok::Other, start);
      }
    }
    return Bad();
  }
  Token Number(size_t start) {
    bool negative = false;
    if (s_[p_] == '+' || s_[p_] == '-') negative = s_[p_++] == '-';
    double value = 0;
    double scale = 0;
    bool digits = false;
    for (; p_ < s_.size(); ++p_) {
      const char c = s_[p_];
      if (c >= '0' && c <= '9') {
        digits = true;
        if (scale == 0) {
          value = value * 10 + (c - '0');
        } else {
          value += (c - '0') * scale;
          scale /= 10;
        }
      } else if (c == '.' && scale == 0) {
        scale = 0.1;
      } else {
        break;
      }
    }
    if (!digits || (p_ < s_.size() && !IsWhite(s_[p_]) && !IsDelimiter(s_[p_]))) return Bad();
    Token t = Make(Tok::Number, start);
    t.number = negative ? -value : value;
    return t;
  }

  std::string_view s_;
  size_t p_ = 0;
};

// ---------------------------------------------------------------------------

using Matrix = std::array<double, 6>;

// a x b: a applied first.
Matrix Multiply(const Matrix& a, const Matrix& b) {
  return {a[0] * b[0] + a[1] * b[2],        a[0] * b[1] + a[1] * b[3],
          a[2] * b[0] + a[3] * b[2],        a[2] * b[1] + a[3] * b[3],
          a[4] * b[0] + a[5] * b[2] + b[4], a[4] * b[1] + a[5] * b[3] + b[5]};
}

bool NameIs(const TgtPDFObject* object, const char* name) {
  return object && object->IsName() && object->AsName().Text() == name;
}

bool NumberOf(const TgtPDFObjectStore& store, TgtPDFObject* object, double& value) {
  object = store.Follow(object);
  if (!object) return false;
  if (object->IsInteger()) {
    value = object->AsInteger().Value();
    return true;
  }
  if (object->IsReal()) {
    value = object->AsReal().Value();
    return true;
  }
  return false;
}

bool BoxOf(const TgtPDFObjectStore& store, TgtPDFObject* object, std::array<double, 4>& box) {
  const TgtPDFArrayObject* array = store.FollowAs<TgtPDFArrayObject>(object);
  if (!array || array->Count() != 4) return false;
  for (int32_t i = 0; i < 4; ++i)
    if (!NumberOf(store, array->ItemAt(i), box[static_cast<size_t>(i)])) return false;
  box = {std::min(box[0], box[2]), std::min(box[1], box[3]), std::max(box[0], box[2]),
         std::max(box[1], box[3])};
  return box[2] - box[0] > 0 && box[3] - box[1] > 0;
}

// The page's content streams, decoded and joined; false when there are
// none, they cannot be read, or they are too large.
bool ReadContent(const TgtPDFObjectStore& store, const TgtPDFDictObject& page,
                 std::string& content) {
  TgtPDFObject* contents = store.Follow(page.Lookup("/Contents"));
  std::vector<const TgtPDFStreamObject*> streams;
  if (contents && contents->IsStream()) {
    streams.push_back(&contents->AsStream());
  } else if (contents && contents->IsArray()) {
    for (int32_t i = 0; i < contents->AsArray().Count(); ++i) {
      TgtPDFObject* item = store.Follow(contents->AsArray().ItemAt(i));
      if (!item || !item->IsStream()) return false;
      streams.push_back(&item->AsStream());
    }
  }
  if (streams.empty()) return false;
  for (const TgtPDFStreamObject* stream : streams) {
    if (stream->DataSize() > kMaxScanContent) return false;
    if (stream->Dictionary().Lookup("/DecodeParms")) return false;
    TMemoryStream raw(stream->ReadData());
    const std::unique_ptr<TMemoryStream> plain = DecodeStreamData(
        raw, store.Follow(stream->Dictionary().Lookup("/Filter")), kMaxScanContent);
    content.append(static_cast<const char*>(plain->Memory()), static_cast<size_t>(plain->Size()));
    content.push_back('\n');
  }
  return true;
}

// The image XObject name refers to, when it is one this module draws.
const TgtPDFStreamObject* DrawableImage(const TgtPDFObjectStore& store,
                                        const TgtPDFDictObject& page, std::string_view name,
                                        TScanPlan& plan) {
  const TgtPDFDictObject* resources = store.FollowAs<TgtPDFDictObject>(page.Lookup("/Resources"));
  const TgtPDFDictObject* xobjects =
      resources ? store.FollowAs<TgtPDFDictObject>(resources->Lookup("/XObject")) : nullptr;
  TgtPDFObject* object = xobjects ? store.Follow(xobjects->Lookup(std::string(name))) : nullptr;
  if (!object || !object->IsStream()) return nullptr;
  const TgtPDFStreamObject& image = object->AsStream();
  const TgtPDFDictObject& d = image.Dictionary();
  if (!NameIs(store.Follow(d.Lookup("/Subtype")), "/Image")) return nullptr;
  for (const char* key : {"/ImageMask", "/Mask", "/SMask", "/Decode", "/DecodeParms", "/OC",
                          "/SMaskInData"})
    if (TgtPDFObject* value = store.Follow(d.Lookup(key)); value && !value->IsNull()) {
      if (std::string_view(key) == "/ImageMask" && value->IsBoolean() &&
          !value->AsBoolean().Value())
        continue;
      return nullptr;
    }
  TgtPDFObject* filter = store.Follow(d.Lookup("/Filter"));
  if (filter && filter->IsArray() && filter->AsArray().Count() == 1)
    filter = store.Follow(filter->AsArray().ItemAt(0));
  if (!NameIs(filter, "/DCTDecode")) return nullptr;
  double bits = 0, width = 0, height = 0;
  if (!NumberOf(store, d.Lookup("/BitsPerComponent"), bits) || bits != 8) return nullptr;
  if (!NumberOf(store, d.Lookup("/Width"), width) || !NumberOf(store, d.Lookup("/Height"), height) ||
      width < 1 || height < 1 || width > 65535 || height > 65535)
    return nullptr;
  TgtPDFObject* space = store.Follow(d.Lookup("/ColorSpace"));
  if (NameIs(space, "/DeviceGray"))
    plan.components = 1;
  else if (NameIs(space, "/DeviceRGB"))
    plan.components = 3;
  else
    return nullptr;
  plan.image_width = static_cast<int32_t>(width);
  plan.image_height = static_cast<int32_t>(height);
  if (!image.HasData()) return nullptr;
  return &image;
}

struct State {
  Matrix ctm{1, 0, 0, 1, 0, 0};
  double render_mode = 0;
};

bool Plan(const TgtPDFObjectStore& store, const TgtPDFDictObject& page, int32_t longer_side,
          TScanPlan& plan) {
  // The page as it is shown: upright, its media box whole, nothing drawn
  // over it but the content.
  double rotate = 0;
  if (page.Lookup("/Rotate") && (!NumberOf(store, page.Lookup("/Rotate"), rotate) ||
                                 std::fmod(rotate, 360) != 0))
    return false;
  if (TgtPDFObject* unit = store.Follow(page.Lookup("/UserUnit")); unit && !unit->IsNull())
    return false;
  if (const TgtPDFArrayObject* annots = store.FollowAs<TgtPDFArrayObject>(page.Lookup("/Annots"));
      annots && annots->Count() > 0)
    return false;
  if (TgtPDFObject* group = store.Follow(page.Lookup("/Group")); group && !group->IsNull())
    return false;
  std::array<double, 4> media{};
  if (!BoxOf(store, page.Lookup("/MediaBox"), media)) return false;
  if (page.Lookup("/CropBox")) {
    std::array<double, 4> crop{};
    if (!BoxOf(store, page.Lookup("/CropBox"), crop)) return false;
    for (size_t i = 0; i < 4; ++i)
      if (std::abs(crop[i] - media[i]) > 1e-3) return false;
  }

  // No image resources, no scan: most pages stop here, unread.
  const TgtPDFDictObject* resources = store.FollowAs<TgtPDFDictObject>(page.Lookup("/Resources"));
  if (!resources || !resources->Lookup("/XObject")) return false;
  std::string content;
  if (!ReadContent(store, page, content)) return false;
  std::vector<State> saved;
  State gs;
  bool in_text = false;
  bool have_image = false;
  Matrix image_ctm{};
  std::vector<Token> operands;
  int nesting = 0;  // arrays and dictionaries among the operands
  Lexer lexer(content);
  for (Token t = lexer.Next(); t.kind != Tok::End; t = lexer.Next()) {
    if (t.kind == Tok::Bad) return false;
    if (t.kind == Tok::Other) {
      if (t.text == "[" || t.text == "<<") ++nesting;
      if (t.text == "]" || t.text == ">>") --nesting;
      if (nesting < 0) return false;
    }
    if (t.kind != Tok::Operator) {
      if (nesting == 0 || t.text == "[" || t.text == "<<") operands.push_back(t);
      if (operands.size() > 64) return false;
      continue;
    }
    if (nesting != 0) return false;
    const std::string_view op = t.text;
    auto number = [&](size_t i, double& v) {
      if (i >= operands.size() || operands[i].kind != Tok::Number) return false;
      v = operands[i].number;
      return true;
    };
    if (op == "q") {
      if (saved.size() == kMaxSaveDepth) return false;
      saved.push_back(gs);
    } else if (op == "Q") {
      if (saved.empty()) return false;
      gs = saved.back();
      saved.pop_back();
    } else if (op == "cm") {
      Matrix m{};
      if (operands.size() != 6) return false;
      for (size_t i = 0; i < 6; ++i)
        if (!number(i, m[i])) return false;
      gs.ctm = Multiply(m, gs.ctm);
    } else if (op == "BT") {
      if (in_text) return false;
      in_text = true;
    } else if (op == "ET") {
      if (!in_text) return false;
      in_text = false;
    } else if (op == "Tr") {
      if (!number(0, gs.render_mode)) return false;
    } else if (op == "Tj" || op == "TJ" || op == "'" || op == "\"") {
      if (!in_text || gs.render_mode != 3) return false;  // visible text
    } else if (op == "Tc" || op == "Tw" || op == "Tz" || op == "TL" || op == "Tf" ||
               op == "Ts" || op == "Td" || op == "TD" || op == "Tm" || op == "T*") {
      if (!in_text && op != "Tc" && op != "Tw" && op != "Tz" && op != "TL" && op != "Tf" &&
          op != "Ts")
        return false;
    } else if (op == "g" || op == "G" || op == "rg" || op == "RG" || op == "k" || op == "K" ||
               op == "cs" || op == "CS" || op == "sc" || op == "SC" || op == "scn" ||
               op == "SCN" || op == "w" || op == "J" || op == "j" || op == "M" || op == "d" ||
               op == "ri" || op == "i" || op == "BMC" || op == "EMC" || op == "MP" ||
               op == "DP") {
      // Colours and line styles paint nothing by themselves, and an
      // image that is not a mask ignores them.
    } else if (op == "BDC") {
      if (!operands.empty() && operands[0].kind == Tok::Name && operands[0].text == "/OC")
        return false;
    } else if (op == "Do") {
      if (have_image || in_text || operands.size() != 1 || operands[0].kind != Tok::Name)
        return false;
      plan.image = DrawableImage(store, page, operands[0].text, plan);
      if (!plan.image) return false;
      have_image = true;
      image_ctm = gs.ctm;
    } else {
      return false;  // paths, clipping, shadings, inline images, states
    }
    operands.clear();
  }
  if (!have_image || in_text) return false;

  // Upright and scaled only; where it lands on the thumbnail's pixels, as
  // the renderer places an image: from the pixel holding its top left
  // corner to the one past the pixel holding its bottom right corner.
  const Matrix& m = image_ctm;
  if (std::abs(m[1]) > 1e-9 || std::abs(m[2]) > 1e-9 || m[0] <= 0 || m[3] <= 0) return false;
  const double page_w = media[2] - media[0];
  const double page_h = media[3] - media[1];
  const double k = longer_side / std::max(page_w, page_h);
  plan.width = std::max(1, static_cast<int32_t>(page_w * k + 0.5));
  plan.height = std::max(1, static_cast<int32_t>(page_h * k + 0.5));
  const double left = (m[4] - media[0]) * k;
  const double right = (m[4] + m[0] - media[0]) * k;
  const double top = (media[3] - (m[5] + m[3])) * k;
  const double bottom = (media[3] - m[5]) * k;
  constexpr double kFar = 1 << 20;
  if (!(std::abs(left) < kFar && std::abs(right) < kFar && std::abs(top) < kFar &&
        std::abs(bottom) < kFar))
    return false;
  plan.x0 = static_cast<int32_t>(std::floor(left));
  plan.y0 = static_cast<int32_t>(std::floor(top));
  plan.x1 = static_cast<int32_t>(std::floor(right)) + 1;
  plan.y1 = static_cast<int32_t>(std::floor(bottom)) + 1;
  // Nothing of it on the page, or so little that the picture is not the
  // page: the renderer knows best.
  return plan.x0 < plan.width && plan.y0 < plan.height && plan.x1 > 0 && plan.y1 > 0;
}

// The renderer scales an image down by averaging whole blocks of its
// pixels, the blocks one pixel apart in size and spread evenly: block i of
// src pixels into dst starts at Bounds(src, dst)[i].
std::vector<int> Bounds(int src, int dst) {
  std::vector<int> bounds(static_cast<size_t>(dst) + 1, 0);
  const int p = src / dst, q = src % dst;
  for (int i = 0, t = 0; i < dst; ++i) {
    t += q;
    int step = p;
    if (t >= dst) {
      t -= dst;
      ++step;
    }
    bounds[static_cast<size_t>(i) + 1] = bounds[static_cast<size_t>(i)] + step;
  }
  return bounds;
}

struct Tap {
  int index;
  float weight;
};

// For each destination pixel, the decoded pixels under its block and how
// much of each: the decoded picture has `have` pixels for `full` of the
// image, each standing for an equal share of it.
std::vector<std::vector<Tap>> Taps(int full, int have, int dst) {
  const std::vector<int> bounds = Bounds(full, dst);
  const double f = static_cast<double>(have) / full;
  std::vector<std::vector<Tap>> taps(static_cast<size_t>(dst));
  for (int i = 0; i < dst; ++i) {
    const double from = bounds[static_cast<size_t>(i)] * f;
    const double to = bounds[static_cast<size_t>(i) + 1] * f;
    double total = 0;
    for (int k = static_cast<int>(from); k < have && k < to; ++k) {
      const double w = std::min<double>(k + 1, to) - std::max<double>(k, from);
      if (w <= 0) continue;
      taps[static_cast<size_t>(i)].push_back({k, static_cast<float>(w)});
      total += w;
    }
    if (taps[static_cast<size_t>(i)].empty()) {
      taps[static_cast<size_t>(i)].push_back({std::min(have - 1, static_cast<int>(from)), 1.0f});
      total = 1;
    }
    for (Tap& t : taps[static_cast<size_t>(i)]) t.weight = static_cast<float>(t.weight / total);
  }
  return taps;
}

// src (decoded at a reduced size from an image of full_w x full_h) to
// dst_w x dst_h as the renderer would average the full image down.
void AreaScale(const QImage& src, int full_w, int full_h, int dst_w, int dst_h,
               std::vector<uint8_t>& out) {
  const auto xs = Taps(full_w, src.width(), dst_w);
  const auto ys = Taps(full_h, src.height(), dst_h);
  std::vector<float> rows(static_cast<size_t>(src.height()) * dst_w * 3);
  for (int y = 0; y < src.height(); ++y) {
    const uint8_t* row = src.constScanLine(y);
    float* o = rows.data() + static_cast<size_t>(y) * dst_w * 3;
    for (int x = 0; x < dst_w; ++x) {
      float r = 0, g = 0, b = 0;
      for (const Tap& t : xs[static_cast<size_t>(x)]) {
        r += row[t.index * 3] * t.weight;
        g += row[t.index * 3 + 1] * t.weight;
        b += row[t.index * 3 + 2] * t.weight;
      }
      o[x * 3] = r;
      o[x * 3 + 1] = g;
      o[x * 3 + 2] = b;
    }
  }
  out.assign(static_cast<size_t>(dst_w) * dst_h * 3, 0);
  std::vector<float> acc(static_cast<size_t>(dst_w) * 3);
  for (int y = 0; y < dst_h; ++y) {
    std::fill(acc.begin(), acc.end(), 0.0f);
    for (const Tap& t : ys[static_cast<size_t>(y)]) {
      const float* row = rows.data() + static_cast<size_t>(t.index) * dst_w * 3;
      for (size_t i = 0; i < acc.size(); ++i) acc[i] += row[i] * t.weight;
    }
    uint8_t* o = out.data() + static_cast<size_t>(y) * dst_w * 3;
    for (size_t i = 0; i < acc.size(); ++i)
      o[i] = static_cast<uint8_t>(std::clamp(acc[i] + 0.5f, 0.0f, 255.0f));
  }
}

}  // namespace

bool PlanScannedPage(const TgtPDFObjectStore& store, const TgtPDFDictObject& page,
                     int32_t longer_side, TScanPlan& plan) {
  plan = TScanPlan();
  try {
    if (Plan(store, page, longer_side, plan)) return true;
  } catch (const Exception&) {
  }
  plan = TScanPlan();
  return false;
}

bool DrawScannedPage(std::string_view jpeg, const TScanPlan& plan, std::string& rgb) {
  TJpegHeader header;
  if (!ReadJpegHeader(jpeg, header) || header.width != plan.image_width ||
      header.height != plan.image_height || header.components != plan.components)
    return false;
  const int box_w = plan.x1 - plan.x0;
  const int box_h = plan.y1 - plan.y0;
  // Only ever scaled down: an image smaller than its place is the
  // renderer's to enlarge.
  if (header.width < box_w || header.height < box_h) return false;
  TJPEGImage image;
  try {
    // Four times the pixels wanted each way: the blocks averaged then fall on
    // the decoded pixels closely enough to stay within a level or two.
    image.LoadScaled(jpeg, "image", 4 * box_w, 4 * box_h);
  } catch (const Exception&) {
    return false;
  }
  if (!image.Warning().empty()) return false;  // damaged data: the renderer's call
  std::vector<uint8_t> scaled;
  AreaScale(image.Image(), header.width, header.height, box_w, box_h, scaled);
  rgb.assign(static_cast<size_t>(plan.width) * plan.height * 3, static_cast<char>(255));
  const int from_x = std::max(0, plan.x0), to_x = std::min(plan.width, plan.x1);
  for (int y = std::max(0, plan.y0); y < std::min(plan.height, plan.y1); ++y)
    std::copy_n(scaled.data() + (static_cast<size_t>(y - plan.y0) * box_w + (from_x - plan.x0)) * 3,
                static_cast<size_t>(to_x - from_x) * 3,
                rgb.data() + (static_cast<size_t>(y) * plan.width + from_x) * 3);
  return true;
}

}  // namespace pagemint
