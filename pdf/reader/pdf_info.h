// SPDX-License-Identifier: GPL-3.0-or-later
// The document information dictionary and its eight text properties.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "pdf/objects/pdf_objects.h"

namespace pagemint {

class TgtPDFInfo {
 public:
  // Turns the bytes of a text value into the bytes stored for the
  // information dictionary's object; the writer installs one when the
  // document is saved encrypted. Without one the bytes are stored as
  // they are.
  using TextEncryptor = std::function<std::string(const std::string&)>;

  TgtPDFInfo() : dictionary_(std::make_unique<TgtPDFDictObject>()) {}

  TgtPDFDictObject& Dictionary() const { return *dictionary_; }
  // Replaces (and frees) the dictionary held so far; nullptr gives an
  // empty one.
  void SetDictionary(std::unique_ptr<TgtPDFDictObject> dictionary);
  void SetTextEncryptor(TextEncryptor encryptor) { encryptor_ = std::move(encryptor); }

  std::u16string Title() const { return Text(kTitle); }
  std::u16string Author() const { return Text(kAuthor); }
  std::u16string Subject() const { return Text(kSubject); }
  std::u16string Keywords() const { return Text(kKeywords); }
  std::u16string Creator() const { return Text(kCreator); }
  std::u16string Producer() const { return Text(kProducer); }
  std::string CreationDate() const { return Date(kCreationDate); }
  std::string ModDate() const { return Date(kModDate); }

  void SetTitle(const std::u16string& value) { SetText(kTitle, value); }
  void SetAuthor(const std::u16string& value) { SetText(kAuthor, value); }
  void SetSubject(const std::u16string& value) { SetText(kSubject, value); }
  void SetKeywords(const std::u16string& value) { SetText(kKeywords, value); }
  void SetCreator(const std::u16string& value) { SetText(kCreator, value); }
  void SetProducer(const std::u16string& value) { SetText(kProducer, value); }
  void SetCreationDate(const std::string& value);
  void SetModDate(const std::string& value);

 private:
  enum Property {
    kTitle,
    kAuthor,
    kSubject,
    kKeywords,
    kCreator,
    kProducer,
    kCreationDate,
    kModDate,
    kPropertyCount
  };

  std::u16string Text(Property property) const;
  std::string Date(Property property) const;
  void SetText(Property property, const std::u16string& value);

  std::unique_ptr<TgtPDFDictObject> dictionary_;
  TextEncryptor encryptor_;
  std::u16string cached_[kPropertyCount];
  std::string cached_dates_[kPropertyCount];
};

// A PDF text string's bytes as UTF-16: after the FE FF mark, pairs of
// bytes high byte first; otherwise through the ANSI code page.
std::u16string DecodeTextString(const std::string& bytes);

// Escapes bytes for a literal string and adds the parentheses.
std::string LiteralStringText(const std::string& bytes);

}  // namespace pagemint
