// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/objects/pdf_objects.h"

#include <atomic>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "platform/codepage.h"
#include "platform/messages.h"

namespace pagemint {

namespace {

// Indexed by tag. Every kind has its own entry, the 64-bit integer included,
// so an error message always names the kind it met.
constexpr const char* kKindNames[] = {
    "Boolean Object",
    "Integer Object",
    "Int64 Object",
    "Real Object",
    "String Object",
    "Name Object",
    "Array Object",
    "Dictionary Object",
    "Stream Object",
    "Null Object",
    "IndirectReference Object",
    "Indirect Object",
};
static_assert(sizeof(kKindNames) / sizeof(kKindNames[0]) == otIndirect + 1);

TgtPDFObjectPtr CloneOrNull(const TgtPDFObject* object) {
  return object ? object->Clone() : nullptr;
}

[[noreturn]] void ThrowListIndex(int32_t index) {
  throw EListError(Format(msg::kListIndex, index));
}

bool InRange(int32_t index, size_t count) {
  return index >= 0 && static_cast<size_t>(index) < count;
}

// Hex digit value, or -1. Our own table: never <cctype> (locale).
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool IsPdfWhitespace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\0';
}

// The hex digits of a hex string's body with whitespace left out.
std::string HexDigitsOnly(std::string_view body) {
  std::string digits;
  digits.reserve(body.size());
  for (char c : body) {
    if (!IsPdfWhitespace(c)) digits.push_back(c);
  }
  return digits;
}

bool StartsWithByteOrderMark(std::string_view digits) {
  if (digits.size() < 4) return false;
  return HexValue(digits[0]) == 0xF && HexValue(digits[1]) == 0xE && HexValue(digits[2]) == 0xF &&
         HexValue(digits[3]) == 0xF;
}

// A UTF-16 text string in hex form is read for at most this many digits
// after its byte-order mark (249 code units); longer text is cut there.
constexpr size_t kMaxUtf16HexDigits = 999;

constexpr char16_t kReplacementCharacter = 0xFFFD;

// digits: the hex digits after the byte-order mark. Four digits make one
// big-endian code unit; "." stands for itself; a repeated mark is dropped;
// a group holding a byte that is not a hex digit becomes U+FFFD, and an
// incomplete last group is dropped rather than guessed at.
std::u16string DecodeUtf16Hex(std::string_view digits) {
  std::u16string text;
  text.reserve(digits.size() / 4 + 1);
  size_t i = 0;
  while (i < digits.size()) {
    if (digits[i] == '.') {
      text.push_back(u'.');
      ++i;
      continue;
    }
    if (digits.size() - i < 4) break;
    std::string_view group = digits.substr(i, 4);
    i += 4;
    if (StartsWithByteOrderMark(group)) continue;
    unsigned unit = 0;
    bool valid = true;
    for (char c : group) {
      const int v = HexValue(c);
      valid = valid && v >= 0;
      unit = unit * 16 + static_cast<unsigned>(v < 0 ? 0 : v);
    }
    text.push_back(valid ? static_cast<char16_t>(unit) : kReplacementCharacter);
  }
  return text;
}

#if defined(__SANITIZE_ADDRESS__)
#define PAGEMINT_OBJECT_POOLS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PAGEMINT_OBJECT_POOLS 0
#endif
#endif
#ifndef PAGEMINT_OBJECT_POOLS
#define PAGEMINT_OBJECT_POOLS 1
#endif

#if PAGEMINT_OBJECT_POOLS
// Slots of one size, carved from blocks of kSlotsPerBlock; freed slots
// form a list threaded through themselves. A spin lock guards it: taking
// it uncontended costs one atomic exchange, and nothing is done under it
// but a few pointer moves (and, rarely, one allocation of a block).
template <size_t kSize>
class SlotPool {
 public:
  static constexpr size_t kSlotsPerBlock = 4096;
  void* Take() {
    Guard guard(lock_);
    if (free_) {
      void* slot = free_;
      free_ = *static_cast<void**>(slot);
      return slot;
    }
    if (next_ == end_) {
      // Kept for the process, like every slot carved from it.
      next_ = static_cast<char*>(::operator new(kSize * kSlotsPerBlock));
      end_ = next_ + kSize * kSlotsPerBlock;
    }
    void* slot = next_;
    next_ += kSize;
    return slot;
  }
  void Give(void* slot) {
    Guard guard(lock_);
    *static_cast<void**>(slot) = free_;
    free_ = slot;
  }

 private:
  struct Guard {
    explicit Guard(std::atomic_flag& flag) : flag_(flag) {
      while (flag_.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
    }
    ~Guard() { flag_.clear(std::memory_order_release); }
    std::atomic_flag& flag_;
  };
  std::atomic_flag lock_ = ATOMIC_FLAG_INIT;
  void* free_ = nullptr;
  char* next_ = nullptr;
  char* end_ = nullptr;
};

// Never destroyed: objects may be freed while static objects are being
// destroyed at exit.
SlotPool<16>& Pool16() {
  static auto* pool = new SlotPool<16>;
  return *pool;
}
SlotPool<24>& Pool24() {
  static auto* pool = new SlotPool<24>;
  return *pool;
}
#endif

}  // namespace

void* TgtPDFObject::operator new(size_t size) {
#if PAGEMINT_OBJECT_POOLS
  if (size <= 16) return Pool16().Take();
  if (size <= 24) return Pool24().Take();
#endif
  return ::operator new(size);
}

void TgtPDFObject::operator delete(void* block, [[maybe_unused]] size_t size) noexcept {
#if PAGEMINT_OBJECT_POOLS
  if (size <= 16) return Pool16().Give(block);
  if (size <= 24) return Pool24().Give(block);
#endif
  // The unsized form: clang enables sized deallocation only on request.
  ::operator delete(block);
}

uint32_t NextDocumentSerial() {
  static std::mutex lock;
  static uint32_t counter = 0;
  std::lock_guard<std::mutex> guard(lock);
  return ++counter;
}

// --- TgtPDFObject ----------------------------------------------------------

const char* TgtPDFObject::KindName() const {
  return tag_ <= otIndirect ? kKindNames[tag_] : "Unknown Object";
}

#define PAGEMINT_DEFINE_CAST(Method, Class, Tag)            \
  Class& TgtPDFObject::Method() {                           \
    if (tag_ != Tag) throw EInvalidCast(msg::kInvalidCast); \
    return static_cast<Class&>(*this);                      \
  }                                                         \
  const Class& TgtPDFObject::Method() const {               \
    if (tag_ != Tag) throw EInvalidCast(msg::kInvalidCast); \
    return static_cast<const Class&>(*this);                \
  }

PAGEMINT_DEFINE_CAST(AsBoolean, TgtPDFBooleanObject, otBoolean)
PAGEMINT_DEFINE_CAST(AsInteger, TgtPDFIntegerObject, otInteger)
PAGEMINT_DEFINE_CAST(AsInt64, TgtPDFInt64Object, otInt64)
PAGEMINT_DEFINE_CAST(AsReal, TgtPDFRealObject, otReal)
PAGEMINT_DEFINE_CAST(AsString, TgtPDFStringObject, otString)
PAGEMINT_DEFINE_CAST(AsName, TgtPDFNameObject, otName)
PAGEMINT_DEFINE_CAST(AsArray, TgtPDFArrayObject, otArray)
PAGEMINT_DEFINE_CAST(AsDictionary, TgtPDFDictObject, otDictionary)
PAGEMINT_DEFINE_CAST(AsStream, TgtPDFStreamObject, otStream)
PAGEMINT_DEFINE_CAST(AsReference, TgtPDFIndirectReference, otReference)
PAGEMINT_DEFINE_CAST(AsIndirect, TgtPDFIndirectObject, otIndirect)

#undef PAGEMINT_DEFINE_CAST

// --- Scalars ---------------------------------------------------------------

TgtPDFObjectPtr TgtPDFBooleanObject::Clone() const {
  return std::make_unique<TgtPDFBooleanObject>(value_);
}

TgtPDFObjectPtr TgtPDFIntegerObject::Clone() const {
  return std::make_unique<TgtPDFIntegerObject>(value_);
}

TgtPDFObjectPtr TgtPDFInt64Object::Clone() const {
  return std::make_unique<TgtPDFInt64Object>(value_);
}

TgtPDFObjectPtr TgtPDFRealObject::Clone() const {
  return std::make_unique<TgtPDFRealObject>(value_);
}

TgtPDFObjectPtr TgtPDFNameObject::Clone() const {
  return std::make_unique<TgtPDFNameObject>(text_);
}

TgtPDFObjectPtr TgtPDFNullObject::Clone() const { return std::make_unique<TgtPDFNullObject>(); }

TgtPDFObjectPtr TgtPDFIndirectReference::Clone() const {
  return std::make_unique<TgtPDFIndirectReference>(serial_, number_, generation_);
}

// --- Strings ---------------------------------------------------------------

TgtPDFObjectPtr TgtPDFStringObject::Clone() const {
  return std::make_unique<TgtPDFStringObject>(text_, hex_);
}

std::string TgtPDFStringObject::Value() const {
  if (text_.size() < 2) return std::string();
  return text_.substr(1, text_.size() - 2);
}

std::string TgtPDFStringObject::Bytes() const {
  if (!hex_) return Value();
  const std::string_view body =
      text_.size() < 2 ? std::string_view() : std::string_view(text_).substr(1, text_.size() - 2);
  std::string bytes;
  bytes.reserve(body.size() / 2 + 1);
  int high = -1;
  for (char c : body) {
    const int v = HexValue(c);
    if (v < 0) continue;  // whitespace (and anything the lexer let through)
    if (high < 0) {
      high = v;
    } else {
      bytes.push_back(static_cast<char>(high * 16 + v));
      high = -1;
    }
  }
  if (high >= 0) bytes.push_back(static_cast<char>(high * 16));
  return bytes;
}

std::u16string TgtPDFStringObject::UnicodeText() const {
  if (!hex_) return AnsiToUnicode(Value());
  const std::string digits = HexDigitsOnly(Value());
  if (!StartsWithByteOrderMark(digits)) return AnsiToUnicode(Bytes());
  std::string_view rest = std::string_view(digits).substr(4);
  return DecodeUtf16Hex(rest.substr(0, kMaxUtf16HexDigits));
}

// --- Arrays ----------------------------------------------------------------

TgtPDFObjectPtr TgtPDFArrayObject::Clone() const {
  auto copy = std::make_unique<TgtPDFArrayObject>();
  copy->items_.reserve(items_.size());
  for (const auto& item : items_) copy->items_.push_back(CloneOrNull(item.get()));
  return copy;
}

int32_t TgtPDFArrayObject::Add(TgtPDFObjectPtr item) {
  items_.push_back(std::move(item));
  return Count() - 1;
}

int32_t TgtPDFArrayObject::AddInteger(int32_t value) {
  return Add(std::make_unique<TgtPDFIntegerObject>(value));
}

void TgtPDFArrayObject::Insert(int32_t index, TgtPDFObjectPtr item) {
  if (!InRange(index, items_.size() + 1)) ThrowListIndex(index);
  items_.insert(items_.begin() + index, std::move(item));
}

TgtPDFObjectPtr TgtPDFArrayObject::PutAt(int32_t index, TgtPDFObjectPtr item) {
  if (!InRange(index, items_.size())) ThrowListIndex(index);
  TgtPDFObjectPtr old = std::move(items_[static_cast<size_t>(index)]);
  items_[static_cast<size_t>(index)] = std::move(item);
  return old;
}

void TgtPDFArrayObject::DeleteAt(int32_t index) {
  if (!InRange(index, items_.size())) ThrowListIndex(index);
  items_.erase(items_.begin() + index);
}

TgtPDFObjectPtr TgtPDFArrayObject::TakeAt(int32_t index) {
  if (!InRange(index, items_.size())) ThrowListIndex(index);
  TgtPDFObjectPtr item = std::move(items_[static_cast<size_t>(index)]);
  items_.erase(items_.begin() + index);
  return item;
}

// --- Dictionaries ----------------------------------------------------------

namespace {

// The one name object for each distinct key text, shared by every
// dictionary of the process and never freed (dictionaries of any thread
// and any document may hold them). The pool never shrinks: it holds each
// distinct key text the process has met, in every document it opened, so
// it is bounded by the distinct keys read (a few hundred in real files;
// one damaged file may add many, once).
const TgtPDFNameObject* InternKey(std::string_view text) {
  static std::mutex mutex;
  static auto* pool = new std::unordered_map<std::string_view, const TgtPDFNameObject*>();
  std::lock_guard<std::mutex> lock(mutex);
  if (const auto found = pool->find(text); found != pool->end()) return found->second;
  const auto* name = new TgtPDFNameObject(std::string(text));
  pool->emplace(std::string_view(name->Text()), name);
  return name;
}

}  // namespace

TgtPDFObjectPtr TgtPDFDictObject::Clone() const {
  auto copy = std::make_unique<TgtPDFDictObject>();
  copy->entries_.reserve(entries_.size());
  for (const Entry& entry : entries_)
    copy->entries_.push_back({entry.key, CloneOrNull(entry.value.get())});
  return copy;
}

void TgtPDFDictObject::Add(std::unique_ptr<TgtPDFNameObject> key, TgtPDFObjectPtr value) {
  entries_.push_back({InternKey(key ? std::string_view(key->Text()) : std::string_view()),
                      std::move(value)});
}

void TgtPDFDictObject::AddName(std::string_view key, std::string_view name) {
  if (name.empty()) return;
  AddValue(key, std::make_unique<TgtPDFNameObject>(std::string(name)));
}

void TgtPDFDictObject::AddInteger(std::string_view key, int32_t value) {
  AddValue(key, std::make_unique<TgtPDFIntegerObject>(value));
}

void TgtPDFDictObject::AddReal(std::string_view key, double value) {
  AddValue(key, std::make_unique<TgtPDFRealObject>(value));
}

void TgtPDFDictObject::AddInt64(std::string_view key, int64_t value) {
  AddValue(key, std::make_unique<TgtPDFInt64Object>(value));
}

void TgtPDFDictObject::AddValue(std::string_view key, TgtPDFObjectPtr value) {
  entries_.push_back({InternKey(key), std::move(value)});
}

const TgtPDFNameObject* TgtPDFDictObject::KeyAt(int32_t index) const {
  if (!InRange(index, entries_.size())) ThrowListIndex(index);
  return entries_[static_cast<size_t>(index)].key;
}

TgtPDFObject* TgtPDFDictObject::ValueAt(int32_t index) const {
  if (!InRange(index, entries_.size())) ThrowListIndex(index);
  return entries_[static_cast<size_t>(index)].value.get();
}

int32_t TgtPDFDictObject::IndexOfKey(std::string_view key) const {
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].key->Text() == key) return static_cast<int32_t>(i);
  }
  return -1;
}

TgtPDFObject* TgtPDFDictObject::Lookup(std::string_view key) const {
  const int32_t index = IndexOfKey(key);
  return index < 0 ? nullptr : entries_[static_cast<size_t>(index)].value.get();
}

void TgtPDFDictObject::SetValue(std::string_view key, TgtPDFObjectPtr value) {
  const int32_t index = IndexOfKey(key);
  if (index < 0) {
    AddValue(key, std::move(value));
    return;
  }
  entries_[static_cast<size_t>(index)].value = std::move(value);
}

void TgtPDFDictObject::SetName(std::string_view key, std::string_view name) {
  SetValue(key, std::make_unique<TgtPDFNameObject>(std::string(name)));
}

void TgtPDFDictObject::SetBoolean(std::string_view key, bool value) {
  SetValue(key, std::make_unique<TgtPDFBooleanObject>(value));
}

void TgtPDFDictObject::SetInteger(std::string_view key, int32_t value) {
  SetValue(key, std::make_unique<TgtPDFIntegerObject>(value));
}

TgtPDFObjectPtr TgtPDFDictObject::PutValueAt(int32_t index, TgtPDFObjectPtr value) {
  // A negative index is as far out of bounds as one past the end.
  if (!InRange(index, entries_.size())) throw EInvalidIndex(msg::kIndexOutOfBounds);
  TgtPDFObjectPtr old = std::move(entries_[static_cast<size_t>(index)].value);
  entries_[static_cast<size_t>(index)].value = std::move(value);
  return old;
}

void TgtPDFDictObject::DeleteAt(int32_t index) {
  if (!InRange(index, entries_.size())) ThrowListIndex(index);
  entries_.erase(entries_.begin() + index);
}

void TgtPDFDictObject::Remove(std::string_view key) {
  const int32_t index = IndexOfKey(key);
  if (index >= 0) DeleteAt(index);
}

void TgtPDFDictObject::MergeFrom(const TgtPDFDictObject* other) {
  if (!other) return;
  // By index, cloning before each SetValue: merging a dictionary into itself
  // then replaces values with copies of themselves and stays well defined.
  for (int32_t i = 0; i < other->Count(); ++i) {
    TgtPDFObjectPtr copy = CloneOrNull(other->entries_[static_cast<size_t>(i)].value.get());
    const std::string key = other->entries_[static_cast<size_t>(i)].key->Text();
    SetValue(key, std::move(copy));
  }
}

TgtPDFObjectPtr TgtPDFDictObject::TakeValueAt(int32_t index) {
  if (!InRange(index, entries_.size())) ThrowListIndex(index);
  return std::move(entries_[static_cast<size_t>(index)].value);
}

// --- Streams ---------------------------------------------------------------

TgtPDFObjectPtr TgtPDFStreamObject::Clone() const {
  auto dictionary = std::unique_ptr<TgtPDFDictObject>(
      static_cast<TgtPDFDictObject*>(dictionary_->Clone().release()));
  // The whole data whatever the stream's position; the copy starts at 0.
  // Data still in the source stays there: the copy refers to it too.
  std::unique_ptr<TMemoryStream> data;
  if (data_) data = std::make_unique<TMemoryStream>(data_->Bytes());
  auto copy = std::make_unique<TgtPDFStreamObject>(std::move(dictionary), std::move(data));
  if (!data_ && extent_) copy->extent_ = std::make_unique<TgtStreamExtent>(*extent_);
  return copy;
}

std::string TgtPDFStreamObject::ReadData() const {
  if (data_) return data_->Bytes();
  if (!extent_) return std::string();
  const TgtStreamExtent& extent = *extent_;
  std::string bytes(static_cast<size_t>(extent.length), '\0');
  if (!extent.source || !extent.source->ReadAt(extent.offset, bytes.data(), extent.length))
    throw EFileError(Format(msg::kSourceDataMissing, extent.number));
  if (extent.encrypted) 
    extent.source->Decrypt(bytes, &Dictionary(), extent.number, extent.generation);
  return bytes;
}

TMemoryStream* TgtPDFStreamObject::Data() const {
  if (!data_ && extent_) data_ = std::make_unique<TMemoryStream>(ReadData());
  return data_.get();
}

int64_t TgtPDFStreamObject::DataSize() const {
  if (data_) return data_->Size();
  return extent_ ? extent_->length : 0;
}

// --- Indirect objects ------------------------------------------------------

TgtPDFObjectPtr TgtPDFIndirectObject::Clone() const {
  auto copy = std::make_unique<TgtPDFIndirectObject>(serial_, number_, generation_, nullptr);
  CopyInto(*copy);
  return copy;
}

void TgtPDFIndirectObject::CopyInto(TgtPDFIndirectObject& target) const {
  target.serial_ = serial_;
  target.number_ = number_;
  target.generation_ = generation_;
  target.content_ = CloneOrNull(content_.get());
}

// --- Value utilities -------------------------------------------------------

double NumberValue(const TgtPDFObject* object) {
  if (object) {
    switch (object->Tag()) {
      case otInteger:
        return object->AsInteger().Value();
      case otInt64:
        return static_cast<double>(object->AsInt64().Value());
      case otReal:
        return object->AsReal().Value();
      default:
        break;
    }
  }
  throw EUnexpectedObjectError(msg::kUnexpectedObject);
}

std::array<double, 4> ReadRectangle(const TgtPDFArrayObject& array) {
  return {NumberValue(array.ItemAt(0)), NumberValue(array.ItemAt(1)), NumberValue(array.ItemAt(2)),
          NumberValue(array.ItemAt(3))};
}

}  // namespace pagemint
