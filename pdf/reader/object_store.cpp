// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/reader/object_store.h"

#include <algorithm>

#include "pdf/parser/stream_reader.h"
#include "platform/messages.h"

namespace pagemint {
int32_t* TgtObjectIndex::DenseSlot(const TgtObjectKey& key, bool grow) {
  if (key.generation != 0 || key.number < 0 || static_cast<size_t>(key.number) > kMaxDenseNumber)
    return nullptr;
  if (!has_dense_serial_) {
    dense_serial_ = key.serial;
    has_dense_serial_ = true;
  }
  if (key.serial != dense_serial_) return nullptr;
  const size_t number = static_cast<size_t>(key.number);
  if (number >= dense_.size()) {
    // A number far beyond those held goes to the hash table: one object
    // numbered in the millions must not cost an array of millions.
    const size_t reach = std::max(kDenseStart, (dense_used_ + used_) * 2);
    if (!grow || number >= reach) return nullptr;
    dense_.resize(std::max(number + 1, std::min(reach, dense_.size() * 2)), -1);
  }
  return &dense_[number];
}

int32_t TgtObjectIndex::Find(const TgtObjectKey& key) const {
  if (key.generation == 0 && key.serial == dense_serial_ && key.number >= 0 &&
      static_cast<size_t>(key.number) < dense_.size() && has_dense_serial_) {
    const int32_t index = dense_[static_cast<size_t>(key.number)];
    if (index >= 0) return index;
  }
  if (slots_.empty()) return -1;
  const size_t mask = slots_.size() - 1;
  for (size_t i = Hash(key) & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.index < 0) return -1;
    if (slot.key == key) return slot.index;
  }
}

void TgtObjectIndex::Insert(const TgtObjectKey& key, int32_t index) {
  if (int32_t* slot = DenseSlot(key, true)) {
    // The hash table may hold key from before the array reached it.
    if (*slot < 0 && Find(key) < 0) {
      *slot = index;
      ++dense_used_;
    }
    return;
  }
  if ((used_ + 1) * 2 > slots_.size()) Grow();
  const size_t mask = slots_.size() - 1;
  for (size_t i = Hash(key) & mask;; i = (i + 1) & mask) {
    Slot& slot = slots_[i];
    if (slot.index < 0) {
      slot.key = key;
      slot.index = index;
      ++used_;
      return;
    }
    if (slot.key == key) return;
  }
}

void TgtObjectIndex::Grow() {
  std::vector<Slot> old = std::move(slots_);
  slots_.assign(old.empty() ? 64 : old.size() * 2, Slot{});
  used_ = 0;
  for (const Slot& slot : old)
    if (slot.index >= 0) Insert(slot.key, slot.index);
}

TgtPDFIndirectObject* TgtPDFObjectStore::Add(std::unique_ptr<TgtPDFIndirectObject> object) {
  if (!object) throw ENullObjectError(msg::kStoreAddNothing);
  const int32_t index = Count();
  TgtPDFIndirectObject* raw = object.get();
  index_.Insert(TgtObjectKey{raw->Serial(), raw->Number(), raw->Generation()}, index);
  objects_.push_back(std::move(object));
  return raw;
}

TgtPDFIndirectObject* TgtPDFObjectStore::Find(uint32_t serial, int32_t number,
                                              uint16_t generation) const {
  const int32_t index = index_.Find(TgtObjectKey{serial, number, generation});
  return index < 0 ? nullptr : objects_[static_cast<size_t>(index)].get();
}

int32_t TgtPDFObjectStore::IsRegistered(uint32_t serial, int32_t number) const {
  return index_.Find(TgtObjectKey{serial, number, 0});
}

TgtPDFIndirectObject* TgtPDFObjectStore::ItemAt(int32_t index) const {
  if (index < 0 || index >= Count()) throw EListError(Format(msg::kListIndex, index));
  return objects_[static_cast<size_t>(index)].get();
}

void ThrowUnexpectedObject() { throw EUnexpectedObjectError(msg::kUnexpectedObject); }

TgtPDFObject* TgtPDFObjectStore::Follow(TgtPDFObject* object) const {
  if (object && object->IsIndirect()) object = object->AsIndirect().Content();
  std::optional<int32_t> broken_at;
  return FollowChain(
      object, [this](const TgtPDFIndirectReference& reference) { return Find(reference); },
      broken_at);
}

std::unique_ptr<TgtPDFArrayObject> TgtPDFObjectStore::FollowArrayOrName(
    TgtPDFObject* object) const {
  if (object && object->IsReference()) object = Follow(object);
  if (!object || object->IsNull()) return nullptr;
  if (object->IsName()) {
    auto array = std::make_unique<TgtPDFArrayObject>();
    array->Add(object->Clone());
    return array;
  }
  if (!object->IsArray()) throw EUnexpectedObjectError(msg::kUnexpectedObject);
  return std::unique_ptr<TgtPDFArrayObject>(
      static_cast<TgtPDFArrayObject*>(object->Clone().release()));
}

}  // namespace pagemint
