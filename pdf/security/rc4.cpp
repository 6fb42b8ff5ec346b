// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/security/rc4.h"

#include <utility>

#include "platform/exception.h"
#include "platform/messages.h"

namespace pagemint {

TRC4::TRC4(const uint8_t* key, size_t key_length) {
  if (key_length < 1 || key_length > 256) throw Exception(msg::kRc4InvalidKeyLength);
  for (size_t i = 0; i < 256; ++i) state_[i] = static_cast<uint8_t>(i);
  uint8_t j = 0;
  for (size_t i = 0; i < 256; ++i) {
    j = static_cast<uint8_t>(j + state_[i] + key[i % key_length]);
    std::swap(state_[i], state_[j]);
  }
}

void TRC4::Apply(uint8_t* data, size_t size) {
  uint8_t i = i_;
  uint8_t j = j_;
  for (size_t k = 0; k < size; ++k) {
    i = static_cast<uint8_t>(i + 1);
    j = static_cast<uint8_t>(j + state_[i]);
    std::swap(state_[i], state_[j]);
    data[k] ^= state_[static_cast<uint8_t>(state_[i] + state_[j])];
  }
  i_ = i;
  j_ = j;
}

void TRC4::Crypt(const uint8_t* key, size_t key_length, uint8_t* data, size_t size) {
  TRC4 rc4(key, key_length);
  rc4.Apply(data, size);
}

}  // namespace pagemint
