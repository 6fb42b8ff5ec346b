// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/security/base_crypt.h"

#include <algorithm>

#include "pdf/security/md5.h"
#include "pdf/security/rc4.h"

namespace pagemint {

const TgtPDFKey32 kPasswordPadding = {
    0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E, 0x56, 0xFF, 0xFA, 0x01, 0x08,
    0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68, 0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};

TgtPDFKey32 TgtBasePDFCrypt::PadPassword(std::string_view password) {
  TgtPDFKey32 padded;
  const size_t used = std::min(password.size(), padded.size());
  std::copy_n(reinterpret_cast<const uint8_t*>(password.data()), used, padded.begin());
  std::copy_n(kPasswordPadding.begin(), padded.size() - used, padded.begin() + used);
  return padded;
}

std::string TgtBasePDFCrypt::ObjectKey(TgtCryptMethod method, const uint8_t* key, size_t key_length,
                                       int32_t number, int32_t generation) {
  if (method == TgtCryptMethod::None) return {};
  if (method == TgtCryptMethod::AesV3)
    return std::string(reinterpret_cast<const char*>(key), key_length);
  key_length = std::min<size_t>(key_length, 16);
  uint8_t input[16 + 5 + 4];
  std::copy_n(key, key_length, input);
  const auto n = static_cast<uint32_t>(number);
  const auto g = static_cast<uint32_t>(generation);
  uint8_t* tail = input + key_length;
  tail[0] = static_cast<uint8_t>(n);
  tail[1] = static_cast<uint8_t>(n >> 8);
  tail[2] = static_cast<uint8_t>(n >> 16);
  tail[3] = static_cast<uint8_t>(g);
  tail[4] = static_cast<uint8_t>(g >> 8);
  size_t size = key_length + 5;
  if (method == TgtCryptMethod::AesV2) {
    std::copy_n("sAlT", 4, input + size);
    size += 4;
  }
  const TMD5Digest digest = TMD5::Digest(input, size);
  return std::string(reinterpret_cast<const char*>(digest.data()),
                     std::min<size_t>(key_length + 5, digest.size()));
}

std::array<uint8_t, 16> TgtBasePDFCrypt::Strengthen(std::array<uint8_t, 16> digest,
                                                    size_t key_length) {
  for (int round = 0; round < 50; ++round) digest = TMD5::Digest(digest.data(), key_length);
  return digest;
}

void TgtBasePDFCrypt::Rc4Passes(const uint8_t* key, size_t key_length, uint8_t* data, size_t size,
                                bool decrypting) {
  uint8_t round_key[16];
  for (int pass = 0; pass < 20; ++pass) {
    const auto x = static_cast<uint8_t>(decrypting ? 19 - pass : pass);
    for (size_t k = 0; k < key_length; ++k) round_key[k] = key[k] ^ x;
    TRC4::Crypt(round_key, key_length, data, size);
  }
}

}  // namespace pagemint
