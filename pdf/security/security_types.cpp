// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/security/security_types.h"

namespace pagemint {

TgtUserPermissions PermissionsFromP(int64_t p, TgtPDFEncryptionLevel level) {
  TgtUserPermissions set;
  for (int i = 0; i < kPermissionCount; ++i) {
    const auto permission = static_cast<TgtUserPermissionsType>(i);
    if (IsHighLevelPermission(permission) && level != el128bit) continue;
    if (p & kPermissionPBits[i]) set.Include(permission);
  }
  return set;
}

const char* CipherName(TgtPDFCipher cipher) {
  switch (cipher) {
    case TgtPDFCipher::None:
      return "none";
    case TgtPDFCipher::Rc4_40:
      return "rc4-40";
    case TgtPDFCipher::Rc4_128:
      return "rc4-128";
    case TgtPDFCipher::Aes128:
      return "aes-128";
    case TgtPDFCipher::Aes256:
      return "aes-256";
  }
  return "none";
}

}  // namespace pagemint
