// SPDX-License-Identifier: GPL-3.0-or-later
// A PNG file checked before it is given to Qt's reader (libpng
// underneath). That reader allocates what a chunk claims before reading
// its data: a text chunk of a 272-byte file claiming 2 GB cost 2 GB.
#pragma once

#include <string>
#include <string_view>

namespace pagemint {

// Why png cannot be given to the reader (a chunk claims more bytes than
// the file holds), or empty. Bytes that are no PNG file pass.
std::string PngChunkTrouble(std::string_view png);

}  // namespace pagemint
