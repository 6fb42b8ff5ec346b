// SPDX-License-Identifier: GPL-3.0-or-later
// AES in CBC mode through OpenSSL's EVP interface, as the standard security
// handler uses it: a 16-byte initialisation vector at the head of each
// string and stream, then the data with PKCS#7 padding. OpenSSL's own
// padding is switched off: the padding is checked here, and a bad one is
// reported to the caller with the data kept as decrypted, rather than
// failing the way OpenSSL's check would.
#pragma once

#include <openssl/evp.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace pagemint {

inline constexpr size_t kAesBlockSize = 16;

// One pass of AES-CBC over whole blocks, without padding; data may be out.
// key is 16 or 32 bytes (AES-128 or AES-256); iv nullptr stands for zeros.
void AesCbcCrypt(bool encrypt, std::string_view key, const uint8_t* iv, const uint8_t* data,
                 size_t size, uint8_t* out);

// AES-256 in ECB mode on one block (the /Perms check).
void AesEcbDecryptBlock(std::string_view key, const uint8_t* in, uint8_t* out);

// Decrypts iv + ciphertext into out (replacing it). False when the data was
// not sound: shorter than the IV, not whole blocks (the partial block is
// dropped), or with a bad padding (then every decrypted byte is kept).
bool AesDecryptData(std::string_view key, std::string_view data, std::string& out);

// The size that encrypting size bytes gives: IV, data, padding.
constexpr size_t AesEncryptedSize(size_t size) {
  return kAesBlockSize + (size / kAesBlockSize + 1) * kAesBlockSize;
}

// Encrypts out[start, end) in place: the IV goes in front, the padding
// after, so out grows to start + AesEncryptedSize(end - start).
void AesEncryptTail(std::string_view key, std::string_view iv, std::string& out, size_t start);

struct EvpCipherContextFree {
  void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};

// AES-CBC over data that arrives in pieces. Decrypting, the first 16 bytes
// are the IV and the last plain block is held back until Final, which
// strips the padding. Encrypting, the IV is written first and Final adds
// the padding.
class TgtAesCbcStream {
 public:
  // iv is used only when encrypting (16 bytes).
  TgtAesCbcStream(std::string_view key, bool encrypt, std::string_view iv = {});

  void Update(const uint8_t* data, size_t size, std::string& out);
  // Appends what is left. False when decrypting found the data unsound
  // (see AesDecryptData); the data is then kept as decrypted.
  bool Final(std::string& out);

 private:
  void Start(const uint8_t* iv);

  std::string key_;
  bool encrypt_;
  std::unique_ptr<EVP_CIPHER_CTX, EvpCipherContextFree> context_;
  uint8_t iv_[kAesBlockSize] = {};
  size_t iv_size_ = 0;    // IV bytes collected (decrypting) or pending output (encrypting)
  bool started_ = false;  // the cipher has its key and IV
  uint8_t held_[kAesBlockSize] = {};
  size_t held_size_ = 0;    // decrypting: the last plain block, not yet given out
  uint64_t data_size_ = 0;  // bytes after the IV (decrypting) or plain bytes (encrypting)
};

}  // namespace pagemint
