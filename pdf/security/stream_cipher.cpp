// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/security/stream_cipher.h"

#include "pdf/security/aes_cipher.h"
#include "pdf/security/rc4.h"

namespace pagemint {
namespace {

class Rc4StreamCipher final : public TgtStreamCipher {
 public:
  explicit Rc4StreamCipher(std::string_view key)
      : rc4_(reinterpret_cast<const uint8_t*>(key.data()), key.size()) {}
  int64_t OutputSize(int64_t input) const override { return input; }
  void Update(const uint8_t* data, size_t size, std::string& out) override {
    const size_t start = out.size();
    out.append(reinterpret_cast<const char*>(data), size);
    rc4_.Apply(reinterpret_cast<uint8_t*>(out.data()) + start, size);
  }
  bool Final(std::string&) override { return true; }

 private:
  TRC4 rc4_;
};

class AesStreamCipher final : public TgtStreamCipher {
 public:
  AesStreamCipher(std::string_view key, bool encrypt, std::string_view iv)
      : aes_(key, encrypt, iv), key_(key), encrypt_(encrypt) {}
  // Encrypting: the IV, then the data padded to whole blocks (at least one
  // byte of padding). Decrypting, the padding is known only at the end.
  int64_t OutputSize(int64_t input) const override {
    if (!encrypt_) return -1;
    return static_cast<int64_t>(AesEncryptedSize(static_cast<size_t>(input)));
  }
  // Decrypting, the last block (with the one before as its IV) holds the
  // padding, and so the size.
  size_t EndNeeded() const override { return encrypt_ ? 0 : 2 * kAesBlockSize; }
  int64_t OutputSizeFromEnd(int64_t input, std::string_view end) const override {
    const auto block = static_cast<int64_t>(kAesBlockSize);
    if (encrypt_) return OutputSize(input);
    if (input < 2 * block || input % block != 0 || end.size() != 2 * kAesBlockSize) return -1;
    TgtAesCbcStream last(key_, false);
    std::string plain;
    last.Update(reinterpret_cast<const uint8_t*>(end.data()), end.size(), plain);
    if (!last.Final(plain)) return -1;
    return input - 2 * block + static_cast<int64_t>(plain.size());
  }
  void Update(const uint8_t* data, size_t size, std::string& out) override {
    aes_.Update(data, size, out);
  }
  bool Final(std::string& out) override { return aes_.Final(out); }

 private:
  TgtAesCbcStream aes_;
  std::string key_;
  bool encrypt_;
};

}  // namespace

std::unique_ptr<TgtStreamCipher> MakeRc4StreamCipher(std::string_view key) {
  return std::make_unique<Rc4StreamCipher>(key);
}

std::unique_ptr<TgtStreamCipher> MakeAesStreamCipher(std::string_view key, bool encrypt,
                                                     std::string_view iv) {
  return std::make_unique<AesStreamCipher>(key, encrypt, iv);
}

}  // namespace pagemint
