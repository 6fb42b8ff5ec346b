// The registry of a document's indirect objects.
//
// Objects stay in registration order (the writer numbers them in that
// order) and are found by (document serial, number, generation) through a
// hash index. When two objects with the same triple are registered, both
// stay in the order but the first one is the one found.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "pdf/objects/pdf_objects.h"

namespace pagemint {

struct TgtObjectKey {
  uint32_t serial;
  int32_t number;
  uint16_t generation;
  bool operator==(const TgtObjectKey&) const = default;
};

struct TgtObjectKeyHash {
  size_t operator()(const TgtObjectKey& k) const noexcept {
    uint64_t h = (static_cast<uint64_t>(static_cast<uint32_t>(k.number)) << 16) ^ k.generation;
    h ^= static_cast<uint64_t>(k.serial) << 48 | static_cast<uint64_t>(k.serial) >> 16;
    h *= 0x9E3779B97F4A7C15ull;
    return static_cast<size_t>(h ^ (h >> 32));
  }
};

class TgtPDFObjectStore {
 public:
  TgtPDFObjectStore() = default;
  TgtPDFObjectStore(const TgtPDFObjectStore&) = delete;
  TgtPDFObjectStore& operator=(const TgtPDFObjectStore&) = delete;

  // Adds 1 to the number counter and returns the new value.
  int32_t NextObjectNumber() { return ++counter_; }
  int32_t NumberCounter() const { return counter_; }
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

  int32_t Count() const { return static_cast<int32_t>(objects_.size()); }
  // In registration order; an index out of range raises EListError.
  TgtPDFIndirectObject* ItemAt(int32_t index) const;

  // Follows references through the store (and an indirect object to its
  // content) until an object of another kind. nullptr when the start is
  // nullptr or a target is not registered. Never reads a file; returns
  // the registered objects themselves.
  TgtPDFObject* Follow(TgtPDFObject* object) const;
  // nullptr or an object of the wanted kind comes back unchanged; a
  // reference is followed; any other kind raises EUnexpectedObjectError.
  TgtPDFIntegerObject* FollowInteger(TgtPDFObject* object) const;
  TgtPDFNameObject* FollowName(TgtPDFObject* object) const;
  TgtPDFStringObject* FollowString(TgtPDFObject* object) const;
  TgtPDFDictObject* FollowDict(TgtPDFObject* object) const;
  TgtPDFArrayObject* FollowArray(TgtPDFObject* object) const;
  // A copy of the array found like FollowArray; null gives nullptr and a
  // name gives a new one-item array holding a copy of it.
  std::unique_ptr<TgtPDFArrayObject> FollowArrayOrName(TgtPDFObject* object) const;

 private:
  // The object a reference chain starting at object ends on, or nullptr.
  TgtPDFObject* Target(TgtPDFObject* object) const;

  int32_t counter_ = 0;
  std::vector<std::unique_ptr<TgtPDFIndirectObject>> objects_;
  std::unordered_map<TgtObjectKey, int32_t, TgtObjectKeyHash> index_;
};

}  // namespace pagemint
