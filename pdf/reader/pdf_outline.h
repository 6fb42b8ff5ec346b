// SPDX-License-Identifier: GPL-3.0-or-later
// Outline items as read from the source: a tree of first-child and
// next-sibling links, rebuilt into objects by the writer.
#pragma once

#include <memory>
#include <vector>

#include "pdf/objects/pdf_objects.h"

namespace pagemint {

class TgtPDFOutline : public TgtPDFIndirectObject {
 public:
  // content may be nullptr (nothing was left of the source dictionary).
  TgtPDFOutline(uint32_t serial, int32_t number, uint16_t generation, TgtPDFObjectPtr content,
                const std::vector<TgtPDFIndirectObject*>* pages)
      : TgtPDFIndirectObject(serial, number, generation, std::move(content)), pages_(pages) {}
  // Frees the first child and the following siblings, without recursing
  // along the sibling chain (a long outline must not exhaust the stack).
  ~TgtPDFOutline() override;

  TgtPDFDictObject* Dictionary() const {
    return Content() && Content()->IsDictionary() ? &Content()->AsDictionary() : nullptr;
  }
  const std::vector<TgtPDFIndirectObject*>* PageList() const { return pages_; }

  bool Closed() const { return closed_; }
  void SetClosed(bool closed) { closed_ = closed; }
  TgtPDFOutline* Parent() const { return parent_; }
  void SetParent(TgtPDFOutline* parent) { parent_ = parent; }
  TgtPDFOutline* Previous() const { return previous_; }
  void SetPrevious(TgtPDFOutline* previous) { previous_ = previous; }
  TgtPDFOutline* FirstChild() const { return first_child_.get(); }
  void SetFirstChild(std::unique_ptr<TgtPDFOutline> child) { first_child_ = std::move(child); }
  TgtPDFOutline* Next() const { return next_.get(); }
  void SetNext(std::unique_ptr<TgtPDFOutline> next) { next_ = std::move(next); }

 private:
  const std::vector<TgtPDFIndirectObject*>* pages_;
  bool closed_ = false;
  TgtPDFOutline* parent_ = nullptr;
  TgtPDFOutline* previous_ = nullptr;
  std::unique_ptr<TgtPDFOutline> first_child_;
  std::unique_ptr<TgtPDFOutline> next_;
};

}  // namespace pagemint
