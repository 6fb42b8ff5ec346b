#include "pdf/reader/object_list.h"

#include "pdf/streams/stream_wrappers.h"
#include "platform/messages.h"

namespace pagemint {

int32_t TgtObjectList::Add(int32_t key, TgtPDFObject* object) {
  if (key < 0) throw EInvalidID(Format(msg::kInvalidUniqueId, key));
  const int32_t index = Count();
  entries_.push_back({key, object});
  first_index_.emplace(key, index);
  return index;
}

int32_t TgtObjectList::Find(int32_t key) const {
  const auto it = first_index_.find(key);
  return it == first_index_.end() ? -1 : it->second;
}

const TgtObjectList::Entry& TgtObjectList::ItemAt(int32_t index) const {
  if (index < 0 || index >= Count()) throw Exception(Format(msg::kListIndex, index));
  return entries_[static_cast<size_t>(index)];
}

void TgtObjectList::Clear() {
  entries_.clear();
  entries_.shrink_to_fit();
  first_index_.clear();
}

}  // namespace pagemint
