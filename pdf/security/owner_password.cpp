// SPDX-License-Identifier: GPL-3.0-or-later
#include <ctime>

#include "pdf/security/pdf_decrypt.h"
#include "platform/messages.h"

namespace pagemint {

// The random part runs from 0 to 2^31 - 2, the range of the classic
// platform generator that such passwords were made with.
constexpr uint32_t kOwnerPasswordRandomRange = 2147483647U;

std::string MakeOwnerPassword(int64_t unix_time, uint32_t random) {
  const auto seconds = static_cast<std::time_t>(unix_time);
  std::tm local{};
  localtime_r(&seconds, &local);
  return Format("Pagemint%04d%02d%02d%02d%02d%02d%u", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                random % kOwnerPasswordRandomRange);
}

}  // namespace pagemint
