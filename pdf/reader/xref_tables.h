// Where the objects of a file are: the two location tables filled from
// classic cross-reference sections and from cross-reference streams, and
// the values collected from the trailers.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "pdf/objects/pdf_objects.h"

namespace pagemint {

// Object numbers above this are refused. The tables are indexed by object
// number, so an absurd number in a damaged file would otherwise allocate
// gigabytes; this is the largest number conforming writers may use.
inline constexpr int32_t kMaxObjectNumber = 8388607;

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
template <class Item>
class TgtLocationTable {
 public:
  int32_t SlotCount() const { return static_cast<int32_t>(slots_.size()); }
  bool Empty() const { return slots_.empty(); }
  // The entry in slot number, or nullptr for an empty or missing slot.
  const Item* At(int32_t number) const {
    if (number < 0 || number >= SlotCount()) return nullptr;
    const auto& slot = slots_[static_cast<size_t>(number)];
    return slot ? &*slot : nullptr;
  }
  // Grows the table with empty slots until number is a slot.
  void Reserve(int32_t number) {
    if (number >= SlotCount()) slots_.resize(static_cast<size_t>(number) + 1);
  }
  void Put(int32_t number, const Item& item) {
    Reserve(number);
    slots_[static_cast<size_t>(number)] = item;
  }
  // Empties slot number (a later definition elsewhere replaced it).
  void Erase(int32_t number) {
    if (number >= 0 && number < SlotCount()) slots_[static_cast<size_t>(number)].reset();
  }
  void Clear() { slots_.clear(); }
  // Gives back the room that growing by doubling left unused: the table
  // lives as long as the document, through the peak of a save.
  void Compact() { slots_.shrink_to_fit(); }

 private:
  std::vector<std::optional<Item>> slots_;
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
