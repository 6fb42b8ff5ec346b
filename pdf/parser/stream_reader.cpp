// SPDX-License-Identifier: GPL-3.0-or-later
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
    if (depth_ >= kMaxObjectNesting)
      throw ENestingTooDeepError(Format(msg::kNestingTooDeep, kMaxObjectNesting));
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

// Up to nine decimal digits with an optional sign: the common case, which
// always fits 32 bits and needs none of the general conversion's forms.
bool ReadSmallDecimal(std::string_view token, int32_t& value) {
  size_t i = 0;
  const bool negative = !token.empty() && token[0] == '-';
  if (!token.empty() && (token[0] == '-' || token[0] == '+')) i = 1;
  const size_t digits = token.size() - i;
  if (digits == 0 || digits > 9) return false;
  int32_t n = 0;
  for (; i < token.size(); ++i) {
    const unsigned d = static_cast<unsigned>(static_cast<uint8_t>(token[i])) - '0';
    if (d > 9) return false;
    n = n * 10 + static_cast<int32_t>(d);
  }
  value = negative ? -n : n;
  return true;
}

// The numbers of a reference or an "obj" header: the short decimal form
// directly, anything else through the platform conversion, which accepts
// the same text with the same result and raises its error for the rest.
int32_t HeaderNumber(std::string_view token) {
  int32_t value = 0;
  if (ReadSmallDecimal(token, value)) return value;
  return StrToInt(token);
}

// Like HeaderNumber, without raising an error.
bool TryHeaderNumber(std::string_view token, int32_t& value) {
  return ReadSmallDecimal(token, value) || TryStrToInt(token, value);
}

// The bytes a number can start with.
bool IsNumberStart(uint8_t c) { return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'; }

// The keywords that follow an object, or the sections after the objects.
bool EndsObject(std::string_view word) {
  return word == "endobj" || word == "stream" || word == "endstream" || word == "xref" ||
         word == "trailer" || word == "startxref";
}

bool IsObjKeyword(std::string_view token) {
  // Case-insensitive: setting bit 5 folds exactly "O", "B", "J" onto "o", "b", "j".
  return token.size() == 3 && (token[0] | 0x20) == 'o' && (token[1] | 0x20) == 'b' &&
         (token[2] | 0x20) == 'j';
}

}  // namespace

TgtPDFStreamReader::TgtPDFStreamReader(uint32_t serial, TStream* source)
    : TgtRandomAccessFilter(source), serial_(serial) {}

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
  if (view_) {
    out.append(reinterpret_cast<const char*>(view_.data) + from, static_cast<size_t>(to - from));
    SetPos(to);
    return;
  }
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

void TgtPDFStreamReader::SkipWhitespaceAndComments() {
  if (view_) {
    const uint8_t* data = view_.data;
    const int64_t size = view_.size;
    int64_t p = *view_.position;
    if (p < 0) return;
    for (;;) {
      while (p < size && chars::Is(data[p], chars::kWhite)) ++p;
      if (p >= size || data[p] != '%') break;
      while (p < size && !chars::Is(data[p], chars::kEol)) ++p;
    }
    *view_.position = p;
    return;
  }
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

TgtPDFStreamReader::TokenSpan TgtPDFStreamReader::ScanTokenSpan() {
  TokenSpan span;
  span.start = Pos();
  if (view_ && span.start >= 0 && span.start < view_.size) {
    int64_t p = span.start + 1;
    while (p < view_.size && !chars::Is(view_.data[p], chars::kTokenStop)) ++p;
    span.end = p;
    *view_.position = p;
    SkipWhitespace();
    span.next = *view_.position;
    return span;
  }
  if (More()) {
    ReadByte();
    SkipUntil(chars::kTokenStop);
  }
  span.end = Pos();
  SkipWhitespace();
  span.next = Pos();
  return span;
}

std::string_view TgtPDFStreamReader::SpanText(const TokenSpan& span, std::string& scratch) {
  if (view_)
    return {reinterpret_cast<const char*>(view_.data) + span.start,
            static_cast<size_t>(span.end - span.start)};
  const int64_t saved = Pos();
  Range(span.start, span.end, scratch);
  SetPos(saved);
  return scratch;
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
      if (KeywordToken("true")) return std::make_unique<TgtPDFBooleanObject>(true);
      if (!repairing_) throw EBooleanError(Format(msg::kExpectedBoolean, "true"));
      return ReadDamagedWord();
    case 'f':
      if (KeywordToken("false")) return std::make_unique<TgtPDFBooleanObject>(false);
      if (!repairing_) throw EBooleanError(Format(msg::kExpectedBoolean, "false"));
      return ReadDamagedWord();
    case 'n':
      if (KeywordToken("null")) return std::make_unique<TgtPDFNullObject>();
      if (!repairing_) throw ENullObjectError(msg::kExpectedNull);
      return ReadDamagedWord();
    case ')':
    case '>':
    case ']':
    case '}':
      return nullptr;
    case '{':
      if (!repairing_) return ReadNumberOrHeader();
      ++repairs_;
      ReadByte();
      return std::make_unique<TgtPDFNullObject>();
    default:
      return ReadNumberOrHeader();
  }
}

// A keyword at the position, consumed when found. While repairing it must
// be a whole word ("nullx" is a damaged word, not null); otherwise the
// bytes after it are left to the caller, as they always were.
bool TgtPDFStreamReader::KeywordToken(std::string_view word) {
  const int64_t start = Pos();
  if (!BytesAt(start, word)) return false;
  const int64_t end = start + static_cast<int64_t>(word.size());
  SetPos(end);
  if (!repairing_ || end >= DataSize()) return true;
  const uint8_t next = PeekByte();
  if (chars::Is(next, chars::kTokenStop) || next == '%') return true;
  SetPos(start);
  return false;
}

// While repairing, a word where a value belongs. The keywords that end an
// object ("endobj", "stream", "endstream") and the header of the next
// object end the container that is open, as when its closing delimiter
// had been lost: nothing is read, as at a closing delimiter. Any other word
// reads as null.
TgtPDFObjectPtr TgtPDFStreamReader::ReadDamagedWord() {
  const int64_t start = Pos();
  std::string scratch;
  const std::string_view word = ScanToken(scratch);
  if (containers_ > 0 && EndsObject(word)) {
    SetPos(start);
    return nullptr;
  }
  ++repairs_;
  if (Pos() <= start && More()) ReadByte();
  return std::make_unique<TgtPDFNullObject>();
}

bool TgtPDFStreamReader::EndsContainer() {
  if (!repairing_ || containers_ == 0 || !More()) return false;
  const int64_t start = Pos();
  std::string scratch;
  const bool ends = EndsObject(ScanToken(scratch));
  SetPos(start);
  return ends;
}

// A number, or the start of a reference ("12 0 R") or of an indirect
// object ("12 0 obj"): two tokens of look-ahead tell them apart. A plain
// number leaves its two look-ahead tokens unread; they are kept, so that
// the next number in a row of numbers scans one new token instead of three.
TgtPDFObjectPtr TgtPDFStreamReader::ReadNumberOrHeader() {
  SkipWhitespace();
  TokenSpan t1, t2;
  if (Pos() == lookahead_[0].start) {
    t1 = lookahead_[0];
    t2 = lookahead_[1];
    SetPos(t2.next);
  } else {
    t1 = ScanTokenSpan();
    t2 = ScanTokenSpan();
  }
  const TokenSpan t3 = ScanTokenSpan();
  lookahead_[0] = t2;
  lookahead_[1] = t3;
  std::string scratch1, scratch2, scratch3;
  const std::string_view token1 = SpanText(t1, scratch1);
  const std::string_view token3 = SpanText(t3, scratch3);
  if (token3 == "R") {
    int32_t number = 0, generation = 0;
    if (repairing_ && (!TryHeaderNumber(token1, number) ||
                       !TryHeaderNumber(SpanText(t2, scratch2), generation) || number < 0 ||
                       generation < 0 || generation > 65535)) {
      ++repairs_;
      return std::make_unique<TgtPDFNullObject>();
    }
    generation = HeaderNumber(SpanText(t2, scratch2));
    return std::make_unique<TgtPDFIndirectReference>(serial_, HeaderNumber(token1),
                                                     static_cast<uint16_t>(generation));
  }
  if (IsObjKeyword(token3)) {
    // An object header inside an array, a dictionary or another object:
    // what is open lost its end, and the next object begins. That is
    // damage; while repairing it ends here, as at a closing delimiter.
    if (depth_ > 0) {
      if (!repairing_) throw EUnexpectedEndError(msg::kHeaderInsideObject);
      SetPos(t1.start);
      return nullptr;
    }
    return ReadIndirectObject(token1, SpanText(t2, scratch2));
  }
  SetPos(t1.next);
  if (repairing_ && !token1.empty() && !IsNumberStart(static_cast<uint8_t>(token1[0]))) {
    // A word where a value belongs.
    SetPos(t1.start);
    return ReadDamagedWord();
  }
  return ConvertNumber(token1);
}

TgtPDFObjectPtr TgtPDFStreamReader::ReadIndirectObject(std::string_view number,
                                                       std::string_view generation) {
  const int32_t n = HeaderNumber(number);
  const int32_t g = HeaderNumber(generation);
  current_number_ = n;
  current_generation_ = g;
  NestingGuard guard(*this);
  TgtPDFObjectPtr content = ReadObject();
  if (!content && repairing_) {
    ++repairs_;
    content = std::make_unique<TgtPDFNullObject>();
  }
  if (StreamKeywordFollows()) {
    // The stream's data is read later, once its length is known.
    if (!content || !content->IsDictionary()) throw EInvalidCast(msg::kInvalidCast);
    std::unique_ptr<TgtPDFDictObject> dictionary(static_cast<TgtPDFDictObject*>(content.release()));
    content = std::make_unique<TgtPDFStreamObject>(std::move(dictionary));
  } else if (!ObjectEndFollows()) {
    // Bytes where "endobj" belongs, such as a damaged "stream" keyword:
    // reading on would take a stream for a plain dictionary. While
    // repairing the value stands as it is.
    if (!repairing_) throw EStreamReadError(Format(msg::kObjectEndMissing, n));
    ++repairs_;
  }
  return std::make_unique<TgtPDFIndirectObject>(serial_, n, static_cast<uint16_t>(g),
                                                std::move(content));
}

// What may follow the value of an indirect object: "endobj", or, where a
// producer left that out, the next object's header, the cross-reference
// section, the trailer or the end of the file.
bool TgtPDFStreamReader::ObjectEndFollows() {
  SkipWhitespace();
  if (!More()) return true;
  const std::string token = PeekToken();
  return token == "endobj" || token == "xref" || token == "trailer" || token == "startxref" ||
         (!token.empty() && token[0] >= '0' && token[0] <= '9');
}

// "stream" as the next token, also when a comment follows the keyword
// directly ("stream%..."), which a token read would take as one word.
bool TgtPDFStreamReader::StreamKeywordFollows() {
  return PeekToken() == "stream" || BytesAt(Pos(), "stream%");
}

TgtPDFObjectPtr TgtPDFStreamReader::ConvertNumber(std::string_view token) {
  int32_t small = 0;
  if (ReadSmallDecimal(token, small)) return std::make_unique<TgtPDFIntegerObject>(small);
  if (token.find('.') != std::string_view::npos) {
    double real = 0;
    if (TryStrToFloat(token, real)) return std::make_unique<TgtPDFRealObject>(real);
    if (repairing_) {
      ++repairs_;
      return std::make_unique<TgtPDFNullObject>();
    }
    throw Exception(Format(msg::kInvalidInteger, std::string(token).c_str()));
  }
  int32_t value = 0;
  if (TryStrToInt(token, value)) return std::make_unique<TgtPDFIntegerObject>(value);
  int64_t wide = 0;
  if (TryStrToInt64(token, wide)) return std::make_unique<TgtPDFInt64Object>(wide);
  if (repairing_) {
    ++repairs_;
    return std::make_unique<TgtPDFNullObject>();
  }
  throw Exception(Format(msg::kInvalidInteger, std::string(token).c_str()));
}

TgtPDFObjectPtr TgtPDFStreamReader::ReadArray() {
  SkipWhitespace();
  if (!More()) throw EUnexpectedEndError(msg::kEndInArray);
  const uint8_t open = ReadByte();
  if (open != '[') throw EArrayReadError(Format(msg::kArrayReadError, ByteText(open).c_str()));
  NestingGuard guard(*this);
  ContainerGuard container(*this);
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
  // Only "]" closes an array. Another closing delimiter here (">>" in
  // "/Key [>>") means the array or what holds it is damaged; reading it
  // as a closed array would silently take the rest for something else.
  // While repairing, the array ends there and the delimiter is left to
  // what holds it.
  const uint8_t close = More() ? PeekByte() : 0;
  if (close == ']') {
    ReadByte();
  } else if (repairing_) {
    ++repairs_;
  } else {
    throw EArrayReadError(Format(msg::kArrayReadError, ByteText(close).c_str()));
  }
  array->ShrinkToFit();
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
  if (repairing_) {
    // A '%' (a comment) inside a name is damage while repairing: the name
    // ends there, as the syntax says it does.
    const size_t cut = text.find('%', 1);
    if (cut != std::string::npos) {
      text.resize(cut);
      SetPos(start + static_cast<int64_t>(cut));
      ++repairs_;
    }
  }
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
  ContainerGuard container(*this);
  auto dictionary = std::make_unique<TgtPDFDictObject>();
  // Whether a /Contents string was read as the file holds it (see
  // ReadPlainString).
  bool plain_contents = false;
  for (;;) {
    SkipWhitespace();
    if (!More()) throw EUnexpectedEndError(msg::kEndInDictionary);
    if (PeekByte() == '>') {
      // ">>"; a lone ">" at the very end is taken as the close as well.
      ReadByte();
      if (More() && PeekByte() != '>') {
        // A lone ">" inside: damage. While repairing it is passed over.
        if (!repairing_)
          throw EDictionaryReadError(Format(msg::kDictionaryReadError, ">"));
        ++repairs_;
        continue;
      }
      if (More()) ReadByte();
      if (plain_contents) DecryptContentsUnlessSigned(*dictionary);
      dictionary->ShrinkToFit();
      return dictionary;
    }
    if (PeekByte() != '/' && repairing_) {
      // The end of the object where a key belongs: the ">>" was lost.
      if (EndsContainer() || HeaderFollows()) {
        ++repairs_;
        if (plain_contents) DecryptContentsUnlessSigned(*dictionary);
        dictionary->ShrinkToFit();
        return dictionary;
      }
      if (SkipDamagedEntry()) continue;
    }
    TgtPDFObjectPtr key = ReadName();
    std::unique_ptr<TgtPDFNameObject> name(static_cast<TgtPDFNameObject*>(key.release()));
    if (!More()) throw EUnexpectedEndError(msg::kEndInDictionary);
    const int32_t repairs_before = repairs_;
    TgtPDFObjectPtr value;
    if (decryptor_ != nullptr && name->Text() == "/Contents" && StringFollows()) {
      value = ReadPlainString();
      plain_contents = true;
    } else {
      value = ReadObject();
    }
    if (!value) {
      // A key without its value ("<< /Key >>"): damage, never a
      // dictionary with an entry that has no value. While repairing the
      // entry is left out.
      if (!repairing_)
        throw EDictionaryReadError(Format(msg::kKeyWithoutValue, name->Text().c_str()));
      ++repairs_;
      continue;
    }
    // A value that a repair read as null: the entry is left out (a null
    // value means the same as no entry, and a reader of the output need
    // not meet a null where a name or array belongs).
    if (repairs_ != repairs_before && value->IsNull()) continue;
    // A key given twice: while repairing the last value stands, as
    // readers take it, and the output holds the key once.
    if (repairing_) {
      if (const int32_t index = dictionary->IndexOfKey(name->Text()); index >= 0) {
        ++repairs_;
        dictionary->PutValueAt(index, std::move(value));
        continue;
      }
    }
    dictionary->Add(std::move(name), std::move(value));
  }
}

// A literal or hex string next (not a dictionary).
bool TgtPDFStreamReader::StringFollows() {
  SkipWhitespace();
  if (!More()) return false;
  const uint8_t c = PeekByte();
  return c == '(' || (c == '<' && !BytesAt(Pos(), "<<"));
}

// The /Contents string of a signature dictionary (one with /ByteRange:
// /Type /Sig and /DocTimeStamp alike) is the one string of an encrypted
// file that is stored unencrypted: it is the signature over the file's
// bytes. Whether a dictionary is one is known only at its end, so every
// /Contents string is read as the file holds it, and decrypted there when
// the dictionary proves not to be a signature (DecryptContentsUnlessSigned).
TgtPDFObjectPtr TgtPDFStreamReader::ReadPlainString() {
  struct Restore {
    TgtPDFStreamReader& reader;
    TgtDecryptor* decryptor;
    ~Restore() { reader.decryptor_ = decryptor; }
  } restore{*this, decryptor_};
  decryptor_ = nullptr;
  return ReadString();
}

void TgtPDFStreamReader::DecryptContentsUnlessSigned(TgtPDFDictObject& dictionary) {
  if (dictionary.IndexOfKey("/ByteRange") >= 0) return;
  for (int32_t i = 0; i < dictionary.Count(); ++i) {
    if (dictionary.KeyAt(i)->Text() != "/Contents") continue;
    const TgtPDFObject* value = dictionary.ValueAt(i);
    if (value == nullptr || !value->IsString()) continue;
    const TgtPDFStringObject& plain = static_cast<const TgtPDFStringObject&>(*value);
    dictionary.PutValueAt(i, StringObject(plain.Value(), plain.IsHex()));
  }
}

// "N G obj" next: the header of another object.
bool TgtPDFStreamReader::HeaderFollows() {
  const int64_t start = Pos();
  if (!More() || !IsNumberStart(PeekByte())) return false;
  const TokenSpan t1 = ScanTokenSpan();
  const TokenSpan t2 = ScanTokenSpan();
  const TokenSpan t3 = ScanTokenSpan();
  std::string s1, s2, s3;
  int32_t number = 0, generation = 0;
  const bool header = IsObjKeyword(SpanText(t3, s3)) && TryHeaderNumber(SpanText(t1, s1), number) &&
                      TryHeaderNumber(SpanText(t2, s2), generation);
  SetPos(start);
  return header;
}

// Where a key should be and something else is: that item is passed over
// (a closing delimiter other than ">" byte by byte), so the entries after
// it are kept. False at the end of the data.
bool TgtPDFStreamReader::SkipDamagedEntry() {
  ++repairs_;
  const int64_t start = Pos();
  TgtPDFObjectPtr skipped;
  try {
    skipped = ReadObject();
  } catch (const ENestingTooDeepError&) {
    throw;
  } catch (const Exception&) {
    skipped.reset();
  }
  if (Pos() <= start) ReadByte();
  return More();
}

}  // namespace pagemint
