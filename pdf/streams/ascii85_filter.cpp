// SPDX-License-Identifier: GPL-3.0-or-later
// ASCII85: groups of five base-85 digits ("!" to "u") for four bytes, "z"
// for four zero bytes at the start of a group, white space (space, LF, CR,
// tab) ignored, "~>" at the end. A final group of k digits (2 to 4) gives
// k - 1 bytes, as if completed with "u" digits.
//
// A group whose value passes 2^32 - 1 (only "s8W-\"" and above, which no
// encoder writes) keeps the low 32 bits of its value.

#include "pdf/streams/filters.h"
#include "platform/messages.h"

namespace pagemint {

namespace {

void AppendBigEndian(std::string& out, uint64_t value, int count) {
  const auto v = static_cast<uint32_t>(value);
  for (int i = 0; i < count; ++i) out.push_back(static_cast<char>(v >> (24 - 8 * i)));
}

bool IsSkipped(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

}  // namespace

std::string TgtAscii85Filter::DecodeString(std::string_view data) {
  if (data.empty()) return {};
  if (data.size() < 2 || data.substr(data.size() - 2) != "~>")
    throw Exception(msg::kEndOfDataMarkerWrong);
  data.remove_suffix(2);
  std::string out;
  out.reserve(data.size() / 5 * 4 + 4);
  uint64_t value = 0;
  int digits = 0;
  for (const char c : data) {
    if (c >= '!' && c <= 'u') {
      value = value * 85 + static_cast<uint64_t>(c - '!');
      if (++digits == 5) {
        AppendBigEndian(out, value, 4);
        value = 0;
        digits = 0;
      }
    } else if (c == 'z') {
      if (digits != 0) throw Exception(msg::kMisplacedZ);
      out.append(4, '\0');
    } else if (!IsSkipped(c)) {
      throw Exception(msg::kIllegalCharacter);
    }
  }
  if (digits == 1) throw Exception(msg::kSingleFinalCharacter);
  if (digits > 1) {
    for (int i = digits; i < 5; ++i) value = value * 85 + 84;
    AppendBigEndian(out, value, digits - 1);
  }
  return out;
}

std::string TgtAscii85Filter::EncodeString(std::string_view data) {
  std::string out;
  out.reserve(data.size() / 4 * 5 + 7);
  const auto* p = reinterpret_cast<const uint8_t*>(data.data());
  const size_t n = data.size();
  auto put_group = [&out](uint32_t v, int count) {
    char digits[5];
    for (int i = 4; i >= 0; --i) {
      digits[i] = static_cast<char>('!' + v % 85);
      v /= 85;
    }
    out.append(digits, static_cast<size_t>(count));
  };
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const uint32_t v =
        uint32_t{p[i]} << 24 | uint32_t{p[i + 1]} << 16 | uint32_t{p[i + 2]} << 8 | p[i + 3];
    if (v == 0)
      out.push_back('z');
    else
      put_group(v, 5);
  }
  if (const size_t k = n - i; k > 0) {
    uint32_t v = 0;
    for (size_t j = 0; j < 4; ++j) v = v << 8 | (j < k ? p[i + j] : 0u);
    put_group(v, static_cast<int>(k) + 1);
  }
  out += "~>";
  return out;
}

std::unique_ptr<TMemoryStream> TgtAscii85Filter::DecodeStream(TStream& source) {
  std::string holder;
  return ToStream(DecodeString(SourceBytes(source, holder)));
}

std::unique_ptr<TMemoryStream> TgtAscii85Filter::EncodeStream(TStream& source) {
  std::string holder;
  return ToStream(EncodeString(SourceBytes(source, holder)));
}

}  // namespace pagemint
