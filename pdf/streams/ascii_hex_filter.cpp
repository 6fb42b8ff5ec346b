// SPDX-License-Identifier: GPL-3.0-or-later
// ASCIIHex: pairs of hexadecimal digits (either case) up to ">", white
// space (space, LF, CR, tab) ignored between them; an odd last digit is
// the high half of a final byte.
#include <array>

#include "pdf/streams/filters.h"
#include "platform/messages.h"

namespace pagemint {

namespace {

constexpr uint8_t kSkip = 0xFE;  // white space
constexpr uint8_t kBad = 0xFF;   // anything else that is not a digit

constexpr std::array<uint8_t, 256> MakeHexTable() {
  std::array<uint8_t, 256> t{};
  for (auto& v : t) v = kBad;
  for (int c = '0'; c <= '9'; ++c) t[c] = static_cast<uint8_t>(c - '0');
  for (int c = 'A'; c <= 'F'; ++c) t[c] = t[c + 32] = static_cast<uint8_t>(c - 'A' + 10);
  t[' '] = t['\n'] = t['\r'] = t['\t'] = kSkip;
  return t;
}
constexpr std::array<uint8_t, 256> kHexValue = MakeHexTable();

constexpr char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

std::string TgtAsciiHexFilter::DecodeString(std::string_view data) {
  if (data.empty()) return {};
  if (data.back() != '>') throw Exception(msg::kEndOfDataMarkerWrong);
  std::string out;
  out.reserve(data.size() / 2 + 1);
  int high = -1;
  for (const char c : data) {
    if (c == '>') break;
    const uint8_t v = kHexValue[static_cast<uint8_t>(c)];
    if (v == kSkip) continue;
    if (v == kBad) throw Exception(msg::kIllegalCharacter);
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<char>(high << 4 | v));
      high = -1;
    }
  }
  if (high >= 0) out.push_back(static_cast<char>(high << 4));
  return out;
}

std::string TgtAsciiHexFilter::EncodeString(std::string_view data) {
  std::string out(data.size() * 2 + 1, '>');
  size_t o = 0;
  for (const char c : data) {
    const auto b = static_cast<uint8_t>(c);
    out[o++] = kHexDigits[b >> 4];
    out[o++] = kHexDigits[b & 15];
  }
  return out;
}

std::unique_ptr<TMemoryStream> TgtAsciiHexFilter::DecodeStream(TStream& source) {
  std::string holder;
  return ToStream(DecodeString(SourceBytes(source, holder)));
}

std::unique_ptr<TMemoryStream> TgtAsciiHexFilter::EncodeStream(TStream& source) {
  std::string holder;
  return ToStream(EncodeString(SourceBytes(source, holder)));
}

}  // namespace pagemint
