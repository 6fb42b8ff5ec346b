// SPDX-License-Identifier: GPL-3.0-or-later
// The AES-256 password hashes of the standard security handler: revision 5
// takes one SHA-256 of password, salt and user key; revision 6 iterates
// AES-128 and SHA-256/384/512 at least 64 rounds (ISO 32000-2, 7.6.4.3.4).
// Passwords are UTF-8 here, cut to 127 bytes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pagemint {

// The longest password the hash takes, in bytes.
inline constexpr size_t kMaxUtf8PasswordSize = 127;

// 32 bytes. udata is the 48-byte /U value when checking an owner password
// and empty otherwise.
std::string HashPasswordR6(int revision, std::string_view password, std::string_view salt,
                           std::string_view udata);

// The UTF-8 forms worth trying for a password the engine holds as
// Windows-1252 bytes (the window and the command line convert what the
// user typed to that code page): the conversion back to UTF-8 first, then
// the bytes as given when they differ (text that was UTF-8 already). Each
// goes through a small stand-in for SASLprep: spaces of other kinds become
// U+0020 and characters mapped to nothing are dropped; the full profile's
// normalisation is not applied (ASCII needs none). Each is cut to 127 bytes.
std::vector<std::string> Utf8PasswordCandidates(std::string_view password);

}  // namespace pagemint
