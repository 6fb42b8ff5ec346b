// SPDX-License-Identifier: GPL-3.0-or-later
// Where the objects of a file are: the two location tables filled from
// classic cross-reference sections and from cross-reference streams, and
// the values collected from the trailers.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "pdf/limits.h"
#include "pdf/objects/pdf_objects.h"

namespace pagemint {


// One in-use entry of a classic section.
struct TgtXRefItem {
  int32_t generation = 0;
  char type = 'n';
  int32_t number = 0;
  int32_t offset = 0;
};

// One entry of a cross-reference stream.
struct TgtXRefStmItem {
  int32_t type = 0;    // 0 free, 1 at an offset, 2 inside an object stream
  int32_t field2 = 0;  // offset (type 1) or object-stream number (type 2)
  int32_t field3 = 0;  // generation (type 1) or index in the object stream (type 2)
};

// A list indexed by object number with empty slots where nothing was read.
// Numbers are dense in a sound file, but a damaged one may claim a single
// object numbered in the millions: numbers close to those already held go
// into a flat array grown on demand, a number far beyond them into a sorted
// map, so memory follows the entries the file has, not the numbers it names.
template <class Item>
class TgtLocationTable {
 public:
  // One past the highest number stored or reserved.
  int32_t SlotCount() const { return slot_count_; }
  bool Empty() const { return slot_count_ == 0; }
  // How many entries are stored.
  size_t Count() const { return count_; }
  // The entry in slot number, or nullptr for an empty or missing slot.
  const Item* At(int32_t number) const {
    if (number < 0 || number >= slot_count_) return nullptr;
    if (static_cast<size_t>(number) < dense_.size()) {
      const auto& slot = dense_[static_cast<size_t>(number)];
      return slot ? &*slot : nullptr;
    }
    const auto it = sparse_.find(number);
    return it == sparse_.end() ? nullptr : &it->second;
  }
  // Makes number a slot (an empty one unless something is put there).
  void Reserve(int32_t number) { slot_count_ = std::max(slot_count_, number + 1); }
  void Put(int32_t number, const Item& item) {
    Reserve(number);
    if (static_cast<size_t>(number) >= dense_.size() && static_cast<size_t>(number) < DenseReach())
      GrowDense(static_cast<size_t>(number) + 1);
    if (static_cast<size_t>(number) < dense_.size()) {
      auto& slot = dense_[static_cast<size_t>(number)];
      count_ += !slot;
      slot = item;
      return;
    }
    count_ += sparse_.insert_or_assign(number, item).second;
  }
  // Empties slot number (a later definition elsewhere replaced it).
  void Erase(int32_t number) {
    if (number < 0 || number >= slot_count_) return;
    if (static_cast<size_t>(number) < dense_.size()) {
      auto& slot = dense_[static_cast<size_t>(number)];
      count_ -= slot.has_value();
      slot.reset();
      return;
    }
    count_ -= sparse_.erase(number);
  }
  // Calls visit(number, item) for every entry, in ascending number order.
  template <class Visit>
  void ForEach(Visit&& visit) const {
    for (size_t n = 0; n < dense_.size(); ++n)
      if (dense_[n]) visit(static_cast<int32_t>(n), *dense_[n]);
    for (const auto& [number, item] : sparse_) visit(number, item);
  }
  void Clear() {
    dense_.clear();
    sparse_.clear();
    slot_count_ = 0;
    count_ = 0;
  }
  // Gives back the room that growing by doubling left unused: the table
  // lives as long as the document, through the peak of a save.
  void Compact() { dense_.shrink_to_fit(); }

 private:
  // The flat array takes a number below twice the entries held (or below a
  // small start): a run of numbers grows it, a few far numbers do not.
  static constexpr size_t kDenseStart = 4096;
  size_t DenseReach() const { return std::max(kDenseStart, count_ * 2); }
  void GrowDense(size_t size) {
    dense_.resize(std::max(size, std::min(DenseReach(), dense_.size() * 2)));
    // Entries the map held below the new end move into the array.
    for (auto it = sparse_.begin(); it != sparse_.end() && static_cast<size_t>(it->first) < dense_.size();) {
      dense_[static_cast<size_t>(it->first)] = it->second;
      it = sparse_.erase(it);
    }
  }

  std::vector<std::optional<Item>> dense_;
  std::map<int32_t, Item> sparse_;
  int32_t slot_count_ = 0;
  size_t count_ = 0;
};

using TgtXRefTable = TgtLocationTable<TgtXRefItem>;
using TgtXRefStmTable = TgtLocationTable<TgtXRefStmItem>;

// The values taken from the trailers, newest first.
struct TgtPDFTrailer {
  int32_t root_number = -1;
  TgtPDFObjectPtr encrypt;  // after loading: a resolved dictionary
  std::unique_ptr<TgtPDFIndirectReference> info;
  std::unique_ptr<TgtPDFArrayObject> id;
  // The raw /ID value as the trailer gave it, until it is resolved.
  TgtPDFObjectPtr raw_id;
};

}  // namespace pagemint
