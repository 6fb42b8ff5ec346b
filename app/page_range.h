// SPDX-License-Identifier: GPL-3.0-or-later
// Page ranges as a user types them: "1-5,8,10-" (a missing end is the
// last page, a missing start the first). Pages count from 1.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

namespace pagemint {

// The pages of text in ascending order, each once, for a document of
// page_count pages. False with error set when a part is not a number or a
// range, or names a page outside 1 to page_count; pages is then empty.
bool ParsePageRange(const QString& text, int32_t page_count, std::vector<int32_t>& pages,
                    QString& error);

}  // namespace pagemint
