// SPDX-License-Identifier: GPL-3.0-or-later
// SHA-256, SHA-384 and SHA-512 through OpenSSL's EVP digest interface, for
// the AES-256 password hashes of the standard security handler.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pagemint {

enum class TgtShaKind : uint8_t { Sha256, Sha384, Sha512 };

// The digest size in bytes: 32, 48 or 64.
constexpr size_t ShaDigestSize(TgtShaKind kind) {
  return kind == TgtShaKind::Sha256 ? 32 : kind == TgtShaKind::Sha384 ? 48 : 64;
}

// The digest of the concatenation of up to three byte strings.
std::string ShaDigest(TgtShaKind kind, std::string_view a, std::string_view b = {},
                      std::string_view c = {});

}  // namespace pagemint
