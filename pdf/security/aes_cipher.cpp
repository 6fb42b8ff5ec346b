// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/security/aes_cipher.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/exception.h"
#include "platform/messages.h"

namespace pagemint {
namespace {

using ContextPtr = std::unique_ptr<EVP_CIPHER_CTX, EvpCipherContextFree>;

const EVP_CIPHER* CbcCipher(std::string_view key) {
  if (key.size() == 16) return EVP_aes_128_cbc();
  if (key.size() == 32) return EVP_aes_256_cbc();
  throw Exception(Format(msg::kAesInvalidKeyLength, static_cast<int>(key.size())));
}

[[noreturn]] void Fail(const char* what) { throw Exception(Format(msg::kCryptoFailure, what)); }

ContextPtr NewContext(const EVP_CIPHER* cipher, std::string_view key, const uint8_t* iv,
                      bool encrypt) {
  ContextPtr context(EVP_CIPHER_CTX_new());
  if (!context ||
      EVP_CipherInit_ex(context.get(), cipher, nullptr,
                        reinterpret_cast<const unsigned char*>(key.data()), iv,
                        encrypt ? 1 : 0) != 1 ||
      EVP_CIPHER_CTX_set_padding(context.get(), 0) != 1)
    Fail("AES");
  return context;
}

// EVP takes int sizes: large data goes in slices.
constexpr size_t kSlice = size_t{1} << 30;

void Run(EVP_CIPHER_CTX* context, const uint8_t* data, size_t size, uint8_t* out, size_t& written) {
  written = 0;
  while (size > 0) {
    const size_t slice = std::min(size, kSlice);
    int n = 0;
    if (EVP_CipherUpdate(context, out + written, &n, data, static_cast<int>(slice)) != 1)
      Fail("AES");
    written += static_cast<size_t>(n);
    data += slice;
    size -= slice;
  }
}

// The PKCS#7 padding length of the last plain block, or 0 when it is bad.
size_t PaddingOf(const uint8_t* block) {
  const uint8_t pad = block[kAesBlockSize - 1];
  if (pad == 0 || pad > kAesBlockSize) return 0;
  for (size_t i = kAesBlockSize - pad; i < kAesBlockSize; ++i)
    if (block[i] != pad) return 0;
  return pad;
}

}  // namespace

void AesCbcCrypt(bool encrypt, std::string_view key, const uint8_t* iv, const uint8_t* data,
                 size_t size, uint8_t* out) {
  static const uint8_t kZeros[kAesBlockSize] = {};
  ContextPtr context = NewContext(CbcCipher(key), key, iv ? iv : kZeros, encrypt);
  size_t written = 0;
  Run(context.get(), data, size - size % kAesBlockSize, out, written);
}

void AesEcbDecryptBlock(std::string_view key, const uint8_t* in, uint8_t* out) {
  if (key.size() != 32)
    throw Exception(Format(msg::kAesInvalidKeyLength, static_cast<int>(key.size())));
  ContextPtr context = NewContext(EVP_aes_256_ecb(), key, nullptr, false);
  size_t written = 0;
  Run(context.get(), in, kAesBlockSize, out, written);
}

bool AesDecryptData(std::string_view key, std::string_view data, std::string& out) {
  out.clear();
  if (data.size() < kAesBlockSize) return false;
  const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
  const size_t body = data.size() - kAesBlockSize;
  const size_t whole = body - body % kAesBlockSize;
  std::string plain(whole, '\0');
  auto* target = reinterpret_cast<uint8_t*>(plain.data());
  AesCbcCrypt(false, key, bytes, bytes + kAesBlockSize, whole, target);
  const size_t pad = whole == body && whole > 0 ? PaddingOf(target + whole - kAesBlockSize) : 0;
  plain.resize(whole - pad);
  out = std::move(plain);
  return whole == body && (whole == 0 || pad != 0);
}

void AesEncryptTail(std::string_view key, std::string_view iv, std::string& out, size_t start) {
  const size_t size = out.size() - start;
  const size_t pad = kAesBlockSize - size % kAesBlockSize;
  out.resize(out.size() + kAesBlockSize + pad);
  // Raw moves rather than std::string's insert, whose inlined copy GCC 12
  // takes for an overlapping one at -O3 (-Wrestrict).
  char* at = out.data() + start;
  std::memmove(at + kAesBlockSize, at, size);
  std::memset(at + kAesBlockSize + size, static_cast<int>(pad), pad);
  std::memcpy(at, iv.data(), std::min(iv.size(), kAesBlockSize));
  auto* data = reinterpret_cast<uint8_t*>(at) + kAesBlockSize;
  AesCbcCrypt(true, key, reinterpret_cast<const uint8_t*>(at), data, size + pad, data);
}

TgtAesCbcStream::TgtAesCbcStream(std::string_view key, bool encrypt, std::string_view iv)
    : key_(key), encrypt_(encrypt) {
  CbcCipher(key_);  // checks the key length now
  if (encrypt_) {
    std::memcpy(iv_, iv.data(), std::min(iv.size(), kAesBlockSize));
    iv_size_ = kAesBlockSize;
    Start(iv_);
  }
}

void TgtAesCbcStream::Start(const uint8_t* iv) {
  context_ = NewContext(CbcCipher(key_), key_, iv, encrypt_);
  started_ = true;
}

void TgtAesCbcStream::Update(const uint8_t* data, size_t size, std::string& out) {
  if (encrypt_ && iv_size_ > 0) {
    out.append(reinterpret_cast<const char*>(iv_), iv_size_);
    iv_size_ = 0;
  }
  if (!encrypt_ && !started_) {
    const size_t take = std::min(size, kAesBlockSize - iv_size_);
    std::memcpy(iv_ + iv_size_, data, take);
    iv_size_ += take;
    data += take;
    size -= take;
    if (iv_size_ < kAesBlockSize) return;
    Start(iv_);
  }
  if (size == 0) return;
  data_size_ += size;
  const size_t start = out.size();
  out.resize(start + held_size_ + size + kAesBlockSize);
  auto* target = reinterpret_cast<uint8_t*>(out.data()) + start;
  std::memcpy(target, held_, held_size_);
  size_t written = 0;
  Run(context_.get(), data, size, target + held_size_, written);
  size_t produced = held_size_ + written;
  held_size_ = 0;
  if (!encrypt_ && produced >= kAesBlockSize) {
    produced -= kAesBlockSize;
    std::memcpy(held_, target + produced, kAesBlockSize);
    held_size_ = kAesBlockSize;
  }
  out.resize(start + produced);
}

bool TgtAesCbcStream::Final(std::string& out) {
  if (encrypt_) {
    const size_t pad = kAesBlockSize - data_size_ % kAesBlockSize;
    uint8_t padding[kAesBlockSize];
    std::memset(padding, static_cast<int>(pad), pad);
    Update(padding, pad, out);
    return true;
  }
  if (!started_) return false;
  // A partial last block cannot be decrypted: it is dropped.
  const bool whole = data_size_ % kAesBlockSize == 0;
  if (held_size_ == 0) return whole;
  const size_t pad = whole ? PaddingOf(held_) : 0;
  out.append(reinterpret_cast<const char*>(held_), kAesBlockSize - pad);
  held_size_ = 0;
  return pad != 0;
}

}  // namespace pagemint
