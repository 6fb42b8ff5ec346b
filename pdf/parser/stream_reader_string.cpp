// SPDX-License-Identifier: GPL-3.0-or-later
// Literal and hex strings.
//
// Reading happens in two passes. The first finds the end of the string:
// it counts nested delimiters, keeps each backslash together with the byte
// after it (so an escaped parenthesis neither opens nor closes) and drops
// line continuations. The second resolves the escapes of a literal string.
// Because continuations are gone before escapes are resolved, an octal
// escape may run on across one ("\1", backslash-newline, "2" is "\12").
#include "pdf/parser/char_classes.h"
#include "pdf/parser/stream_reader.h"
#include "platform/messages.h"

namespace pagemint {

namespace {

bool IsOctalDigit(char c) { return c >= '0' && c <= '8'; }

// Resolves the escapes of a literal string's raw text in place (the result
// is never longer).
void Unescape(std::string& s) {
  if (s.find('\\') == std::string::npos) return;
  const size_t n = s.size();
  size_t out = 0;
  size_t i = 0;
  while (i < n) {
    const char c = s[i++];
    if (c != '\\' || i == n) {
      s[out++] = c;
      continue;
    }
    const char e = s[i];
    switch (e) {
      case '(':
      case ')':
      case '\\':
        s[out++] = e;
        ++i;
        continue;
      case 'b':
        s[out++] = '\b';
        ++i;
        continue;
      case 'f':
        s[out++] = '\f';
        ++i;
        continue;
      case 'n':
        s[out++] = '\n';
        ++i;
        continue;
      case 'r':
        s[out++] = '\r';
        ++i;
        continue;
      case 't':
        s[out++] = '\t';
        ++i;
        continue;
      default:
        break;
    }
    if (!IsOctalDigit(e)) {
      // Not an escape: the backslash stays and the byte after it is read
      // as an ordinary byte.
      s[out++] = '\\';
      continue;
    }
    // Up to three digits; "8" counts as eight, and only the low byte of
    // the value is kept.
    unsigned value = 0;
    for (int k = 0; k < 3 && i < n && IsOctalDigit(s[i]); ++k)
      value = value * 8 + static_cast<unsigned>(s[i++] - '0');
    s[out++] = static_cast<char>(value & 0xFF);
  }
  s.resize(out);
}

// Pairs of hex digits to bytes; anything else between them is skipped, and
// an odd last digit counts as if followed by 0.
std::string DecodeHexDigits(std::string_view digits) {
  std::string bytes;
  bytes.reserve(digits.size() / 2);
  int high = -1;
  for (const char c : digits) {
    const uint8_t b = static_cast<uint8_t>(c);
    if (!chars::Is(b, chars::kHexDigit)) continue;
    if (high < 0) {
      high = chars::HexValue(b);
    } else {
      bytes += static_cast<char>(high * 16 + chars::HexValue(b));
      high = -1;
    }
  }
  if (high >= 0) bytes += static_cast<char>(high * 16);
  return bytes;
}

}  // namespace

// The first pass: the raw text up to the delimiter that closes the string.
void TgtPDFStreamReader::ReadRawText(uint8_t open, uint8_t close, uint8_t special,
                                     std::string& raw) {
  int64_t depth = 1;
  for (;;) {
    const int64_t start = Pos();
    SkipUntil(special);
    AppendRange(raw, start, Pos());
    if (!More()) throw EUnexpectedEndError(msg::kEndInString);
    const uint8_t c = ReadByte();
    if (c == '\\') {
      if (!More()) throw EUnexpectedEndError(msg::kEndInString);
      const uint8_t next = ReadByte();
      if (next == '\r') {
        if (More() && PeekByte() == '\n') ReadByte();
      } else if (next != '\n') {
        raw += '\\';
        raw += static_cast<char>(next);
      }
    } else if (c == open) {
      ++depth;
      raw += static_cast<char>(c);
    } else if (c == close) {
      if (--depth == 0) return;
      raw += static_cast<char>(c);
    }
  }
}

// A hex string's digits and white space up to its ">". Any other byte is
// damage: while repairing the string ends before it, otherwise it is an
// error (the raw text would be written back as it is).
void TgtPDFStreamReader::ReadHexText(std::string& raw) {
  const int64_t start = Pos();
  SkipClass(chars::kHexDigit | chars::kWhite);
  AppendRange(raw, start, Pos());
  if (!More()) throw EUnexpectedEndError(msg::kEndInString);
  const uint8_t c = PeekByte();
  if (c == '>') {
    ReadByte();
    return;
  }
  if (!repairing_)
    throw EStringReadError(Format(msg::kHexStringDamaged, std::string(1, static_cast<char>(c)).c_str()));
  ++repairs_;
}

TgtPDFObjectPtr TgtPDFStreamReader::ReadString() {
  SkipWhitespace();
  if (!More()) throw EUnexpectedEndError(msg::kEndInString);
  const uint8_t open = ReadByte();
  if (open != '(' && open != '<')
    throw EStringReadError(
        Format(msg::kStringReadError, std::string(1, static_cast<char>(open)).c_str()));
  bool hex = open == '<';
  std::string body;
  if (hex) {
    ReadHexText(body);
  } else {
    ReadRawText('(', ')', chars::kLiteralSpecial, body);
    Unescape(body);
  }
  return StringObject(std::move(body), hex);
}

// A string object from a literal string's bytes or a hex string's digits,
// decrypted when a decryptor is installed.
TgtPDFObjectPtr TgtPDFStreamReader::StringObject(std::string body, bool hex) {
  if (decryptor_ != nullptr && !body.empty()) {
    // Decrypted bytes are no longer hex digits: the string becomes literal.
    if (hex) body = DecodeHexDigits(body);
    hex = false;
    decryptor_->DecryptData(body, current_number_, current_generation_);
  }
  std::string text;
  text.reserve(body.size() + 2);
  text += hex ? '<' : '(';
  text += body;
  text += hex ? '>' : ')';
  return std::make_unique<TgtPDFStringObject>(std::move(text), hex);
}

}  // namespace pagemint
