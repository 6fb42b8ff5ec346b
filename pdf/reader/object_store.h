// SPDX-License-Identifier: GPL-3.0-or-later
// The registry of a document's indirect objects.
//
// Objects stay in registration order (the writer numbers them in that
// order) and are found by (document serial, number, generation) through a
// hash index. When two objects with the same triple are registered, both
// stay in the order but the first one is the one found.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

#include "pdf/limits.h"
#include "pdf/objects/pdf_objects.h"

namespace pagemint {


// Whether object is of kind T (any kind for TgtPDFObject itself).
template <class T>
bool IsObjectKind(const TgtPDFObject& object) {
  if constexpr (std::is_same_v<T, TgtPDFObject>) return true;
  else if constexpr (std::is_same_v<T, TgtPDFBooleanObject>) return object.IsBoolean();
  else if constexpr (std::is_same_v<T, TgtPDFIntegerObject>) return object.IsInteger();
  else if constexpr (std::is_same_v<T, TgtPDFInt64Object>) return object.IsInt64();
  else if constexpr (std::is_same_v<T, TgtPDFRealObject>) return object.IsReal();
  else if constexpr (std::is_same_v<T, TgtPDFStringObject>) return object.IsString();
  else if constexpr (std::is_same_v<T, TgtPDFNameObject>) return object.IsName();
  else if constexpr (std::is_same_v<T, TgtPDFArrayObject>) return object.IsArray();
  else if constexpr (std::is_same_v<T, TgtPDFDictObject>) return object.IsDictionary();
  else if constexpr (std::is_same_v<T, TgtPDFStreamObject>) return object.IsStream();
  else if constexpr (std::is_same_v<T, TgtPDFNullObject>) return object.IsNull();
  else static_assert(sizeof(T) == 0, "not an object kind a value can have");
}

// Raises EUnexpectedObjectError "Unexpected PDF object encountered".
[[noreturn]] void ThrowUnexpectedObject();

// nullptr, or object as a T; any other kind raises EUnexpectedObjectError.
template <class T>
T* AsObjectKind(TgtPDFObject* object) {
  if (!object) return nullptr;
  if (!IsObjectKind<T>(*object)) ThrowUnexpectedObject();
  return static_cast<T*>(object);
}
// The core of every resolver, the store's and the loader's: follows the
// references starting at object, each through find(reference), which
// gives the target indirect object or nullptr. Returns the first value
// that is not a reference; nullptr when a target is missing, and when the
// chain is longer than kMaxReferenceChain, with broken_at set to the
// number of the object where it stopped.
template <class Find>
TgtPDFObject* FollowChain(TgtPDFObject* object, Find&& find, std::optional<int32_t>& broken_at) {
  for (int step = 0; object && object->IsReference(); ++step) {
    const TgtPDFIndirectReference& reference = object->AsReference();
    if (step == kMaxReferenceChain) {
      broken_at = reference.Number();
      return nullptr;
    }
    TgtPDFIndirectObject* target = find(reference);
    object = target ? target->Content() : nullptr;
  }
  return object;
}

struct TgtObjectKey {
  uint32_t serial;
  int32_t number;
  uint16_t generation;
  bool operator==(const TgtObjectKey&) const = default;
};

// The index from key to registration index. Objects of the store's own
// document with generation 0 (nearly all of them) are found in a flat
// array by object number; every other key in an open-addressing hash
// table. Neither allocates per entry, so a store of a few hundred thousand
// objects is filled and searched without chasing pointers.
class TgtObjectIndex {
 public:
  // The index stored for key, or -1.
  int32_t Find(const TgtObjectKey& key) const;
  // Stores index for key unless key is there already (the first wins).
  void Insert(const TgtObjectKey& key, int32_t index);
  void Clear() {
    slots_.clear();
    used_ = 0;
    dense_.clear();
    dense_used_ = 0;
    dense_serial_ = 0;
    has_dense_serial_ = false;
  }
  // Room for objects numbered up to count without growing.
  void Reserve(size_t count) {
    if (count <= kMaxDenseNumber) dense_.reserve(count);
  }

 private:
  struct Slot {
    TgtObjectKey key;
    int32_t index = -1;  // -1: empty
  };
  // The 64-bit finaliser of MurmurHash3 over the packed triple: every
  // input bit reaches the low bits that pick the slot.
  static uint64_t Hash(const TgtObjectKey& key) {
    uint64_t h = static_cast<uint32_t>(key.number) | static_cast<uint64_t>(key.generation) << 32 |
                 static_cast<uint64_t>(key.serial) << 48;
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    return h ^ (h >> 33);
  }
  void Grow();

  // Object numbers up to this go into the flat array; it bounds the
  // array's size whatever number an object is given.
  static constexpr size_t kMaxDenseNumber = size_t{1} << 24;
  // The flat array grows to a number below twice the entries held (or
  // this, at first); a lone far number is hashed instead.
  static constexpr size_t kDenseStart = 4096;
  // The flat array's slot for key, or nullptr when key is not for it.
  int32_t* DenseSlot(const TgtObjectKey& key, bool grow);

  std::vector<Slot> slots_;  // a power of two in size, at most half full
  size_t used_ = 0;
  std::vector<int32_t> dense_;  // by object number; -1 for none
  size_t dense_used_ = 0;       // slots of dense_ that hold an index
  uint32_t dense_serial_ = 0;   // the serial of the first key inserted
  bool has_dense_serial_ = false;
};

class TgtPDFObjectStore {
 public:
  TgtPDFObjectStore() = default;
  TgtPDFObjectStore(const TgtPDFObjectStore&) = delete;
  TgtPDFObjectStore& operator=(const TgtPDFObjectStore&) = delete;

  // Adds 1 to the number counter and returns the new value.
  int32_t NextObjectNumber() { return ++counter_; }
  int32_t NumberCounter() const { return counter_; }
  // Room for count registrations without growing (a hint).
  void Reserve(int32_t count) {
    if (count <= 0) return;
    objects_.reserve(static_cast<size_t>(count));
    index_.Reserve(static_cast<size_t>(count));
  }
  void SetNumberCounter(int32_t value) { counter_ = value; }

  // Takes ownership and registers; nothing raises ENullObjectError.
  // Returns the registered object.
  TgtPDFIndirectObject* Add(std::unique_ptr<TgtPDFIndirectObject> object);

  TgtPDFIndirectObject* Find(uint32_t serial, int32_t number, uint16_t generation) const;
  TgtPDFIndirectObject* Find(const TgtPDFIndirectReference& reference) const {
    return Find(reference.Serial(), reference.Number(), reference.Generation());
  }
  TgtPDFIndirectObject* Find(const TgtPDFIndirectObject& object) const {
    return Find(object.Serial(), object.Number(), object.Generation());
  }
  // Index of the object (serial, number, generation 0), -1 when absent.
  int32_t IsRegistered(uint32_t serial, int32_t number) const;
  // Registration index of the object found for the triple, -1 when none.
  int32_t IndexOf(uint32_t serial, int32_t number, uint16_t generation) const {
    return index_.Find(TgtObjectKey{serial, number, generation});
  }

  int32_t Count() const { return static_cast<int32_t>(objects_.size()); }
  // In registration order; an index out of range raises EListError.
  TgtPDFIndirectObject* ItemAt(int32_t index) const;

  // The store's resolver. Follows references through the store (an
  // indirect object stands for its content) until an object of another
  // kind; nullptr when the start is nullptr, a target is not registered or
  // the chain is broken (see FollowChain). Never reads a file; returns the
  // registered objects themselves.
  TgtPDFObject* Follow(TgtPDFObject* object) const;
  const TgtPDFObject* Follow(const TgtPDFObject* object) const {
    return Follow(const_cast<TgtPDFObject*>(object));
  }
  // The same for a value of kind T: a reference is followed, anything
  // else is taken as it stands (a value is never an indirect object);
  // nullptr or a T comes back, any other kind raises
  // EUnexpectedObjectError.
  template <class T>
  T* FollowAs(TgtPDFObject* object) const {
    if (object && object->IsReference()) {
      object = Follow(object);
      if (!object) return nullptr;
    }
    return AsObjectKind<T>(object);
  }
  // A copy of the array found like FollowAs; null gives nullptr and a
  // name gives a new one-item array holding a copy of it.
  std::unique_ptr<TgtPDFArrayObject> FollowArrayOrName(TgtPDFObject* object) const;

 private:

  int32_t counter_ = 0;
  std::vector<std::unique_ptr<TgtPDFIndirectObject>> objects_;
  TgtObjectIndex index_;
};

}  // namespace pagemint
