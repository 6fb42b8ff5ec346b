// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/objects/object_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "platform/messages.h"

namespace pagemint {

namespace {

constexpr std::string_view kCrLf = "\r\n";

// Reals are written in plain decimal notation (PDF has no exponent form),
// so the magnitudes written are bounded: beyond the largest 32-bit float a
// real is written as that float, the limit that readers holding reals in
// 32 bits (and the PDF 1.x implementation limits) stop at; closer to zero
// than the smallest normal 32-bit float it is written as 0, as those readers
// read it. The longest text is then 57 characters.
constexpr double kMaxRealMagnitude = 3.4028234663852886e38;
constexpr double kMinRealMagnitude = 1.1754943508222875e-38;

// Escape letter for each byte of a literal string, 0 for bytes copied as
// they are. A tab is escaped rather than expanded to spaces: spaces would
// change the string's bytes.
constexpr std::array<char, 256> MakeEscapeTable() {
  std::array<char, 256> table{};
  table['\b'] = 'b';
  table['\t'] = 't';
  table['\n'] = 'n';
  table['\f'] = 'f';
  table['\r'] = 'r';
  table['('] = '(';
  table[')'] = ')';
  table['\\'] = '\\';
  return table;
}
constexpr std::array<char, 256> kEscape = MakeEscapeTable();

template <typename Int>
void AppendInteger(std::string& out, Int value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
  out.append(buffer, result.ptr);
}

bool IsHexDigitByte(uint8_t c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// A byte a name cannot hold as it is: white space and other bytes outside
// "!".."~", the delimiters, and a "#" that does not start an escape.
bool NeedsNameEscape(std::string_view text, size_t i) {
  const uint8_t c = static_cast<uint8_t>(text[i]);
  if (c < 0x21 || c > 0x7E) return true;
  switch (c) {
    case '(': case ')': case '<': case '>': case '[': case ']': case '{': case '}':
    case '/': case '%':
      return true;
    case '#':
      return i + 2 >= text.size() ||
             !IsHexDigitByte(static_cast<uint8_t>(text[i + 1])) ||
             !IsHexDigitByte(static_cast<uint8_t>(text[i + 2]));
    default:
      return false;
  }
}

void AppendHexUpper(std::string& out, std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const size_t start = out.size();
  out.resize(start + bytes.size() * 2);
  char* p = out.data() + start;
  for (unsigned char b : bytes) {
    *p++ = kHex[b >> 4];
    *p++ = kHex[b & 0xF];
  }
}

// Walks one object tree, appending its text. number is the new number the
// strings and stream data are encrypted for (kNoEncryption: none).
class TextBuilder {
 public:
  TextBuilder(std::string& out, const TgtTextContext* context, int32_t number)
      : out_(out), context_(context), number_(number) {
    encrypt_ = context_ && number_ != kNoEncryption && context_->Encrypts(number_);
  }

  void Object(const TgtPDFObject& object) {
    if (++depth_ > kMaxTextNesting) {
      throw EObjectNestingError(Format(msg::kObjectNestingTooDeep, kMaxTextNesting));
    }
    Dispatch(object);
    --depth_;
  }

  void Frame(int32_t number, const TgtPDFObject* content) {
    out_.append(kCrLf);
    AppendInteger(out_, number);
    out_.append(" 0 obj");
    out_.append(kCrLf);
    Value(content);
    out_.append(kCrLf);
    out_.append("endobj");
    out_.append(kCrLf);
  }

  // A value inside a container: a missing one is written "null", so the
  // container's text stays valid PDF.
  void Value(const TgtPDFObject* object) {
    if (object) {
      Object(*object);
    } else {
      out_.append("null");
    }
  }

 private:
  void Dispatch(const TgtPDFObject& object) {
    switch (object.Tag()) {
      case otBoolean:
        out_.append(object.AsBoolean().Value() ? "true" : "false");
        return;
      case otInteger:
        AppendInteger(out_, object.AsInteger().Value());
        return;
      case otInt64:
        AppendInteger(out_, object.AsInt64().Value());
        return;
      case otReal:
        AppendReal(out_, object.AsReal().Value());
        return;
      case otString:
        String(object.AsString());
        return;
      case otName:
        AppendName(out_, object.AsName().Text());
        return;
      case otArray:
        Array(object.AsArray());
        return;
      case otDictionary:
        Dictionary(object.AsDictionary());
        return;
      case otStream:
        Stream(object.AsStream());
        return;
      case otNull:
        out_.append("null");
        return;
      case otReference:
        Reference(object.AsReference());
        return;
      case otIndirect:
        Indirect(object.AsIndirect());
        return;
      default:
        return;
    }
  }

  void String(const TgtPDFStringObject& string) {
    if (encrypt_) {
      // The string's own bytes are encrypted, not a text conversion of
      // them, which would lose what the code page cannot hold.
      std::string bytes = string.Bytes();
      if (!bytes.empty()) context_->EncryptTail(number_, bytes, 0, nullptr);
      out_.push_back('<');
      AppendHexUpper(out_, bytes);
      out_.push_back('>');
      return;
    }
    if (string.IsHex()) {
      out_.append(string.Text());
      return;
    }
    const std::string& text = string.Text();
    out_.push_back('(');
    if (text.size() >= 2)
      AppendEscapedLiteral(out_, std::string_view(text).substr(1, text.size() - 2));
    out_.push_back(')');
  }

  void Array(const TgtPDFArrayObject& array) {
    out_.append("[ ");
    for (int32_t i = 0; i < array.Count(); ++i) {
      Value(array.ItemAt(i));
      out_.push_back(' ');
    }
    out_.push_back(']');
  }

  void Dictionary(const TgtPDFDictObject& dictionary) {
    const int32_t parent = PageParent(dictionary);
    out_.append("<<");
    out_.append(kCrLf);
    for (int32_t i = 0; i < dictionary.Count(); ++i) {
      const std::string& key = dictionary.KeyAt(i)->Text();
      if (parent > 0 && key == "/Parent") continue;
      AppendName(out_, key);
      out_.push_back(' ');
      if (encrypt_ && key == "/Contents" && IsSignatureContents(dictionary, i)) {
        // Left unencrypted, as readers of an encrypted file expect it.
        encrypt_ = false;
        Value(dictionary.ValueAt(i));
        encrypt_ = true;
      } else {
        Value(dictionary.ValueAt(i));
      }
      out_.append(kCrLf);
    }
    if (parent > 0) {
      out_.append("/Parent ");
      AppendInteger(out_, parent);
      out_.append(" 0 R");
      out_.append(kCrLf);
    }
    out_.append(">>");
  }

  // Whether entry index (a /Contents) is a signature dictionary's: a
  // string in a dictionary with /ByteRange (/Type /Sig or /DocTimeStamp).
  // That string is the signature over the file's bytes and is never
  // encrypted.
  static bool IsSignatureContents(const TgtPDFDictObject& dictionary, int32_t index) {
    const TgtPDFObject* value = dictionary.ValueAt(index);
    return value && value->IsString() && dictionary.IndexOfKey("/ByteRange") >= 0;
  }

  // The page-tree root's number when dictionary is a page and the context
  // knows the root, 0 otherwise.
  int32_t PageParent(const TgtPDFDictObject& dictionary) const {
    if (!context_) return 0;
    const TgtPDFObject* type = dictionary.Lookup("/Type");
    if (!type || !type->IsName() || type->AsName().Text() != "/Page") return 0;
    return context_->PageTreeRoot();
  }

  void Stream(const TgtPDFStreamObject& stream) {
    std::string encoded;
    std::unique_ptr<TgtPDFDictObject> encoded_dictionary;
    const bool replaced = context_ && context_->EncodeStream(stream, encoded, encoded_dictionary);
    const TMemoryStream* data = replaced ? nullptr : stream.Data();
    const size_t plain_size = data ? data->Bytes().size() : 0;
    std::unique_ptr<TgtPDFDictObject> own_dictionary;
    if (context_ && !replaced) {
      // The /Length written states the size after encryption.
      const size_t size = encrypt_ && plain_size > 0
                              ? context_->EncryptedSize(number_, plain_size, &stream.Dictionary())
                              : plain_size;
      own_dictionary = context_->StreamDictionary(stream, size);
    }
    const TgtPDFDictObject& written =
        replaced && encoded_dictionary ? *encoded_dictionary
        : own_dictionary               ? *own_dictionary
                                       : stream.Dictionary();
    Dictionary(written);
    out_.append(kCrLf);
    out_.append("stream");
    out_.append(kCrLf);
    const size_t data_start = out_.size();
    if (replaced) {
      out_.append(encoded);
    } else if (data) {
      out_.append(data->Bytes());
    }
    if (encrypt_ && out_.size() > data_start) context_->EncryptTail(number_, out_, data_start, &written);
    out_.append(kCrLf);
    out_.append("endstream");
  }

  void Reference(const TgtPDFIndirectReference& reference) {
    const int32_t target = context_ ? context_->TargetNumber(reference) : reference.Number();
    if (target <= 0) {
      out_.append("null");
      return;
    }
    AppendInteger(out_, target);
    const int32_t generation = context_ ? context_->TargetGeneration(reference) : 0;
    if (generation == 0) {
      out_.append(" 0 R");
      return;
    }
    out_.push_back(' ');
    AppendInteger(out_, generation);
    out_.append(" R");
  }

  // An indirect object's content is encrypted for its own number.
  void Indirect(const TgtPDFIndirectObject& indirect) {
    TextBuilder inner(out_, context_, indirect.Number());
    inner.depth_ = depth_;
    inner.Frame(indirect.Number(), indirect.Content());
  }

  std::string& out_;
  const TgtTextContext* context_;
  int32_t number_;
  bool encrypt_ = false;
  int depth_ = 0;
};

}  // namespace

// A name (its text starts with the slash) as valid syntax: bytes that a
// damaged or careless source left raw are written as "#xx" escapes, which
// stand for the same name; a zero byte, which no name can hold, is left
// out. A name object whose text has no slash is raw text that the engine
// writes verbatim.
void AppendName(std::string& out, std::string_view text) {
  if (text.empty() || text[0] != '/') {
    out.append(text);
    return;
  }
  size_t i = 1;
  while (i < text.size() && !NeedsNameEscape(text, i)) ++i;
  if (i == text.size()) {
    out.append(text);
    return;
  }
  out.append(text.substr(0, i));
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (; i < text.size(); ++i) {
    if (!NeedsNameEscape(text, i)) {
      out.push_back(text[i]);
      continue;
    }
    const uint8_t c = static_cast<uint8_t>(text[i]);
    if (c == 0) continue;
    out.push_back('#');
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 15]);
  }
}

void AppendObjectText(std::string& out, const TgtPDFObject* object, const TgtTextContext* context,
                      int32_t number) {
  if (!object) return;
  TextBuilder(out, context, number).Object(*object);
}

void AppendIndirectObjectText(std::string& out, int32_t number, const TgtPDFObject* content,
                              const TgtTextContext* context) {
  TextBuilder(out, context, number).Frame(number, content);
}

std::string ObjectText(const TgtPDFObject* object, const TgtTextContext* context, int32_t number) {
  std::string out;
  AppendObjectText(out, object, context, number);
  return out;
}

void AppendReal(std::string& out, double value) {
  // NaN has no PDF form; zero keeps the file readable.
  if (std::isnan(value)) value = 0.0;
  value = std::clamp(value, -kMaxRealMagnitude, kMaxRealMagnitude);
  // Also drops the sign of a negative zero.
  if (std::fabs(value) < kMinRealMagnitude) value = 0.0;
  // The shortest digits that read back as the same double (scientific
  // form: ["-"] d ["." ddd] "e" ("+"|"-") exponent), spelt out in plain
  // notation: a real read from a file is written with the value it had
  // (.00048828125 stays 0.00048828125), and 1e30 is a 1 and 30 zeros.
  char buffer[40];
  const auto result =
      std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::scientific);
  const std::string_view text(buffer, static_cast<size_t>(result.ptr - buffer));
  const size_t e = text.find('e');
  int exponent = 0;
  std::from_chars(text.data() + e + 1 + (text[e + 1] == '+' ? 1 : 0), text.data() + text.size(),
                  exponent);
  std::string_view mantissa = text.substr(0, e);
  if (mantissa.front() == '-') {
    out.push_back('-');
    mantissa.remove_prefix(1);
  }
  char digits[20];  // at most 17 significant digits
  size_t count = 0;
  for (const char c : mantissa)
    if (c != '.') digits[count++] = c;
  if (exponent < 0) {
    out.append("0.");
    out.append(static_cast<size_t>(-exponent - 1), '0');
    out.append(digits, count);
    return;
  }
  const size_t integer_digits = static_cast<size_t>(exponent) + 1;
  if (count <= integer_digits) {
    out.append(digits, count);
    out.append(integer_digits - count, '0');
    out.append(".0");
    return;
  }
  out.append(digits, integer_digits);
  out.push_back('.');
  out.append(digits + integer_digits, count - integer_digits);
}

std::string FormatReal(double value) {
  std::string out;
  AppendReal(out, value);
  return out;
}

void AppendEscapedLiteral(std::string& out, std::string_view bytes) {
  size_t run_start = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char escape = kEscape[static_cast<unsigned char>(bytes[i])];
    if (escape == 0) continue;
    out.append(bytes.data() + run_start, i - run_start);
    out.push_back('\\');
    out.push_back(escape);
    run_start = i + 1;
  }
  out.append(bytes.data() + run_start, bytes.size() - run_start);
}

std::string EscapeLiteralString(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8 + 2);
  AppendEscapedLiteral(out, bytes);
  return out;
}

}  // namespace pagemint
