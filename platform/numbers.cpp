// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/numbers.h"

#include <charconv>
#include <limits>

#include "platform/exception.h"
#include "platform/messages.h"

namespace pagemint {

namespace {

// The index after the leading blanks and an optional sign; negative tells
// whether the sign was '-'.
size_t SkipBlanksAndSign(std::string_view text, bool& negative) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  negative = i < text.size() && text[i] == '-';
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  return i;
}

template <typename T>
bool ParseInteger(std::string_view text, T& value) {
  bool negative = false;
  size_t i = SkipBlanksAndSign(text, negative);
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return false;
  // Accumulate as a negative number so that the minimum value fits.
  using U = std::make_unsigned_t<T>;
  const U limit = negative ? static_cast<U>(std::numeric_limits<T>::max()) + 1
                           : static_cast<U>(std::numeric_limits<T>::max());
  U acc = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    unsigned digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return false;
    }
    if (acc > (limit - digit) / static_cast<U>(base)) return false;
    acc = acc * static_cast<U>(base) + digit;
  }
  value = negative ? static_cast<T>(U(0) - acc) : static_cast<T>(acc);
  return true;
}

}  // namespace

bool TryStrToInt(std::string_view text, int32_t& value) { return ParseInteger(text, value); }
bool TryStrToInt64(std::string_view text, int64_t& value) { return ParseInteger(text, value); }

int32_t StrToInt(std::string_view text) {
  int32_t v = 0;
  if (!TryStrToInt(text, v)) throw EConvertError(Format(msg::kInvalidInteger, std::string(text).c_str()));
  return v;
}

int64_t StrToInt64(std::string_view text) {
  int64_t v = 0;
  if (!TryStrToInt64(text, v))
    throw EConvertError(Format(msg::kInvalidInteger, std::string(text).c_str()));
  return v;
}

bool TryStrToFloat(std::string_view text, double& value) {
  bool negative = false;
  size_t i = SkipBlanksAndSign(text, negative);
  // from_chars takes no sign of its own here and no leading "+".
  // Only digits or a point may start the number: no "inf" or "nan".
  if (i >= text.size() || !((text[i] >= '0' && text[i] <= '9') || text[i] == '.')) return false;
  const char* first = text.data() + i;
  const char* last = text.data() + text.size();
  double v = 0;
  const auto r = std::from_chars(first, last, v, std::chars_format::general);
  if (r.ec != std::errc() || r.ptr != last) return false;
  value = negative ? -v : v;
  return true;
}

std::string IntToStr(int64_t value) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, r.ptr);
}

}  // namespace pagemint
