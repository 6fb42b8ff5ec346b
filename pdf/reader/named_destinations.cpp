// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/reader/named_destinations.h"

namespace pagemint {

void TgtNamedDestinations::Add(std::string name, TgtPDFObjectPtr destination) {
  if (!destination) destination = std::make_unique<TgtPDFNullObject>();
  index_.emplace(name, Count());
  entries_.emplace_back(std::move(name), std::move(destination));
}

TgtPDFObjectPtr TgtNamedDestinations::Find(const std::string& name) const {
  const auto it = index_.find(name);
  if (it == index_.end()) return nullptr;
  return entries_[static_cast<size_t>(it->second)].second->Clone();
}

}  // namespace pagemint
