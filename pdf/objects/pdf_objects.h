// SPDX-License-Identifier: GPL-3.0-or-later
// The PDF object model: twelve kinds, each with a fixed one-byte tag.
//
// Containers own what they hold (std::unique_ptr); a reference names its
// target by (document serial, number, generation) and never points to it.
// Dictionary keys and names keep their leading slash, strings keep their
// delimiters. Dictionaries keep insertion order and duplicate keys; every
// lookup finds the first match.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/objects/pdf_exceptions.h"
#include "pdf/objects/stream_source.h"
#include "platform/stream.h"

namespace pagemint {

enum TgtObjectTag : uint8_t {
  otBoolean = 0,
  otInteger = 1,
  otInt64 = 2,
  otReal = 3,
  otString = 4,
  otName = 5,
  otArray = 6,
  otDictionary = 7,
  otStream = 8,
  otNull = 9,
  otReference = 10,
  otIndirect = 11,
};

class TgtPDFObject;
class TgtPDFBooleanObject;
class TgtPDFIntegerObject;
class TgtPDFInt64Object;
class TgtPDFRealObject;
class TgtPDFStringObject;
class TgtPDFNameObject;
class TgtPDFArrayObject;
class TgtPDFDictObject;
class TgtPDFStreamObject;
class TgtPDFNullObject;
class TgtPDFIndirectReference;
class TgtPDFIndirectObject;

using TgtPDFObjectPtr = std::unique_ptr<TgtPDFObject>;

// The next document serial from the process-wide counter (under a lock).
uint32_t NextDocumentSerial();

class TgtPDFObject {
 public:
  TgtPDFObject(const TgtPDFObject&) = delete;
  TgtPDFObject& operator=(const TgtPDFObject&) = delete;
  virtual ~TgtPDFObject() = default;

  // Deep copy: a new object of the same class, tag and document serial.
  virtual TgtPDFObjectPtr Clone() const = 0;

  uint8_t Tag() const { return tag_; }
  bool IsBoolean() const { return tag_ == otBoolean; }
  bool IsInteger() const { return tag_ == otInteger; }
  bool IsInt64() const { return tag_ == otInt64; }
  bool IsReal() const { return tag_ == otReal; }
  bool IsString() const { return tag_ == otString; }
  bool IsName() const { return tag_ == otName; }
  bool IsArray() const { return tag_ == otArray; }
  bool IsDictionary() const { return tag_ == otDictionary; }
  bool IsStream() const { return tag_ == otStream; }
  bool IsNull() const { return tag_ == otNull; }
  bool IsReference() const { return tag_ == otReference; }
  bool IsIndirect() const { return tag_ == otIndirect; }

  // The type-name table entry ("Dictionary Object", ...).
  const char* KindName() const;

  // The smallest objects (numbers, booleans, nulls, references: 16 or 24
  // bytes, a document holds millions of them) come from pools of
  // fixed-size slots instead of one heap block each, which would cost them
  // half as much again in the allocator's own bookkeeping. A freed slot
  // goes back to its pool for the next object, in any thread; the pools
  // keep what they hold for the process, so they stay at the largest
  // number of such objects alive at one time. Larger objects, and every
  // object in a build with the address sanitizer (which must see each
  // block), use the heap.
  static void* operator new(size_t size);
  static void operator delete(void* block, size_t size) noexcept;

  // Checked downcasts: an object of another kind raises EInvalidCast
  // ("Invalid class typecast"); the model never converts between kinds.
  TgtPDFBooleanObject& AsBoolean();
  TgtPDFIntegerObject& AsInteger();
  TgtPDFInt64Object& AsInt64();
  TgtPDFRealObject& AsReal();
  TgtPDFStringObject& AsString();
  TgtPDFNameObject& AsName();
  TgtPDFArrayObject& AsArray();
  TgtPDFDictObject& AsDictionary();
  TgtPDFStreamObject& AsStream();
  TgtPDFIndirectReference& AsReference();
  TgtPDFIndirectObject& AsIndirect();
  const TgtPDFBooleanObject& AsBoolean() const;
  const TgtPDFIntegerObject& AsInteger() const;
  const TgtPDFInt64Object& AsInt64() const;
  const TgtPDFRealObject& AsReal() const;
  const TgtPDFStringObject& AsString() const;
  const TgtPDFNameObject& AsName() const;
  const TgtPDFArrayObject& AsArray() const;
  const TgtPDFDictObject& AsDictionary() const;
  const TgtPDFStreamObject& AsStream() const;
  const TgtPDFIndirectReference& AsReference() const;
  const TgtPDFIndirectObject& AsIndirect() const;

 protected:
  explicit TgtPDFObject(uint8_t tag) : tag_(tag) {}

 private:
  const uint8_t tag_;
};

class TgtPDFBooleanObject final : public TgtPDFObject {
 public:
  explicit TgtPDFBooleanObject(bool value) : TgtPDFObject(otBoolean), value_(value) {}
  TgtPDFObjectPtr Clone() const override;
  bool Value() const { return value_; }
  void SetValue(bool value) { value_ = value; }

 private:
  bool value_;
};

class TgtPDFIntegerObject final : public TgtPDFObject {
 public:
  explicit TgtPDFIntegerObject(int32_t value) : TgtPDFObject(otInteger), value_(value) {}
  TgtPDFObjectPtr Clone() const override;
  int32_t Value() const { return value_; }
  void SetValue(int32_t value) { value_ = value; }

 private:
  int32_t value_;
};

class TgtPDFInt64Object final : public TgtPDFObject {
 public:
  explicit TgtPDFInt64Object(int64_t value) : TgtPDFObject(otInt64), value_(value) {}
  TgtPDFObjectPtr Clone() const override;
  int64_t Value() const { return value_; }
  void SetValue(int64_t value) { value_ = value; }

 private:
  int64_t value_;
};

class TgtPDFRealObject final : public TgtPDFObject {
 public:
  explicit TgtPDFRealObject(double value) : TgtPDFObject(otReal), value_(value) {}
  TgtPDFObjectPtr Clone() const override;
  double Value() const { return value_; }
  void SetValue(double value) { value_ = value; }

 private:
  double value_;
};

class TgtPDFStringObject final : public TgtPDFObject {
 public:
  // text includes the delimiters: "(Adobe)" or "<4142>".
  explicit TgtPDFStringObject(std::string text, bool hex = false)
      : TgtPDFObject(otString), text_(std::move(text)), hex_(hex) {}
  TgtPDFObjectPtr Clone() const override;

  const std::string& Text() const { return text_; }
  void SetText(std::string text, bool hex) {
    text_ = std::move(text);
    hex_ = hex;
  }
  bool IsHex() const { return hex_; }
  // The text without its first and last byte.
  std::string Value() const;
  // The string as UTF-16 text (ANSI code page, or UTF-16BE after FE FF).
  std::u16string UnicodeText() const;
  // The string's own bytes: a literal string's Value, a hex string's
  // digits decoded (whitespace skipped, an odd last digit padded with 0).
  std::string Bytes() const;

 private:
  std::string text_;
  bool hex_;
};

class TgtPDFNameObject final : public TgtPDFObject {
 public:
  // text includes the leading slash: "/Type".
  explicit TgtPDFNameObject(std::string text) : TgtPDFObject(otName), text_(std::move(text)) {}
  TgtPDFObjectPtr Clone() const override;
  const std::string& Text() const { return text_; }
  void SetText(std::string text) { text_ = std::move(text); }
  // The text without the slash.
  std::string PlainName() const { return text_.empty() ? std::string() : text_.substr(1); }

 private:
  std::string text_;
};

class TgtPDFArrayObject final : public TgtPDFObject {
 public:
  TgtPDFArrayObject() : TgtPDFObject(otArray) {}
  TgtPDFObjectPtr Clone() const override;

  int32_t Add(TgtPDFObjectPtr item);
  int32_t AddInteger(int32_t value);
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  // The item at index, or nullptr when the index is out of range.
  TgtPDFObject* ItemAt(int32_t index) const {
    return index >= 0 && index < Count() ? items_[static_cast<size_t>(index)].get() : nullptr;
  }
  // Insert, PutAt, DeleteAt and TakeAt raise EListError for an index out
  // of range (Insert accepts Count, which appends).
  void Insert(int32_t index, TgtPDFObjectPtr item);
  // Replaces the item at index and hands the old one back to the caller.
  TgtPDFObjectPtr PutAt(int32_t index, TgtPDFObjectPtr item);
  void DeleteAt(int32_t index);
  // Removes the item at index and hands it to the caller.
  TgtPDFObjectPtr TakeAt(int32_t index);
  // Gives back the room reserved for items not added (the parser calls it
  // once an array is complete).
  void ShrinkToFit() { items_.shrink_to_fit(); }

 private:
  std::vector<TgtPDFObjectPtr> items_;
};

class TgtPDFDictObject final : public TgtPDFObject {
 public:
  TgtPDFDictObject() : TgtPDFObject(otDictionary) {}
  TgtPDFObjectPtr Clone() const override;

  // Keys are matched exactly and with their slash ("/Root", never "Root").
  void Add(std::unique_ptr<TgtPDFNameObject> key, TgtPDFObjectPtr value);
  void AddName(std::string_view key, std::string_view name);  // nothing when name is empty
  void AddInteger(std::string_view key, int32_t value);
  void AddReal(std::string_view key, double value);
  void AddInt64(std::string_view key, int64_t value);
  void AddValue(std::string_view key, TgtPDFObjectPtr value);

  int32_t Count() const { return static_cast<int32_t>(entries_.size()); }
  // An index out of range raises EListError. Keys are shared by every
  // dictionary of the process (see the entries below), so they are read-only.
  const TgtPDFNameObject* KeyAt(int32_t index) const;
  // May be nullptr: a value the parser could not read is stored as missing.
  // An index out of range raises EListError.
  TgtPDFObject* ValueAt(int32_t index) const;
  int32_t IndexOfKey(std::string_view key) const;
  TgtPDFObject* Lookup(std::string_view key) const;

  void SetValue(std::string_view key, TgtPDFObjectPtr value);
  void SetValue(const TgtPDFNameObject& key, TgtPDFObjectPtr value) {
    SetValue(key.Text(), std::move(value));
  }
  void SetName(std::string_view key, std::string_view name);
  void SetBoolean(std::string_view key, bool value);
  void SetInteger(std::string_view key, int32_t value);
  // Replaces the value at index and hands the old one back; an index not
  // below Count raises EInvalidIndex "Index Out Of Bounds!".
  TgtPDFObjectPtr PutValueAt(int32_t index, TgtPDFObjectPtr value);
  void DeleteAt(int32_t index);
  void Remove(std::string_view key);
  // SetValue with a clone of each entry of other, in order; null does nothing.
  void MergeFrom(const TgtPDFDictObject* other);
  // Removes the value at index and hands it to the caller (the key stays,
  // with a missing value, until the caller puts one back).
  TgtPDFObjectPtr TakeValueAt(int32_t index);
  // Gives back the room reserved for entries not added (the parser calls
  // it once a dictionary is complete).
  void ShrinkToFit() { entries_.shrink_to_fit(); }

 private:
  // Each entry is two pointers in one array. The keys are interned: every
  // distinct key text is one name object for the whole process, never
  // freed, so the hundreds of thousands of /Type and /Length keys of a
  // large document cost a pointer each.
  struct Entry {
    const TgtPDFNameObject* key;
    TgtPDFObjectPtr value;
  };
  std::vector<Entry> entries_;
};

// A stream's data is either held in memory, or stays in the source the
// stream was read from (an extent) until something asks for it: Data()
// reads it then and keeps it; ReadData() reads a copy and keeps nothing;
// the writer copies the raw bytes through Extent() without holding them.
class TgtPDFStreamObject final : public TgtPDFObject {
 public:
  explicit TgtPDFStreamObject(std::unique_ptr<TgtPDFDictObject> dictionary,
                              std::unique_ptr<TMemoryStream> data = nullptr)
      : TgtPDFObject(otStream),
        dictionary_(dictionary ? std::move(dictionary) : std::make_unique<TgtPDFDictObject>()),
        data_(std::move(data)) {}
  TgtPDFObjectPtr Clone() const override;

  TgtPDFDictObject& Dictionary() const { return *dictionary_; }
  // The data, read from the source (and decrypted) the first time it is
  // asked for; nullptr when the stream has none. A source that cannot
  // supply it raises EFileError. Keeping the data changes the object
  // without a lock: a document is used from one thread at a time (the
  // render workers draw from the source file with renderers of their own
  // and never touch the object model; the window leaves its page list
  // frozen while a job runs on the document).
  TMemoryStream* Data() const;
  // Whether the stream has data, in memory or in its source.
  bool HasData() const { return data_ || extent_; }
  // The data's size in memory, or in the source (raw, before decryption).
  int64_t DataSize() const;
  // A copy of the data (decrypted), without keeping it in the stream.
  std::string ReadData() const;
  void SetData(std::unique_ptr<TMemoryStream> data) {
    data_ = std::move(data);
    extent_.reset();
  }
  std::unique_ptr<TMemoryStream> TakeData() {
    Data();
    extent_.reset();
    return std::move(data_);
  }
  // The data's place in the source; nullptr when it is held in memory
  // (or there is none).
  const TgtStreamExtent* Extent() const { return data_ ? nullptr : extent_.get(); }
  void SetExtent(TgtStreamExtent extent) {
    data_.reset();
    extent_ = std::make_unique<TgtStreamExtent>(std::move(extent));
  }

 private:
  std::unique_ptr<TgtPDFDictObject> dictionary_;
  mutable std::unique_ptr<TMemoryStream> data_;
  std::unique_ptr<TgtStreamExtent> extent_;
};

class TgtPDFNullObject final : public TgtPDFObject {
 public:
  TgtPDFNullObject() : TgtPDFObject(otNull) {}
  TgtPDFObjectPtr Clone() const override;
};

class TgtPDFIndirectReference final : public TgtPDFObject {
 public:
  TgtPDFIndirectReference(uint32_t serial, int32_t number, uint16_t generation)
      : TgtPDFObject(otReference), serial_(serial), number_(number), generation_(generation) {}
  TgtPDFObjectPtr Clone() const override;
  uint32_t Serial() const { return serial_; }
  int32_t Number() const { return number_; }
  uint16_t Generation() const { return generation_; }

 private:
  uint32_t serial_;
  int32_t number_;
  uint16_t generation_;
};

class TgtPDFIndirectObject : public TgtPDFObject {
 public:
  TgtPDFIndirectObject(uint32_t serial, int32_t number, uint16_t generation,
                       TgtPDFObjectPtr content)
      : TgtPDFObject(otIndirect),
        serial_(serial),
        number_(number),
        generation_(generation),
        content_(std::move(content)) {}
  TgtPDFObjectPtr Clone() const override;

  uint32_t Serial() const { return serial_; }
  int32_t Number() const { return number_; }
  uint16_t Generation() const { return generation_; }

  // May be nullptr.
  TgtPDFObject* Content() const { return content_.get(); }
  void SetContent(TgtPDFObjectPtr content) { content_ = std::move(content); }
  TgtPDFObjectPtr TakeContent() { return std::move(content_); }

  std::unique_ptr<TgtPDFIndirectReference> MakeReference() const {
    return std::make_unique<TgtPDFIndirectReference>(serial_, number_, generation_);
  }

 protected:
  // Copies every field of this object into target (used by Clone).
  void CopyInto(TgtPDFIndirectObject& target) const;

 private:
  uint32_t serial_;
  int32_t number_;
  uint16_t generation_;
  TgtPDFObjectPtr content_;
};

// An integer's or a real's value as a double; any other kind (or null)
// raises EUnexpectedObjectError "Unexpected PDF object encountered".
double NumberValue(const TgtPDFObject* object);
// NumberValue of items 0 to 3.
std::array<double, 4> ReadRectangle(const TgtPDFArrayObject& array);

}  // namespace pagemint
