// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/reader/pdf_info.h"

#include "platform/codepage.h"

namespace pagemint {
namespace {

constexpr const char* kKeys[] = {"/Title",   "/Author",   "/Subject",      "/Keywords",
                                 "/Creator", "/Producer", "/CreationDate", "/ModDate"};

const TgtPDFStringObject* StringValue(const TgtPDFDictObject& dictionary, const char* key) {
  const TgtPDFObject* value = dictionary.Lookup(key);
  return value && value->IsString() ? &value->AsString() : nullptr;
}

}  // namespace

std::u16string DecodeTextString(const std::string& bytes) {
  if (bytes.size() < 2 || static_cast<uint8_t>(bytes[0]) != 0xFE ||
      static_cast<uint8_t>(bytes[1]) != 0xFF)
    return AnsiToUnicode(bytes);
  std::u16string text;
  text.reserve((bytes.size() - 2) / 2);
  for (size_t i = 2; i + 1 < bytes.size(); i += 2)
    text.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) << 8 |
                                         static_cast<uint8_t>(bytes[i + 1])));
  return text;
}

std::string LiteralStringText(const std::string& bytes) {
  std::string text = "(";
  text.reserve(bytes.size() + bytes.size() / 8 + 2);
  for (const char c : bytes) {
    switch (c) {
      case '(':
        text += "\\(";
        break;
      case ')':
        text += "\\)";
        break;
      case '\\':
        text += "\\\\";
        break;
      case '\n':
        text += "\\n";
        break;
      case '\r':
        text += "\\r";
        break;
      case '\t':
        text += "\\t";
        break;
      case '\b':
        text += "\\b";
        break;
      case '\f':
        text += "\\f";
        break;
      default:
        text += c;
    }
  }
  text += ')';
  return text;
}

void TgtPDFInfo::SetDictionary(std::unique_ptr<TgtPDFDictObject> dictionary) {
  dictionary_ = dictionary ? std::move(dictionary) : std::make_unique<TgtPDFDictObject>();
}

std::u16string TgtPDFInfo::Text(Property property) const {
  if (!cached_[property].empty()) return cached_[property];
  const TgtPDFStringObject* value = StringValue(*dictionary_, kKeys[property]);
  return value ? DecodeTextString(value->Bytes()) : std::u16string();
}

std::string TgtPDFInfo::Date(Property property) const {
  if (!cached_dates_[property].empty()) return cached_dates_[property];
  const TgtPDFStringObject* value = StringValue(*dictionary_, kKeys[property]);
  return value ? value->Bytes() : std::string();
}

void TgtPDFInfo::SetText(Property property, const std::u16string& value) {
  cached_[property] = value;
  std::string bytes = "\xFE\xFF";
  bytes.reserve(2 + value.size() * 2);
  for (const char16_t unit : value) {
    bytes += static_cast<char>(unit >> 8);
    bytes += static_cast<char>(unit & 0xFF);
  }
  if (encryptor_) bytes = encryptor_(bytes);
  // A name object holding the whole parenthesised text is written out
  // verbatim, so an encrypted value is not encrypted a second time.
  dictionary_->SetValue(kKeys[property],
                        std::make_unique<TgtPDFNameObject>(LiteralStringText(bytes)));
}

void TgtPDFInfo::SetCreationDate(const std::string& value) {
  SetText(kCreationDate, AnsiToUnicode(value));
  cached_[kCreationDate].clear();
  cached_dates_[kCreationDate] = value;
}

void TgtPDFInfo::SetModDate(const std::string& value) {
  SetText(kModDate, AnsiToUnicode(value));
  cached_[kModDate].clear();
  cached_dates_[kModDate] = value;
}

}  // namespace pagemint
