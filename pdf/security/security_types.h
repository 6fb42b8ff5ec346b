// SPDX-License-Identifier: GPL-3.0-or-later
// Types shared by the reading and the writing side of the standard
// security handler: key levels, the user permission set, the exceptions.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/exception.h"

namespace pagemint {

// A /P value that is missing or not an integer.
PAGEMINT_EXCEPTION(EInvalidPermission, Exception);
// An encryption dictionary that asks for something this handler cannot do
// (another security handler, algorithm, revision or key length).
PAGEMINT_EXCEPTION(EUnsupportedEncryption, Exception);

enum TgtPDFEncryptionLevel : uint8_t {
  el40bit,
  el128bit,
};

// Key length in bytes: 5 or 16.
constexpr size_t KeyLengthOf(TgtPDFEncryptionLevel level) { return level == el40bit ? 5 : 16; }

// What a file is encrypted with, as --info names it. The level above is
// the settings' key length for RC4; AES-128 and AES-256 files show as
// el128bit there (their permissions are the 128-bit set).
enum class TgtPDFCipher : uint8_t {
  None,
  Rc4_40,
  Rc4_128,
  Aes128,
  Aes256,
};

// "none", "rc4-40", "rc4-128", "aes-128", "aes-256".
const char* CipherName(TgtPDFCipher cipher);

enum TgtUserPermissionsType : uint8_t {
  AllowCopy,
  AllowModify,
  AllowPrint,
  AllowAnnotation,
  AllowFormFill,
  AllowAccessibility,
  AllowDocAssembly,
  AllowHighResPrint,
};

inline constexpr int kPermissionCount = 8;

// The /P value (bit set when granted) of each permission, in the order of
// TgtUserPermissionsType.
inline constexpr int32_t kPermissionPBits[kPermissionCount] = {16, 8, 4, 32, 256, 512, 1024, 2048};

// True for the four permissions that only 128-bit keys carry.
constexpr bool IsHighLevelPermission(TgtUserPermissionsType p) { return p >= AllowFormFill; }

// A set of TgtUserPermissionsType, one bit each, bit 0 first.
class TgtUserPermissions {
 public:
  constexpr TgtUserPermissions() = default;
  static constexpr TgtUserPermissions All() { return FromBits(0xFF); }
  static constexpr TgtUserPermissions None() { return FromBits(0); }
  static constexpr TgtUserPermissions FromBits(uint8_t bits) {
    TgtUserPermissions set;
    set.bits_ = bits;
    return set;
  }

  constexpr bool Has(TgtUserPermissionsType p) const { return (bits_ >> p) & 1U; }
  constexpr void Include(TgtUserPermissionsType p) {
    bits_ = static_cast<uint8_t>(bits_ | (1U << p));
  }
  constexpr void Exclude(TgtUserPermissionsType p) {
    bits_ = static_cast<uint8_t>(bits_ & ~(1U << p));
  }
  constexpr uint8_t Bits() const { return bits_; }
  constexpr bool operator==(const TgtUserPermissions&) const = default;

 private:
  uint8_t bits_ = 0;
};

// The permissions that a /P value grants: the four basic ones always, the
// four others only at el128bit.
TgtUserPermissions PermissionsFromP(int64_t p, TgtPDFEncryptionLevel level);

}  // namespace pagemint
