// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/security/password_hash_r6.h"

#include "pdf/security/aes_cipher.h"
#include "pdf/security/sha2.h"
#include "platform/codepage.h"

namespace pagemint {
namespace {

// The loop ends once the last byte of E is at most rounds - 32, which
// every byte is by round 288; the bound only documents that.
constexpr int kMinRounds = 64;
constexpr int kMaxRounds = 32 + 256;

std::string Truncated(std::string text) {
  if (text.size() > kMaxUtf8PasswordSize) text.resize(kMaxUtf8PasswordSize);
  return text;
}

// Non-ASCII spaces (RFC 3454 C.1.2) become a space; characters "commonly
// mapped to nothing" (B.1) are dropped.
std::u16string PrepareText(const std::u16string& text) {
  std::u16string out;
  out.reserve(text.size());
  for (const char16_t c : text) {
    const bool space = c == 0x00A0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F ||
                       c == 0x205F || c == 0x3000;
    const bool nothing = c == 0x00AD || c == 0x034F || c == 0x1806 || c == 0x180B || c == 0x180C ||
                         c == 0x180D || (c >= 0x200B && c <= 0x200D) || c == 0x2060 ||
                         (c >= 0xFE00 && c <= 0xFE0F) || c == 0xFEFF;
    if (nothing) continue;
    out.push_back(space ? u' ' : c);
  }
  return out;
}

bool IsUtf8(std::string_view bytes) { return UnicodeToUtf8(Utf8ToUnicode(bytes)) == bytes; }

}  // namespace

std::string HashPasswordR6(int revision, std::string_view password, std::string_view salt,
                           std::string_view udata) {
  password = password.substr(0, kMaxUtf8PasswordSize);
  std::string k = ShaDigest(TgtShaKind::Sha256, password, salt, udata);
  if (revision < 6) return k;
  std::string k1;
  std::string e;
  for (int round = 1; round <= kMaxRounds; ++round) {
    const size_t piece = password.size() + k.size() + udata.size();
    k1.resize(piece * 64);
    for (size_t i = 0; i < 64; ++i) {
      char* at = k1.data() + i * piece;
      password.copy(at, password.size());
      k.copy(at + password.size(), k.size());
      udata.copy(at + password.size() + k.size(), udata.size());
    }
    e.resize(k1.size());
    AesCbcCrypt(true, std::string_view(k).substr(0, 16),
                reinterpret_cast<const uint8_t*>(k.data() + 16),
                reinterpret_cast<const uint8_t*>(k1.data()), k1.size(),
                reinterpret_cast<uint8_t*>(e.data()));
    unsigned sum = 0;
    for (size_t i = 0; i < 16; ++i) sum += static_cast<uint8_t>(e[i]);
    const TgtShaKind kinds[] = {TgtShaKind::Sha256, TgtShaKind::Sha384, TgtShaKind::Sha512};
    k = ShaDigest(kinds[sum % 3], e);
    if (round >= kMinRounds && static_cast<uint8_t>(e.back()) <= round - 32) break;
  }
  return k.substr(0, 32);
}

std::vector<std::string> Utf8PasswordCandidates(std::string_view password) {
  std::vector<std::string> candidates;
  candidates.push_back(Truncated(UnicodeToUtf8(PrepareText(AnsiToUnicode(password)))));
  if (IsUtf8(password)) {
    std::string as_given = Truncated(UnicodeToUtf8(PrepareText(Utf8ToUnicode(password))));
    if (as_given != candidates.front()) candidates.push_back(std::move(as_given));
  }
  return candidates;
}

}  // namespace pagemint
