// SPDX-License-Identifier: GPL-3.0-or-later
// Writing a file so that readers never see it half written: the content
// goes to a new temporary file beside the target, which is renamed over
// the target only once it is complete. A failure leaves no partial file
// and an earlier file of that name as it was.
#pragma once

#include <functional>
#include <string>

#include "platform/stream.h"

namespace pagemint {

// Runs write on a new temporary file in the target's folder, closes it
// (raising on a full disk) and renames it over target_name. A symbolic
// link is followed, so the file it points to is replaced rather than the
// link; an existing file keeps its permissions. On any failure the
// temporary file is removed and the exception passed on; a file error
// names target_name, never the temporary file.
void ReplaceFile(const std::string& target_name, const std::function<void(TStream&)>& write);

}  // namespace pagemint
