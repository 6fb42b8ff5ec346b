// SPDX-License-Identifier: GPL-3.0-or-later
// Numbers to and from text, locale-independent: "." is always the decimal
// separator and the process locale is never read or changed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pagemint {

// Decimal integers: optional leading spaces, an optional sign, digits
// ("007" is 7). A leading "$" or "0x" reads hexadecimal digits, as the
// platform's conversion does. False when the text is not such a number or
// the value does not fit.
bool TryStrToInt(std::string_view text, int32_t& value);
bool TryStrToInt64(std::string_view text, int64_t& value);

// Raise EConvertError "'%s' is not a valid integer value" on failure.
int32_t StrToInt(std::string_view text);
int64_t StrToInt64(std::string_view text);

// Decimal reals such as "3.25", ".5", "-.5", "5.", "1e3".
bool TryStrToFloat(std::string_view text, double& value);

std::string IntToStr(int64_t value);

}  // namespace pagemint
