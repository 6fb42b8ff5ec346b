// SPDX-License-Identifier: GPL-3.0-or-later
// The RC4 stream cipher. Encryption and decryption are the same operation.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace pagemint {

class TRC4 {
 public:
  // Key lengths from 1 to 256 bytes; anything else raises Exception
  // "RC4: Invalid key length".
  TRC4(const uint8_t* key, size_t key_length);

  // XORs the next bytes of the key stream into data.
  void Apply(uint8_t* data, size_t size);
  void Apply(std::string& data) { Apply(reinterpret_cast<uint8_t*>(data.data()), data.size()); }

  // One pass with a fresh state.
  static void Crypt(const uint8_t* key, size_t key_length, uint8_t* data, size_t size);

 private:
  std::array<uint8_t, 256> state_;
  uint8_t i_ = 0;
  uint8_t j_ = 0;
};

}  // namespace pagemint
