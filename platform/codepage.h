// SPDX-License-Identifier: GPL-3.0-or-later
// The ANSI code page, fixed as Windows-1252, and UTF-8 for the terminal
// and the window. A character Windows-1252 cannot hold becomes "?".
#pragma once

#include <string>
#include <string_view>

namespace pagemint {

std::u16string AnsiToUnicode(std::string_view ansi);
std::string UnicodeToAnsi(std::u16string_view text);

std::u16string Utf8ToUnicode(std::string_view utf8);
std::string UnicodeToUtf8(std::u16string_view text);

inline std::string Utf8ToAnsi(std::string_view utf8) { return UnicodeToAnsi(Utf8ToUnicode(utf8)); }
inline std::string AnsiToUtf8(std::string_view ansi) { return UnicodeToUtf8(AnsiToUnicode(ansi)); }

// ASCII-only case mapping: the process locale is never consulted.
std::string LowerCase(std::string_view text);
std::string UpperCase(std::string_view text);

}  // namespace pagemint
