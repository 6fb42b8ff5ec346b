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

}  // namespace pagemint
