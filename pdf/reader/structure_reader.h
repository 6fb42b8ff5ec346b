// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the document structure: the catalog, the page tree flattened
// into the page list, named destinations, outlines, the interactive form
// and the document information. Everything they refer to is loaded into
// the store, so the file is no longer needed afterwards.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>

#include "pdf/reader/object_loader.h"

namespace pagemint {

class TgtStructureReader {
 public:
  explicit TgtStructureReader(TgtObjectLoader& loader)
      : loader_(loader), state_(loader.State()), reporter_(loader.Reporter()) {}

  // Fills the page list, the catalog holder, the named-destination table,
  // the outline tree, the form field list and the document information.
  void ReadCatalog();
  // Appends the pages below node number; inherited holds the attributes
  // passed down from the nodes above (may be nullptr).
  void ReadPageTree(int32_t number, const TgtPDFDictObject* inherited, int depth = 0);
  // Adds the pairs of a name tree node and its kids to the table.
  void ReadNameTree(const TgtPDFDictObject& node, int depth = 0);
  // A copy of the destination named name, or nullptr.
  TgtPDFObjectPtr FindNamedDestination(const std::string& name) const;
  // The outline item number and its following siblings; nullptr when the
  // item cannot be found.
  std::unique_ptr<TgtPDFOutline> ReadOutlineItem(int32_t number, TgtPDFOutline* parent,
                                                 TgtPDFOutline* previous, int depth = 0);
  void ReadFormFields(TgtPDFDictObject& form);

 private:
  std::unique_ptr<TgtPDFDictObject> ReadCatalogDictionary(std::string& problem);
  void ReadRepairedPageTree(const TgtPDFObject* pages, const std::string& catalog_problem);
  void GatherPages();
  std::unique_ptr<TgtPDFDictObject> InheritedFromParents(const TgtPDFDictObject& page);
  void ReadPageNode(TgtTakenObject node, const TgtPDFDictObject* inherited, int depth);
  void ReadKid(const TgtPDFObject* kid, int32_t parent, const TgtPDFDictObject* inherited,
               int depth);
  void ReadDirectKid(const TgtPDFDictObject& kid, const TgtPDFDictObject* inherited, int depth);
  // Whether the reader passes damage over (the load's second attempt).
  bool Repairing() const;
  void DropLostContents(TgtPDFDictObject& page);
  template <class Read, class Drop>
  void ReadPart(const char* part, Read read, Drop drop);
  void ReadInformation();
  void ReadViewSettings(const TgtPDFDictObject& catalog);
  void ReadDestinationsDictionary(const TgtPDFDictObject& dests);
  void ReadDestinationNameTree(const TgtPDFDictObject& names);
  void ReadAnnotations();
  void ReadInteractiveForm(const TgtPDFObject& value);
  void ReadNames(const TgtPDFObject& value);
  void KeepOtherEntries(const TgtPDFDictObject& catalog);
  TgtNamedDestinations& Destinations();
  // Builds one outline item (without its siblings); nullptr when absent.
  std::unique_ptr<TgtPDFOutline> ReadOneOutlineItem(int32_t number, TgtPDFOutline* parent,
                                                    TgtPDFOutline* previous, int depth,
                                                    int32_t& next_number);
  void ResolveDestinationEntry(TgtPDFDictObject& dictionary, const char* key);
  void FixUpAction(TgtPDFDictObject& item);
  void ReadField(const TgtPDFIndirectReference& reference, const std::string& parent_name,
                 const std::string& appearance, TgtPDFDictObject* fonts, int depth);

  TgtObjectLoader& loader_;
  TgtPDFDocumentState& state_;
  TgtReadReporter& reporter_;
  std::unordered_set<int32_t> page_nodes_;
  std::unordered_set<int32_t> name_nodes_;
  std::unordered_set<int32_t> outline_items_;
  std::unordered_set<int32_t> fields_;
};

}  // namespace pagemint
