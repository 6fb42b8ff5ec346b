// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/security/sha2.h"

#include <openssl/evp.h>

#include <memory>

#include "platform/exception.h"
#include "platform/messages.h"

namespace pagemint {
namespace {

struct DigestContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

const EVP_MD* Algorithm(TgtShaKind kind) {
  switch (kind) {
    case TgtShaKind::Sha256:
      return EVP_sha256();
    case TgtShaKind::Sha384:
      return EVP_sha384();
    case TgtShaKind::Sha512:
      return EVP_sha512();
  }
  return EVP_sha256();
}

}  // namespace

std::string ShaDigest(TgtShaKind kind, std::string_view a, std::string_view b, std::string_view c) {
  std::unique_ptr<EVP_MD_CTX, DigestContextFree> context(EVP_MD_CTX_new());
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (!context || EVP_DigestInit_ex(context.get(), Algorithm(kind), nullptr) != 1 ||
      EVP_DigestUpdate(context.get(), a.data(), a.size()) != 1 ||
      EVP_DigestUpdate(context.get(), b.data(), b.size()) != 1 ||
      EVP_DigestUpdate(context.get(), c.data(), c.size()) != 1 ||
      EVP_DigestFinal_ex(context.get(), digest, &size) != 1)
    throw Exception(Format(msg::kCryptoFailure, "SHA-2"));
  return std::string(reinterpret_cast<const char*>(digest), size);
}

}  // namespace pagemint
