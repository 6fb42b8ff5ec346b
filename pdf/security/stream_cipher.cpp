#include "pdf/security/stream_cipher.h"

#include "pdf/security/aes_cipher.h"
#include "pdf/security/rc4.h"

namespace pagemint {
namespace {

class Rc4StreamCipher final : public TgtStreamCipher {
 public:
  explicit Rc4StreamCipher(std::string_view key)
      : rc4_(reinterpret_cast<const uint8_t*>(key.data()), key.size()) {}
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
      : aes_(key, encrypt, iv) {}
  void Update(const uint8_t* data, size_t size, std::string& out) override {
    aes_.Update(data, size, out);
  }
  bool Final(std::string& out) override { return aes_.Final(out); }

 private:
  TgtAesCbcStream aes_;
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
