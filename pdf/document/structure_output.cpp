// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/document/structure_output.h"

#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "pdf/limits.h"
#include "pdf/reader/document_types.h"
#include "platform/messages.h"

namespace pagemint {
namespace {

constexpr const char kCrLf[] = "\r\n";


// key and a name value; nothing when there is no value.
void AppendLine(std::string& out, const char* key, std::string_view value) {
  if (value.empty()) return;
  out.append(key);
  out.push_back(' ');
  AppendName(out, value);
  out.append(kCrLf);
}

// key, a space and the value's text; nothing when there is no value.
void AppendValueLine(std::string& out, std::string_view key, const TgtPDFObject* value,
                     const TgtTextContext& context, int32_t number) {
  if (!value) return;
  const size_t line = out.size();
  AppendName(out, key);
  out.push_back(' ');
  const size_t start = out.size();
  AppendObjectText(out, value, &context, number);
  if (out.size() == start) {
    out.resize(line);
    return;
  }
  out.append(kCrLf);
}

std::unique_ptr<TgtPDFIndirectReference> Reference(const TgtObjectKey& key) {
  return std::make_unique<TgtPDFIndirectReference>(key.serial, key.number, key.generation);
}

class OutlineBuilder {
 public:
  OutlineBuilder(TgtPDFDocumentState& state, TgtPDFObjectStore& store,
                 const std::function<void(const char*)>& warn)
      : state_(state), store_(store), warn_(warn) {}

  void Build(TgtPDFOutline& root) {
    const TgtObjectKey root_key = KeyOf(root);
    const Chain chain = BuildChain(root.FirstChild(), root_key, 0);
    auto dictionary = std::make_unique<TgtPDFDictObject>();
    if (chain.count > 0) {
      dictionary->AddValue("/First", Reference(chain.first));
      dictionary->AddValue("/Last", Reference(chain.last));
    }
    // The root counts every visible item: its children and, through open
    // items, their descendants.
    dictionary->AddInteger("/Count", chain.visible);
    Register(root_key, std::move(dictionary));
    state_.catalog->outlines = Reference(root_key);
  }

 private:
  struct Chain {
    TgtObjectKey first{};
    TgtObjectKey last{};
    int32_t count = 0;    // kept items
    int32_t visible = 0;  // kept items and the descendants shown below open ones
  };

  // The item's own number, or one given to it now for items made in
  // memory. Kept for the whole rebuild, so every reference agrees.
  TgtObjectKey KeyOf(const TgtPDFOutline& item) {
    if (item.Number() != 0) return {item.Serial(), item.Number(), item.Generation()};
    auto [it, added] = assigned_.try_emplace(&item);
    if (added) it->second = {state_.serial, state_.store->NextObjectNumber(), 0};
    return it->second;
  }

  // Whether the item points at a page that is no longer in the document.
  bool Dropped(const TgtPDFOutline& item) {
    const TgtPDFDictObject* source = item.Dictionary();
    const TgtPDFObject* dest = source ? source->Lookup("/Dest") : nullptr;
    if (!dest || !dest->IsArray()) return false;
    const TgtPDFObject* first = dest->AsArray().ItemAt(0);
    if (first && first->IsReference()) {
      const TgtPDFIndirectObject* target = state_.store->Find(first->AsReference());
      return target && IsPage(*target) && !PageSet().count(target);
    }
    if (first && !first->IsNull() && warn_) warn_(msg::kOutlineDestNotPage);
    return false;
  }

  Chain BuildChain(TgtPDFOutline* first, const TgtObjectKey& parent, int depth) {
    Chain chain;
    std::vector<TgtPDFOutline*> kept;
    for (TgtPDFOutline* item = first; item; item = item->Next()) {
      KeyOf(*item);
      if (!Dropped(*item)) kept.push_back(item);
    }
    if (kept.empty()) return chain;
    chain.first = KeyOf(*kept.front());
    chain.last = KeyOf(*kept.back());
    chain.count = static_cast<int32_t>(kept.size());
    chain.visible = chain.count;
    // The last sibling first: each item is registered after the items that
    // follow it and after its own children.
    for (size_t i = kept.size(); i-- > 0;) {
      TgtPDFOutline& item = *kept[i];
      const TgtObjectKey key = KeyOf(item);
      auto dictionary = std::make_unique<TgtPDFDictObject>();
      if (const TgtPDFDictObject* source = item.Dictionary()) {
        CopyEntry(*source, *dictionary, "/Dest");
        CopyEntry(*source, *dictionary, "/Title");
        if (TgtPDFObject* color = source->Lookup("/C"); color && !color->IsNull()) {
          if (std::unique_ptr<TgtPDFArrayObject> array = state_.store->FollowArrayOrName(color))
            dictionary->AddValue("/C", std::move(array));
        }
        CopyEntry(*source, *dictionary, "/F");
        CopyEntry(*source, *dictionary, "/A");
      }
      dictionary->AddValue("/Parent", Reference(parent));
      if (i > 0) dictionary->AddValue("/Prev", Reference(KeyOf(*kept[i - 1])));
      if (i + 1 < kept.size()) dictionary->AddValue("/Next", Reference(KeyOf(*kept[i + 1])));
      if (item.FirstChild() && depth + 1 < kMaxOutlineNesting) {
        const Chain children = BuildChain(item.FirstChild(), key, depth + 1);
        // An open item counts the descendants it shows; a closed one the
        // descendants it would show when opened, negated.
        if (children.count > 0) {
          dictionary->AddValue("/First", Reference(children.first));
          dictionary->AddValue("/Last", Reference(children.last));
          dictionary->AddInteger("/Count", item.Closed() ? -children.visible : children.visible);
          if (!item.Closed()) chain.visible += children.visible;
        }
      }
      Register(key, std::move(dictionary));
    }
    return chain;
  }

  static bool IsPage(const TgtPDFIndirectObject& object) {
    const TgtPDFObject* content = object.Content();
    if (!content || !content->IsDictionary()) return false;
    const TgtPDFObject* type = content->AsDictionary().Lookup("/Type");
    return type && type->IsName() && type->AsName().Text() == "/Page";
  }
  const std::unordered_set<const TgtPDFIndirectObject*>& PageSet() {
    if (pages_.empty()) pages_.insert(state_.pages.begin(), state_.pages.end());
    return pages_;
  }

  static void CopyEntry(const TgtPDFDictObject& from, TgtPDFDictObject& to, const char* key) {
    if (const TgtPDFObject* value = from.Lookup(key)) to.AddValue(key, value->Clone());
  }

  void Register(const TgtObjectKey& key, std::unique_ptr<TgtPDFDictObject> dictionary) {
    store_.Add(std::make_unique<TgtPDFIndirectObject>(key.serial, key.number, key.generation,
                                                      std::move(dictionary)));
  }

  TgtPDFDocumentState& state_;
  TgtPDFObjectStore& store_;
  const std::function<void(const char*)>& warn_;
  std::unordered_map<const TgtPDFOutline*, TgtObjectKey> assigned_;
  std::unordered_set<const TgtPDFIndirectObject*> pages_;
};

}  // namespace

void AppendCatalogText(std::string& out, const TgtPDFDocumentState& state,
                       const TgtTextContext& context) {
  const TgtPDFCatalog& catalog = *state.catalog;
  out.append("<<");
  out.append(kCrLf);
  out.append("/Type /Catalog");
  out.append(kCrLf);
  out.append("/Pages ");
  out.append(std::to_string(kPageTreeNumber));
  out.append(" 0 R");
  out.append(kCrLf);
  AppendValueLine(out, "/Metadata", catalog.metadata.get(), context, kCatalogNumber);
  if (state.page_mode == pmNone)
    AppendLine(out, "/PageMode", catalog.page_mode_name);
  else if (state.page_mode < std::size(kPageModeNames))
    AppendLine(out, "/PageMode", kPageModeNames[state.page_mode]);
  if (state.page_layout == plNone)
    AppendLine(out, "/PageLayout", catalog.page_layout_name);
  else if (state.page_layout < std::size(kPageLayoutNames))
    AppendLine(out, "/PageLayout", kPageLayoutNames[state.page_layout]);
  AppendValueLine(out, "/Names", catalog.names.get(), context, kCatalogNumber);
  AppendValueLine(out, "/Outlines", catalog.outlines.get(), context, kCatalogNumber);
  // Inline, with every key it holds; an empty dictionary writes no line.
  if (const TgtPDFDictObject& preferences = catalog.viewer_preferences->Dictionary();
      preferences.Count() > 0)
    AppendValueLine(out, "/ViewerPreferences", &preferences, context, kCatalogNumber);
  AppendValueLine(out, "/AcroForm", catalog.acro_form.get(), context, kCatalogNumber);
  AppendValueLine(out, "/OpenAction", catalog.open_action.get(), context, kCatalogNumber);
  AppendValueLine(out, "/AA", catalog.additional_actions.get(), context, kCatalogNumber);
  // Language, page labels, structure tree, layers and the like: kept so a
  // save that only adds thumbnails loses none of them.
  const TgtPDFDictObject& others = *catalog.other_entries;
  for (int32_t i = 0; i < others.Count(); ++i)
    AppendValueLine(out, others.KeyAt(i)->Text(), others.ValueAt(i), context, kCatalogNumber);
  out.append(">>");
}

void AppendPageTreeText(std::string& out, const std::vector<int32_t>& page_numbers) {
  out.append("<<");
  out.append(kCrLf);
  out.append("/Type /Pages");
  out.append(kCrLf);
  out.append("/Count ");
  out.append(std::to_string(page_numbers.size()));
  out.append(kCrLf);
  out.append("/Kids [ ");
  for (const int32_t number : page_numbers) {
    if (number > 0) {
      out.append(std::to_string(number));
      out.append(" 0 R ");
    } else {
      out.append("null ");
    }
  }
  out.append("]");
  out.append(kCrLf);
  out.append(">>");
}

bool HoldsSignatures(const TgtPDFDocumentState& state) {
  const TgtPDFObjectStore& store = *state.store;
  const TgtPDFObject* form = store.Follow(state.catalog->acro_form.get());
  if (form && form->IsDictionary()) {
    const TgtPDFObject* flags = store.Follow(form->AsDictionary().Lookup("/SigFlags"));
    if (flags && flags->IsInteger() && (flags->AsInteger().Value() & 1) != 0) return true;
  }
  if (!state.form_fields) return false;
  for (const TgtAcroFormField& field : *state.form_fields) {
    if (field.field_type != "Sig" || !field.object) continue;
    const TgtPDFObject* content = field.object->Content();
    if (!content || !content->IsDictionary()) continue;
    const TgtPDFObject* value = store.Follow(content->AsDictionary().Lookup("/V"));
    if (value && !value->IsNull()) return true;
  }
  return false;
}

void RebuildOutlines(TgtPDFDocumentState& state, TgtPDFObjectStore& store,
                     const std::function<void(const char*)>& warn) {
  if (!state.outline_root) {
    state.catalog->outlines.reset();
    return;
  }
  OutlineBuilder(state, store, warn).Build(*state.outline_root);
}

}  // namespace pagemint
