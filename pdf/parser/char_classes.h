// SPDX-License-Identifier: GPL-3.0-or-later
// The byte classes of PDF syntax, as 256-entry tables. Our own tables, not
// <cctype>: those answers depend on the process locale.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace pagemint::chars {

enum : uint8_t {
  kWhite = 1,            // skipped between items: 0, tab, LF, form feed, CR, space
  kTokenStop = 2,        // ends a token: white space and ( ) / < > [ ]
  kNameStop = 4,         // ends a name: as kTokenStop
  kEol = 8,              // ends a comment: CR, LF
  kLiteralSpecial = 16,  // needs attention inside a literal string: ( ) backslash
  kHexSpecial = 32,      // needs attention inside a hex string: < > backslash
  kSpaceTab = 64,        // skipped after the "stream" keyword: space, tab
  kHexDigit = 128,
};

inline constexpr std::array<uint8_t, 256> kClass = [] {
  std::array<uint8_t, 256> t{};
  auto add = [&t](std::string_view bytes, uint8_t bit) {
    for (const char c : bytes) t[static_cast<uint8_t>(c)] |= bit;
  };
  // Byte 0 is white space like the others: "/DeviceRGB<0>255" is a name
  // and a number, not one name.
  const std::string_view white("\0\t\n\f\r ", 6);
  const std::string_view delimiters = "()/<>[]";
  add(white, kWhite);
  add(white, kTokenStop);
  add(delimiters, kTokenStop);
  add(white, kNameStop);
  add(delimiters, kNameStop);
  add("\r\n", kEol);
  add("()\\", kLiteralSpecial);
  add("<>\\", kHexSpecial);
  add("\t ", kSpaceTab);
  add("0123456789ABCDEFabcdef", kHexDigit);
  return t;
}();

inline bool Is(uint8_t byte, uint8_t mask) { return (kClass[byte] & mask) != 0; }

// The value of a hex digit (the caller has checked kHexDigit).
inline int HexValue(uint8_t byte) { return byte <= '9' ? byte - '0' : (byte | 0x20) - 'a' + 10; }

}  // namespace pagemint::chars
