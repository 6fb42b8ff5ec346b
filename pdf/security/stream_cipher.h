// SPDX-License-Identifier: GPL-3.0-or-later
// One string's or one stream's cipher, fed in pieces: for copying stream
// data in chunks from the source to the output, decrypting and encrypting
// on the way. RC4 simply continues its key stream; AES-CBC takes the IV
// from the head of the data (decrypting) or writes it first (encrypting),
// and Final deals with the padding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pdf/objects/stream_source.h"

namespace pagemint {


// key: the object's RC4 key (1 to 16 bytes).
std::unique_ptr<TgtStreamCipher> MakeRc4StreamCipher(std::string_view key);
// key: 16 or 32 bytes; iv: 16 bytes, used when encrypting.
std::unique_ptr<TgtStreamCipher> MakeAesStreamCipher(std::string_view key, bool encrypt,
                                                     std::string_view iv = {});

}  // namespace pagemint
