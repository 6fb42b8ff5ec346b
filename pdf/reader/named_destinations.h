// SPDX-License-Identifier: GPL-3.0-or-later
// The named-destination table: (name, destination) pairs in the order
// they were read. Names are looked up through a hash index, so the table
// need not be sorted; when a name occurs twice the first pair wins.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "pdf/objects/pdf_objects.h"

namespace pagemint {

class TgtNamedDestinations {
 public:
  // destination is an explicit destination array or a null object.
  void Add(std::string name, TgtPDFObjectPtr destination);
  int32_t Count() const { return static_cast<int32_t>(entries_.size()); }
  const std::string& NameAt(int32_t index) const {
    return entries_.at(static_cast<size_t>(index)).first;
  }
  const TgtPDFObject& DestinationAt(int32_t index) const {
    return *entries_.at(static_cast<size_t>(index)).second;
  }
  // A new copy of the destination for name, or nullptr.
  TgtPDFObjectPtr Find(const std::string& name) const;

 private:
  std::vector<std::pair<std::string, TgtPDFObjectPtr>> entries_;
  std::unordered_map<std::string, int32_t> index_;
};

}  // namespace pagemint
