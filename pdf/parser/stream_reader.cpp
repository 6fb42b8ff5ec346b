#include "pdf/parser/stream_reader.h"

#include <algorithm>

#include "pdf/parser/char_classes.h"
#include "platform/messages.h"
#include "platform/numbers.h"

namespace pagemint {

// Counts one level of container or "obj" nesting for as long as it lives.
class TgtPDFStreamReader::NestingGuard {
 public:
  explicit NestingGuard(TgtPDFStreamReader& reader) : depth_(reader.depth_) {
    if (depth_ >= kMaxNestingDepth)
      throw ENestingTooDeepError(Format(msg::kNestingTooDeep, kMaxNestingDepth));
    ++depth_;
  }
  ~NestingGuard() { --depth_; }
  NestingGuard(const NestingGuard&) = delete;
  NestingGuard& operator=(const NestingGuard&) = delete;

 private:
  int& depth_;
};

namespace {

std::string ByteText(uint8_t byte) { return std::string(1, static_cast<char>(byte)); }

bool IsObjKeyword(std::string_view token) {
  // Case-insensitive: setting bit 5 folds exactly "O", "B", "J" onto "o", "b", "j".
  return token.size() == 3 && (token[0] | 0x20) == 'o' && (token[1] | 0x20) == 'b' &&
         (token[2] | 0x20) == 'j';
}

}  // namespace

TgtPDFStreamReader::TgtPDFStreamReader(uint32_t serial, TStream* source)
    : TgtRandomAccessFilter(source), serial_(serial) {}

void TgtPDFStreamReader::SkipClass(uint8_t mask) {
  if (view_) {
    int64_t p = *view_.position;
    if (p < 0) return;
    while (p < view_.size && chars::Is(view_.data[p], mask)) ++p;
    *view_.position = p;
    return;
  }
  while (More() && chars::Is(PeekByte(), mask)) ReadByte();
}

void TgtPDFStreamReader::SkipUntil(uint8_t mask) {
  if (view_) {
    int64_t p = *view_.position;
    if (p < 0) return;
    while (p < view_.size && !chars::Is(view_.data[p], mask)) ++p;
    *view_.position = p;
    return;
  }
  while (More() && !chars::Is(PeekByte(), mask)) ReadByte();
}

std::string_view TgtPDFStreamReader::Range(int64_t from, int64_t to, std::string& scratch) {
  if (view_) {
    SetPos(to);
    return {reinterpret_cast<const char*>(view_.data) + from, static_cast<size_t>(to - from)};
  }
  SetPos(from);
  scratch = ReadBytes(to - from);
  SetPos(to);
  return scratch;
}

void TgtPDFStreamReader::AppendRange(std::string& out, int64_t from, int64_t to) {
  if (to <= from) return;
  std::string scratch;
  out += Range(from, to, scratch);
}

bool TgtPDFStreamReader::BytesAt(int64_t offset, std::string_view word) {
  const int64_t n = static_cast<int64_t>(word.size());
  if (offset < 0 || offset > DataSize() - n) return false;
  const int64_t saved = Pos();
  std::string scratch;
  const bool same = Range(offset, offset + n, scratch) == word;
  SetPos(saved);
  return same;
}

bool TgtPDFStreamReader::ReadKeyword(std::string_view word) {
  const int64_t start = Pos();
  const bool same = BytesAt(start, word);
  // Consume what a read of that many bytes would, even when it fails.
  const int64_t end = start + static_cast<int64_t>(word.size());
  SetPos(More() ? std::min(end, DataSize()) : start);
  return same;
}

void TgtPDFStreamReader::SkipWhitespace() {
  for (;;) {
    SkipClass(chars::kWhite);
    if (!More() || PeekByte() != '%') return;
    SkipUntil(chars::kEol);
  }
}

std::string_view TgtPDFStreamReader::ScanToken(std::string& scratch) {
  const int64_t start = Pos();
  if (!More()) return {};
  // The first byte belongs to the token whatever it is, so a lone
  // delimiter such as "]" is a token of its own.
  ReadByte();
  SkipUntil(chars::kTokenStop);
  return Range(start, Pos(), scratch);
}

std::string TgtPDFStreamReader::ReadToken() {
  std::string scratch;
  std::string token(ScanToken(scratch));
  SkipWhitespace();
  return token;
}

std::string TgtPDFStreamReader::PeekToken() {
  SkipWhitespace();
  const int64_t start = Pos();
  SkipUntil(chars::kNameStop);
  std::string token;
  AppendRange(token, start, Pos());
  SetPos(start);
  return token;
}

TgtPDFObjectPtr TgtPDFStreamReader::ReadObject() {
  SkipWhitespace();
  if (!More()) throw EUnexpectedEndError(msg::kEndBeforeObject);
  switch (PeekByte()) {
    case '[':
      return ReadArray();
    case '/':
      return ReadName();
    case '(':
      return ReadString();
    case '<':
      return BytesAt(Pos(), "<<") ? ReadDictionary() : ReadString();
    case 't':
      if (!ReadKeyword("true")) throw EBooleanError(Format(msg::kExpectedBoolean, "true"));
      return std::make_unique<TgtPDFBooleanObject>(true);
    case 'f':
      if (!ReadKeyword("false")) throw EBooleanError(Format(msg::kExpectedBoolean, "false"));
      return std::make_unique<TgtPDFBooleanObject>(false);
    case 'n':
      if (!ReadKeyword("null")) throw ENullObjectError(msg::kExpectedNull);
      return std::make_unique<TgtPDFNullObject>();
    case ')':
    case '>':
    case ']':
    case '}':
      return nullptr;
    default:
      return ReadNumberOrHeader();
  }
}

// A number, or the start of a reference ("12 0 R") or of an indirect
// object ("12 0 obj"): two tokens of look-ahead tell them apart.
TgtPDFObjectPtr TgtPDFStreamReader::ReadNumberOrHeader() {
  std::string scratch1, scratch2, scratch3;
  SkipWhitespace();
  const std::string_view token1 = ScanToken(scratch1);
  SkipWhitespace();
  const int64_t after_token1 = Pos();
  const std::string_view token2 = ScanToken(scratch2);
  SkipWhitespace();
  const std::string_view token3 = ScanToken(scratch3);
  SkipWhitespace();
  if (token3 == "R") {
    const int32_t generation = StrToInt(token2);
    return std::make_unique<TgtPDFIndirectReference>(serial_, StrToInt(token1),
                                                     static_cast<uint16_t>(generation));
  }
  if (IsObjKeyword(token3)) return ReadIndirectObject(token1, token2);
  SetPos(after_token1);
  return ConvertNumber(token1);
}

TgtPDFObjectPtr TgtPDFStreamReader::ReadIndirectObject(std::string_view number,
                                                       std::string_view generation) {
  const int32_t n = StrToInt(number);
  const int32_t g = StrToInt(generation);
  current_number_ = n;
  current_generation_ = g;
  NestingGuard guard(*this);
  TgtPDFObjectPtr content = ReadObject();
  if (PeekToken() == "stream") {
    // The stream's data is read later, once its length is known.
    if (!content || !content->IsDictionary()) throw EInvalidCast(msg::kInvalidCast);
    std::unique_ptr<TgtPDFDictObject> dictionary(static_cast<TgtPDFDictObject*>(content.release()));
    content = std::make_unique<TgtPDFStreamObject>(std::move(dictionary));
  }
  return std::make_unique<TgtPDFIndirectObject>(serial_, n, static_cast<uint16_t>(g),
                                                std::move(content));
}

TgtPDFObjectPtr TgtPDFStreamReader::ConvertNumber(std::string_view token) {
  if (token.find('.') != std::string_view::npos) {
    double real = 0;
    if (TryStrToFloat(token, real)) return std::make_unique<TgtPDFRealObject>(real);
    return std::make_unique<TgtPDFStringObject>(std::string(token));
  }
  int32_t value = 0;
  if (TryStrToInt(token, value)) return std::make_unique<TgtPDFIntegerObject>(value);
  int64_t wide = 0;
  if (TryStrToInt64(token, wide)) return std::make_unique<TgtPDFInt64Object>(wide);
  throw Exception(Format(msg::kInvalidInteger, std::string(token).c_str()));
}

TgtPDFObjectPtr TgtPDFStreamReader::ReadArray() {
  SkipWhitespace();
  if (!More()) throw EUnexpectedEndError(msg::kEndInArray);
  const uint8_t open = ReadByte();
  if (open != '[') throw EArrayReadError(Format(msg::kArrayReadError, ByteText(open).c_str()));
  NestingGuard guard(*this);
  auto array = std::make_unique<TgtPDFArrayObject>();
  SkipWhitespace();
  for (;;) {
    if (!More()) throw EUnexpectedEndError(msg::kEndInArray);
    TgtPDFObjectPtr item = ReadObject();
    if (!item) break;
    array->Add(std::move(item));
    SkipWhitespace();
    if (More() && PeekByte() == ']') break;
  }
  // The "]", or whichever closing delimiter ended the items.
  ReadByte();
  return array;
}

TgtPDFObjectPtr TgtPDFStreamReader::ReadName() {
  SkipWhitespace();
  if (!More()) throw EUnexpectedEndError(msg::kEndBeforeName);
  const int64_t start = Pos();
  const uint8_t slash = ReadByte();
  if (slash != '/') throw ENameReadError(Format(msg::kNameReadError, ByteText(slash).c_str()));
  SkipUntil(chars::kNameStop);
  std::string text;
  AppendRange(text, start, Pos());
  // White space after a name belongs to it; a delimiter starts the next item.
  if (More() && chars::Is(PeekByte(), chars::kSpaceTab | chars::kEol)) ReadByte();
  return std::make_unique<TgtPDFNameObject>(std::move(text));
}

TgtPDFObjectPtr TgtPDFStreamReader::ReadDictionary() {
  SkipWhitespace();
  for (int i = 0; i < 2; ++i) {
    if (!More()) throw EUnexpectedEndError(msg::kEndInDictionary);
    const uint8_t open = ReadByte();
    if (open != '<')
      throw EDictionaryReadError(Format(msg::kDictionaryReadError, ByteText(open).c_str()));
  }
  NestingGuard guard(*this);
  auto dictionary = std::make_unique<TgtPDFDictObject>();
  for (;;) {
    SkipWhitespace();
    if (!More()) throw EUnexpectedEndError(msg::kEndInDictionary);
    if (PeekByte() == '>') {
      // ">>"; a lone ">" at the very end is taken as the close as well.
      ReadByte();
      ReadByte();
      return dictionary;
    }
    TgtPDFObjectPtr key = ReadName();
    std::unique_ptr<TgtPDFNameObject> name(static_cast<TgtPDFNameObject*>(key.release()));
    if (!More()) throw EUnexpectedEndError(msg::kEndInDictionary);
    dictionary->Add(std::move(name), ReadObject());
  }
}

}  // namespace pagemint
