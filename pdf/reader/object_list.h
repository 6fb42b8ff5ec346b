// A list of (key, object) pairs in the order they were added. The list
// does not own the objects. Find answers through a hash index, so a list
// of any length is searched in constant time.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "pdf/objects/pdf_objects.h"

namespace pagemint {

class TgtObjectList {
 public:
  struct Entry {
    int32_t key;
    TgtPDFObject* object;
  };

  // Appends and returns the new index; a negative key raises EInvalidID.
  int32_t Add(int32_t key, TgtPDFObject* object);
  // Index of the first entry with key, -1 when none.
  int32_t Find(int32_t key) const;
  int32_t Count() const { return static_cast<int32_t>(entries_.size()); }
  // An index outside 0 to Count() - 1 raises "List index out of bounds (%d)".
  const Entry& ItemAt(int32_t index) const;
  // Forgets every entry; the objects are not freed.
  void Clear();

 private:
  std::vector<Entry> entries_;
  std::unordered_map<int32_t, int32_t> first_index_;
};

}  // namespace pagemint
