// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/reader/structure_reader.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "pdf/limits.h"
#include "pdf/objects/pdf_exceptions.h"
#include "pdf/reader/reader_exceptions.h"
#include "platform/messages.h"

namespace pagemint {
namespace {


// Catalog entries with a slot of their own in the catalog holder, or that
// the writer builds afresh. Every other entry is kept as it is.
constexpr const char* kCatalogSlots[] = {
    "/Type",     "/Pages",      "/PageMode", "/PageLayout", "/ViewerPreferences", "/Metadata",
    "/AcroForm", "/OpenAction", "/AA",       "/Names",      "/Outlines"};

// Attributes that a page inherits from the nodes above it.
constexpr const char* kInheritedKeys[] = {"/Rotate", "/MediaBox", "/Resources", "/CropBox"};

bool HasSlot(const std::string& key) {
  for (const char* slot : kCatalogSlots)
    if (key == slot) return true;
  return false;
}

template <class Names>
int IndexOfName(const Names& names, const std::string& name) {
  int index = 0;
  for (const char* candidate : names) {
    if (name == candidate) return index;
    ++index;
  }
  return -1;
}

std::string NameText(TgtObjectLoader& loader, TgtPDFObject* value) {
  if (value->IsReference()) {
    TgtResolved<TgtPDFNameObject> name = loader.ResolveAs<TgtPDFNameObject>(value);
    return name ? name->Text() : std::string();
  }
  return value->AsName().Text();
}

std::unique_ptr<TgtPDFDictObject> CloneDictionary(const TgtPDFDictObject& dictionary) {
  return std::unique_ptr<TgtPDFDictObject>(
      static_cast<TgtPDFDictObject*>(dictionary.Clone().release()));
}

const TgtPDFDictObject* DictionaryOf(const TgtPDFIndirectObject* object) {
  return object && object->Content() && object->Content()->IsDictionary()
             ? &object->Content()->AsDictionary()
             : nullptr;
}

// The destination an entry of a destinations dictionary or a name tree
// stands for: a dictionary's /D array, or the array itself.
TgtPDFObjectPtr DestinationOf(const TgtPDFObject* value) {
  if (value && value->IsDictionary()) {
    const TgtPDFObject* destination = value->AsDictionary().Lookup("/D");
    if (!destination || destination->IsNull()) return std::make_unique<TgtPDFNullObject>();
    return destination->AsArray().Clone();
  }
  if (value && value->IsArray()) return value->Clone();
  throw EUnexpectedError(msg::kUnexpectedObject);
}

// The media box of a page that has lost its own: US Letter.
std::unique_ptr<TgtPDFArrayObject> LetterBox() {
  auto box = std::make_unique<TgtPDFArrayObject>();
  for (const int32_t value : {0, 0, 612, 792})
    box->Add(std::make_unique<TgtPDFIntegerObject>(value));
  return box;
}

}  // namespace

void TgtStructureReader::ReadCatalog() {
  ReadInformation();
  std::string catalog_problem;
  const std::unique_ptr<TgtPDFDictObject> catalog = ReadCatalogDictionary(catalog_problem);
  const TgtPDFDictObject& c = *catalog;

  ReadViewSettings(c);
  if (TgtPDFObject* metadata = c.Lookup("/Metadata")) {
    loader_.LoadReferencedObjects(metadata);
    state_.catalog->metadata = metadata->Clone();
  }

  reporter_.Progress(10);
  ReportStatus(reporter_, msg::kTraversingPages);
  const TgtPDFObject* pages = c.Lookup("/Pages");
  if (Repairing()) {
    ReadRepairedPageTree(pages, catalog_problem);
  } else {
    if (!pages || !pages->IsReference()) throw EPDFFileCorruptedError(msg::kNoPages);
    ReadPageTree(pages->AsReference().Number(), nullptr);
  }
  reporter_.Progress(75);

  if (TgtPDFObject* dests = c.Lookup("/Dests")) {
    ReportStatus(reporter_, msg::kProcessingDestinations);
    ReadPart("/Dests", [&] {
      if (dests->IsReference()) {
        TgtTakenObject taken = loader_.TakeObject(dests->AsReference().Number());
        if (const TgtPDFDictObject* dictionary = DictionaryOf(taken.object))
          ReadDestinationsDictionary(*dictionary);
      } else if (dests->IsDictionary()) {
        ReadDestinationsDictionary(dests->AsDictionary());
      }
    }, [&] { state_.destinations.reset(); });
  }

  reporter_.Progress(30);
  if (!state_.page_objects_unread) {
    ReportStatus(reporter_, msg::kProcessingAnnotations);
    ReadAnnotations();
  }
  reporter_.Progress(90);

  if (const TgtPDFObject* form = c.Lookup("/AcroForm")) {
    ReadPart("/AcroForm", [&] { ReadInteractiveForm(*form); }, [&] {
      state_.catalog->acro_form.reset();
      state_.form_fields.reset();
    });
    ReportStatus(reporter_, msg::kAcroFormsProcessed);
  }
  if (TgtPDFObject* action = c.Lookup("/OpenAction")) {
    ReadPart("/OpenAction", [&] {
      loader_.LoadReferencedObjects(action);
      state_.catalog->open_action = action->Clone();
    }, [&] { state_.catalog->open_action.reset(); });
  }
  if (TgtPDFObject* actions = c.Lookup("/AA")) {
    ReadPart("/AA", [&] {
      loader_.LoadReferencedObjects(actions);
      state_.catalog->additional_actions = actions->Clone();
    }, [&] { state_.catalog->additional_actions.reset(); });
  }
  if (const TgtPDFObject* names = c.Lookup("/Names")) {
    ReportStatus(reporter_, msg::kProcessingNameTree);
    ReadPart("/Names", [&] { ReadNames(*names); }, [&] { state_.catalog->names.reset(); });
  }

  reporter_.Progress(60);
  ReportStatus(reporter_, msg::kReadingOutlines);
  if (const TgtPDFObject* outlines = c.Lookup("/Outlines"); outlines && outlines->IsReference())
    ReadPart("/Outlines", [&] {
      state_.outline_root = ReadOutlineItem(outlines->AsReference().Number(), nullptr, nullptr);
    }, [&] { state_.outline_root.reset(); });
  KeepOtherEntries(c);
  reporter_.Progress(100);
}

// The catalog named by the trailer, as a copy: the page tree and the rest
// are read into the store while the catalog is in use, and a registered
// catalog stays where it is. While repairing, a catalog that cannot be
// read gives an empty one and problem says why; the pages are then
// gathered from the file.
std::unique_ptr<TgtPDFDictObject> TgtStructureReader::ReadCatalogDictionary(
    std::string& problem) {
  const int32_t root = state_.trailer.root_number;
  try {
    if (root < 0) throw EPDFFileCorruptedError(msg::kNoRoot);
    const TgtTakenObject taken = loader_.TakeObject(root);
    if (const TgtPDFDictObject* dictionary = DictionaryOf(taken.object))
      return CloneDictionary(*dictionary);
    throw EPDFFileCorruptedError(Format(msg::kCatalogMissing, root));
  } catch (const ENestingTooDeepError&) {
    throw;
  } catch (const Exception& e) {
    if (!Repairing()) throw;
    problem = e.what();
  }
  PAGEMINT_REPORT_WARNING(reporter_, msg::kCatalogLost, problem.c_str());
  auto empty = std::make_unique<TgtPDFDictObject>();
  empty->AddValue("/Type", std::make_unique<TgtPDFNameObject>("/Catalog"));
  return empty;
}

// While repairing: the page tree the catalog names, and when that gives
// no page (it is missing, lost or holds nothing readable), the pages found
// in the file instead. No page at all is still fatal, with the first
// problem met.
void TgtStructureReader::ReadRepairedPageTree(const TgtPDFObject* pages,
                                              const std::string& catalog_problem) {
  std::string problem = catalog_problem;
  if (problem.empty()) {
    try {
      if (!pages || !pages->IsReference()) throw EPDFFileCorruptedError(msg::kNoPages);
      ReadPageTree(pages->AsReference().Number(), nullptr);
      if (state_.pages.empty()) throw EPDFFileCorruptedError(msg::kNoPageReadable);
    } catch (const ENestingTooDeepError&) {
      throw;
    } catch (const Exception& e) {
      problem = e.what();
    }
  }
  if (problem.empty()) return;
  GatherPages();
  if (state_.pages.empty()) throw EPDFFileCorruptedError(problem);
  PAGEMINT_REPORT_WARNING(reporter_, msg::kPagesGathered, problem.c_str(),
                          static_cast<int>(state_.pages.size()));
}

// Every page in the file that the page tree did not give: first the trees
// below page tree nodes that have no readable parent (their pages keep
// their order), then lone page objects in the order of their numbers.
// Attributes a lone page inherits come from the parents it still names.
void TgtStructureReader::GatherPages() {
  // The numbers either table lists, in order (a damaged file may name a
  // few objects with numbers in the millions).
  std::vector<int32_t> numbers;
  state_.classic_table.ForEach([&numbers](int32_t n, const TgtXRefItem&) { numbers.push_back(n); });
  state_.stream_table.ForEach([&numbers](int32_t n, const TgtXRefStmItem&) { numbers.push_back(n); });
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  std::vector<int32_t> roots, lone_pages;
  auto type_of = [](const TgtPDFDictObject& d) {
    const TgtPDFObject* type = d.Lookup("/Type");
    return type && type->IsName() ? type->AsName().Text() : std::string();
  };
  auto dictionary_at = [this](int32_t number) -> TgtTakenObject {
    try {
      TgtTakenObject taken = loader_.TakeObject(number);
      if (DictionaryOf(taken.object)) return taken;
    } catch (const ENestingTooDeepError&) {
      throw;
    } catch (const Exception&) {
    }
    return {};
  };
  for (const int32_t number : numbers) {
    if (number < 1) continue;
    const TgtTakenObject taken = dictionary_at(number);
    if (!taken) continue;
    const TgtPDFDictObject& d = *DictionaryOf(taken.object);
    const std::string type = type_of(d);
    if (type == "/Page") {
      lone_pages.push_back(number);
    } else if (type == "/Pages" && !page_nodes_.count(number)) {
      const TgtPDFObject* parent = d.Lookup("/Parent");
      if (!parent || !parent->IsReference() || !dictionary_at(parent->AsReference().Number()))
        roots.push_back(number);
    }
  }
  for (const int32_t root : roots) {
    if (page_nodes_.count(root)) continue;
    if (TgtTakenObject node = dictionary_at(root)) ReadPageNode(std::move(node), nullptr, 0);
  }
  // Two old trees may list the same page: it is kept once.
  std::unordered_set<int32_t> have;
  std::erase_if(state_.pages, [&have](const TgtPDFIndirectObject* page) {
    return !have.insert(page->Number()).second;
  });
  for (const int32_t number : lone_pages) {
    if (!have.insert(number).second) continue;
    TgtTakenObject page = dictionary_at(number);
    if (!page) continue;
    const std::unique_ptr<TgtPDFDictObject> inherited =
        InheritedFromParents(*DictionaryOf(page.object));
    ReadPageNode(std::move(page), inherited.get(), 0);
  }
}

// The attributes a page inherits, collected up the /Parent chain as far as
// it can be read (nearest first); a page without a media box anywhere gets
// US Letter.
std::unique_ptr<TgtPDFDictObject> TgtStructureReader::InheritedFromParents(
    const TgtPDFDictObject& page) {
  auto inherited = std::make_unique<TgtPDFDictObject>();
  std::unordered_set<int32_t> seen;
  const TgtPDFObject* parent = page.Lookup("/Parent");
  TgtTakenObject node;
  for (int i = 0; i < kMaxParents && parent && parent->IsReference(); ++i) {
    const int32_t number = parent->AsReference().Number();
    if (!seen.insert(number).second) break;
    try {
      node = loader_.TakeObject(number);
    } catch (const ENestingTooDeepError&) {
      throw;
    } catch (const Exception&) {
      break;
    }
    const TgtPDFDictObject* d = DictionaryOf(node.object);
    if (!d) break;
    for (const char* key : kInheritedKeys)
      if (const TgtPDFObject* value = d->Lookup(key); value && !inherited->Lookup(key))
        inherited->AddValue(key, value->Clone());
    parent = d->Lookup("/Parent");
  }
  if (!page.Lookup("/MediaBox") && !inherited->Lookup("/MediaBox"))
    inherited->AddValue("/MediaBox", LetterBox());
  return inherited;
}

// While repairing, a part of the catalog that cannot be read (a damaged
// outline, form or name tree) is dropped with a warning instead of
// failing the load; drop undoes what the part had set up.
template <class Read, class Drop>
void TgtStructureReader::ReadPart(const char* part, Read read, Drop drop) {
  if (!Repairing()) {
    read();
    return;
  }
  try {
    read();
  } catch (const ENestingTooDeepError&) {
    throw;
  } catch (const Exception& e) {
    drop();
    PAGEMINT_REPORT_WARNING(reporter_, msg::kCatalogPartDropped, part, e.what());
  }
}

// The information dictionary, unless an object stream supplied it. What
// its entries refer to is loaded too, as the writer writes it unchanged.
void TgtStructureReader::ReadInformation() {
  if (!state_.trailer.info || state_.info->Dictionary().Count() != 0) return;
  TgtPDFIndirectReference reference(state_.trailer.info->Serial(), state_.trailer.info->Number(),
                                    state_.trailer.info->Generation());
  TgtResolved<TgtPDFDictObject> info = loader_.ResolveAs<TgtPDFDictObject>(&reference);
  if (!info) return;
  state_.info->SetDictionary(CloneDictionary(*info.value));
  loader_.LoadReferencedObjects(&state_.info->Dictionary());
}

// A page mode or layout name outside the tables is kept as it is, to be
// written back (a later addition to the standard such as /UseOC).
void TgtStructureReader::ReadViewSettings(const TgtPDFDictObject& c) {
  TgtPDFCatalog& holder = *state_.catalog;
  state_.page_mode = pmNone;
  if (TgtPDFObject* mode = c.Lookup("/PageMode")) {
    std::string name = NameText(loader_, mode);
    const int index = IndexOfName(kPageModeNames, name);
    if (index >= 0)
      state_.page_mode = static_cast<TgtPageMode>(index);
    else
      holder.page_mode_name = std::move(name);
  }
  state_.page_layout = plNone;
  if (TgtPDFObject* layout = c.Lookup("/PageLayout")) {
    std::string name = NameText(loader_, layout);
    const int index = IndexOfName(kPageLayoutNames, name);
    if (index >= 0)
      state_.page_layout = static_cast<TgtPageLayout>(index);
    else
      holder.page_layout_name = std::move(name);
  }
  TgtResolved<TgtPDFDictObject> preferences =
      loader_.ResolveAs<TgtPDFDictObject>(c.Lookup("/ViewerPreferences"));
  if (!preferences) return;
  holder.viewer_preferences->SetDictionary(CloneDictionary(*preferences.value));
  // Every key is written back, so what the values refer to must be loaded.
  loader_.LoadReferencedObjects(&holder.viewer_preferences->Dictionary());
}

void TgtStructureReader::ReadPageTree(int32_t number, const TgtPDFDictObject* inherited,
                                      int depth) {
  TgtTakenObject node = loader_.TakeObject(number);
  if (!DictionaryOf(node.object))
    throw EPDFFileCorruptedError(Format(msg::kPageNodeMissing, number));
  ReadPageNode(std::move(node), inherited, depth);
}

bool TgtStructureReader::Repairing() const {
  return state_.reader && state_.reader->Repairing();
}

// A kid of a page tree node. While repairing (the load has failed once
// already), a kid that cannot be read, is missing or is no dictionary
// stands for a page whose content is lost: an empty page takes its place,
// so the pages after it keep their numbers. Otherwise each is an error,
// which makes the load try again with repair.
void TgtStructureReader::ReadKid(const TgtPDFObject* kid, int32_t parent,
                                 const TgtPDFDictObject* inherited, int depth) {
  if (kid && kid->IsDictionary()) {
    ReadDirectKid(kid->AsDictionary(), inherited, depth);
    return;
  }
  if (!Repairing()) {
    ReadPageTree(kid ? kid->AsReference().Number() : 0, inherited, depth);
    return;
  }
  std::string problem = "not a reference";
  if (kid && kid->IsReference()) {
    const int32_t number = kid->AsReference().Number();
    TgtTakenObject node;
    try {
      node = loader_.TakeObject(number);
      problem = Format(msg::kPageNodeMissing, number);
    } catch (const ENestingTooDeepError&) {
      throw;
    } catch (const Exception& e) {
      problem = e.what();
    }
    if (node && DictionaryOf(node.object)) {
      ReadPageNode(std::move(node), inherited, depth);
      return;
    }
    if (node) problem = "not a dictionary";
  }
  PAGEMINT_REPORT_WARNING(reporter_, msg::kPageKidBlank, parent, problem.c_str());
  TgtPDFDictObject blank;
  blank.AddValue("/Type", std::make_unique<TgtPDFNameObject>("/Page"));
  if (!inherited || !inherited->Lookup("/MediaBox")) blank.AddValue("/MediaBox", LetterBox());
  ReadDirectKid(blank, inherited, depth);
}

// A kid given as a dictionary instead of a reference: it becomes an
// object of its own (a page must be one, to be written and numbered).
void TgtStructureReader::ReadDirectKid(const TgtPDFDictObject& kid,
                                       const TgtPDFDictObject* inherited, int depth) {
  TgtTakenObject node;
  node.owned = std::make_unique<TgtPDFIndirectObject>(
      state_.serial, state_.store->NextObjectNumber(), 0, kid.Clone());
  node.object = node.owned.get();
  ReadPageNode(std::move(node), inherited, depth);
}

void TgtStructureReader::ReadPageNode(TgtTakenObject node, const TgtPDFDictObject* inherited,
                                      int depth) {
  const bool repairing = Repairing();
  if (depth > kMaxPageTreeDepth) {
    if (!repairing)
      throw EPDFFileCorruptedError(Format(msg::kPageTreeTooDeep, kMaxPageTreeDepth));
    PAGEMINT_REPORT_WARNING(reporter_, msg::kPageKidSkipped, node.object->Number(),
                            Format(msg::kPageTreeTooDeep, kMaxPageTreeDepth).c_str());
    return;
  }
  const int32_t number = node.object->Number();
  if (!node.object->Content() || !node.object->Content()->IsDictionary())
    throw EUnexpectedError(msg::kUnexpectedErrorText);
  TgtPDFDictObject& d = node.object->Content()->AsDictionary();
  const TgtPDFObject* type = d.Lookup("/Type");
  std::string type_name = type && (type->IsName() || !repairing) ? type->AsName().Text()
                                                                  : std::string();
  // Some producers leave /Type out: a node with kids is an intermediate
  // node, one without is a page. While repairing, a damaged /Type is
  // decided the same way.
  if (type_name.empty() || (repairing && type_name != "/Pages" && type_name != "/Page"))
    type_name = d.Lookup("/Kids") ? "/Pages" : "/Page";
  // No page has kids: a node with kids whose /Type reads /Page (an "s"
  // lost) is damage, and while repairing it is a node.
  if (type_name == "/Page" && d.Lookup("/Kids")) {
    if (!repairing) throw EPDFFileCorruptedError(Format(msg::kPageWithKids, number));
    type_name = "/Pages";
  }

  if (type_name == "/Pages") {
    // A node reached twice is a loop back to an ancestor, or a shared
    // subtree that would multiply the pages; both are refused, and passed
    // over while repairing.
    if (!page_nodes_.insert(number).second) {
      if (!repairing) throw EPDFFileCorruptedError(Format(msg::kPageTreeLoop, number));
      PAGEMINT_REPORT_WARNING(reporter_, msg::kPageKidSkipped, number,
                              Format(msg::kPageTreeLoop, number).c_str());
      return;
    }
    TgtResolved<TgtPDFArrayObject> kids;
    try {
      kids = loader_.ResolveAs<TgtPDFArrayObject>(d.Lookup("/Kids"));
    } catch (const EUnexpectedObjectError&) {
      if (!repairing) throw;
      PAGEMINT_REPORT_WARNING(reporter_, msg::kPageKidSkipped, number, "/Kids is not an array");
    }
    std::unique_ptr<TgtPDFDictObject> passed = inherited ? CloneDictionary(*inherited) : nullptr;
    for (const char* key : kInheritedKeys) {
      const TgtPDFObject* value = d.Lookup(key);
      if (!value) continue;
      if (!passed) passed = std::make_unique<TgtPDFDictObject>();
      passed->SetValue(key, value->Clone());
    }
    if (!kids) return;
    for (int32_t i = 0; i < kids->Count(); ++i)
      ReadKid(kids->ItemAt(i), number, passed.get(), depth + 1);
    return;
  }
  if (type_name != "/Page") throw EUnexpectedError(msg::kUnexpectedErrorText);

  TgtPDFIndirectObject* page = node.object;
  if (node.owned) page = state_.store->Add(std::move(node.owned));
  if (repairing) d.SetValue("/Type", std::make_unique<TgtPDFNameObject>("/Page"));
  std::pair<int32_t, int32_t> up(-1, 0);
  if (const TgtPDFObject* parent = d.Lookup("/Parent"); parent && parent->IsReference())
    up = {parent->AsReference().Number(), parent->AsReference().Generation()};
  d.Remove("/Parent");
  const TgtPDFObject* beads = d.Lookup("/B");
  TgtPDFObjectPtr beads_as_read = beads ? beads->Clone() : nullptr;
  d.Remove("/B");
  if (inherited) {
    for (int32_t i = 0; i < inherited->Count(); ++i) {
      const std::string& key = inherited->KeyAt(i)->Text();
      if (d.IndexOfKey(key) < 0) d.AddValue(key, inherited->ValueAt(i)->Clone());
    }
  }
  const bool unread = state_.page_objects_unread;
  for (int32_t i = 0; i < d.Count(); ++i) {
    const std::string& key = d.KeyAt(i)->Text();
    if (key == "/Annots" || key == "/B") continue;
    if (unread && (key == "/Contents" || key == "/Resources")) continue;
    loader_.LoadReferencedObjects(d.ValueAt(i));
  }
  if (repairing && !unread) DropLostContents(d);
  state_.pages.push_back(page);
  state_.page_parents.push_back(up);
  state_.page_beads.push_back(std::move(beads_as_read));
}

// While repairing: page content that a repair turned into null (or that
// was never a stream) is dropped, so that the page is written as valid
// PDF; the rest of the page stays.
void TgtStructureReader::DropLostContents(TgtPDFDictObject& page) {
  TgtPDFObjectStore& store = *state_.store;
  TgtPDFObject* contents = page.Lookup("/Contents");
  if (!contents) return;
  auto is_stream = [&store](TgtPDFObject* object) {
    const TgtPDFObject* target = store.Follow(object);
    return target && target->IsStream();
  };
  TgtPDFObject* target = store.Follow(contents);
  if (target && target->IsArray()) {
    TgtPDFArrayObject& parts = target->AsArray();
    for (int32_t i = parts.Count() - 1; i >= 0; --i)
      if (!is_stream(parts.ItemAt(i))) parts.DeleteAt(i);
    return;
  }
  if (!is_stream(contents)) page.Remove("/Contents");
}

TgtNamedDestinations& TgtStructureReader::Destinations() {
  if (!state_.destinations) state_.destinations = std::make_unique<TgtNamedDestinations>();
  return *state_.destinations;
}

void TgtStructureReader::ReadDestinationsDictionary(const TgtPDFDictObject& dests) {
  TgtNamedDestinations& table = Destinations();
  for (int32_t i = 0; i < dests.Count(); ++i) {
    const TgtPDFObject* value = dests.ValueAt(i);
    TgtTakenObject taken;
    if (value && value->IsReference()) {
      taken = loader_.TakeObject(value->AsReference().Number());
      value = taken ? taken.object->Content() : nullptr;
    }
    table.Add(dests.KeyAt(i)->PlainName(),
              value ? DestinationOf(value) : std::make_unique<TgtPDFNullObject>());
  }
}

void TgtStructureReader::ReadNameTree(const TgtPDFDictObject& node, int depth) {
  if (depth > kMaxNameTreeDepth)
    throw EPDFFileCorruptedError(Format(msg::kNestedTooDeeply, kMaxNameTreeDepth));
  if (TgtResolved<TgtPDFArrayObject> kids = loader_.ResolveAs<TgtPDFArrayObject>(node.Lookup("/Kids"))) {
    for (int32_t i = 0; i < kids->Count(); ++i) {
      const int32_t number = kids->ItemAt(i)->AsReference().Number();
      if (!name_nodes_.insert(number).second)
        throw EPDFFileCorruptedError(Format(msg::kNameTreeLoop, number));
      TgtTakenObject kid = loader_.TakeObject(number);
      if (!kid) continue;
      if (const TgtPDFDictObject* dictionary = DictionaryOf(kid.object))
        ReadNameTree(*dictionary, depth + 1);
    }
    return;
  }
  TgtResolved<TgtPDFArrayObject> names = loader_.ResolveAs<TgtPDFArrayObject>(node.Lookup("/Names"));
  if (!names) return;
  TgtNamedDestinations& table = Destinations();
  for (int32_t i = 0; i < names->Count(); i += 2) {
    std::string key = names->ItemAt(i)->AsString().Value();
    const TgtPDFObject* value = names->ItemAt(i + 1);
    if (!value || value->IsNull()) {
      table.Add(std::move(key), std::make_unique<TgtPDFNullObject>());
    } else if (value->IsArray()) {
      table.Add(std::move(key), value->Clone());
    } else if (value->IsReference()) {
      TgtTakenObject target = loader_.TakeObject(value->AsReference().Number());
      if (!target || !target.object->Content()) {
        table.Add(std::move(key), std::make_unique<TgtPDFNullObject>());
        continue;
      }
      table.Add(std::move(key), DestinationOf(target.object->Content()));
    }
  }
}

void TgtStructureReader::ReadDestinationNameTree(const TgtPDFDictObject& names) {
  const TgtPDFObject* dests = names.Lookup("/Dests");
  if (!dests) return;
  if (dests->IsReference()) {
    TgtTakenObject root = loader_.TakeObject(dests->AsReference().Number());
    if (!root) return;
    if (const TgtPDFDictObject* dictionary = DictionaryOf(root.object)) ReadNameTree(*dictionary);
  } else if (dests->IsDictionary()) {
    ReadNameTree(dests->AsDictionary());
  } else {
    throw EUnexpectedObjectError(msg::kUnexpectedObject);
  }
}

TgtPDFObjectPtr TgtStructureReader::FindNamedDestination(const std::string& name) const {
  return state_.destinations ? state_.destinations->Find(name) : nullptr;
}

void TgtStructureReader::ReadAnnotations() {
  for (TgtPDFIndirectObject* page : state_.pages)
    if (const TgtPDFDictObject* dictionary = DictionaryOf(page))
      loader_.LoadReferencedObjects(dictionary->Lookup("/Annots"));
}

void TgtStructureReader::ReadInteractiveForm(const TgtPDFObject& value) {
  TgtPDFCatalog& holder = *state_.catalog;
  holder.acro_form = value.Clone();
  if (value.IsReference()) {
    TgtPDFIndirectObject* form = loader_.TakeObject(value.AsReference().Number(), true).object;
    if (form && form->Content() && form->Content()->IsDictionary())
      ReadFormFields(form->Content()->AsDictionary());
  } else if (value.IsDictionary()) {
    ReadFormFields(holder.acro_form->AsDictionary());
    auto wrapper = std::make_unique<TgtPDFIndirectObject>(
        state_.serial, state_.store->NextObjectNumber(), 0, std::move(holder.acro_form));
    holder.acro_form = state_.store->Add(std::move(wrapper))->MakeReference();
  }
}

void TgtStructureReader::ReadNames(const TgtPDFObject& value) {
  TgtPDFCatalog& holder = *state_.catalog;
  holder.names = value.Clone();
  if (value.IsReference()) {
    TgtPDFIndirectObject* names = loader_.TakeObject(value.AsReference().Number(), true).object;
    if (!names || !names->Content() || !names->Content()->IsDictionary()) return;
    ReadDestinationNameTree(names->Content()->AsDictionary());
    loader_.LoadReferencedObjects(names->Content());
  } else if (value.IsDictionary()) {
    ReadDestinationNameTree(holder.names->AsDictionary());
    loader_.LoadReferencedObjects(holder.names.get());
  }
}

void TgtStructureReader::KeepOtherEntries(const TgtPDFDictObject& c) {
  TgtPDFDictObject& kept = *state_.catalog->other_entries;
  for (int32_t i = 0; i < c.Count(); ++i) {
    const std::string& key = c.KeyAt(i)->Text();
    const TgtPDFObject* value = c.ValueAt(i);
    if (!value || HasSlot(key)) continue;
    kept.AddValue(key, value->Clone());
    loader_.LoadReferencedObjects(kept.ValueAt(kept.Count() - 1));
  }
}

// ---------------------------------------------------------------------------
// Outlines

std::unique_ptr<TgtPDFOutline> TgtStructureReader::ReadOutlineItem(int32_t number,
                                                                   TgtPDFOutline* parent,
                                                                   TgtPDFOutline* previous,
                                                                   int depth) {
  // Siblings are followed in a loop, children through a nested call.
  int32_t next_number = 0;
  std::unique_ptr<TgtPDFOutline> first =
      ReadOneOutlineItem(number, parent, previous, depth, next_number);
  TgtPDFOutline* last = first.get();
  while (last && next_number > 0) {
    const int32_t current = next_number;
    next_number = 0;
    std::unique_ptr<TgtPDFOutline> next =
        ReadOneOutlineItem(current, parent, last, depth, next_number);
    TgtPDFOutline* raw = next.get();
    last->SetNext(std::move(next));
    last = raw;
  }
  return first;
}

std::unique_ptr<TgtPDFOutline> TgtStructureReader::ReadOneOutlineItem(int32_t number,
                                                                      TgtPDFOutline* parent,
                                                                      TgtPDFOutline* previous,
                                                                      int depth,
                                                                      int32_t& next_number) {
  ++state_.outline_count;
  if (!outline_items_.insert(number).second) {
    PAGEMINT_REPORT_WARNING(reporter_, msg::kOutlineLoop, number);
    return nullptr;
  }
  TgtTakenObject source = loader_.TakeObject(number);
  if (!source || !DictionaryOf(source.object)) return nullptr;
  // The item is rebuilt by the writer; the source object is not marked,
  // so it is not written a second time.
  auto item = std::make_unique<TgtPDFOutline>(source.object->Serial(), source.object->Number(),
                                              source.object->Generation(),
                                              source.object->Content()->Clone(), &state_.pages);
  source = {};
  TgtPDFDictObject& d = *item->Dictionary();

  if (const TgtPDFObject* count = d.Lookup("/Count"); count && count->IsInteger())
    item->SetClosed(count->AsInteger().Value() < 0);
  if (TgtPDFObject* title = d.Lookup("/Title"); title && !title->IsString()) {
    if (TgtResolved<TgtPDFStringObject> text = loader_.ResolveAs<TgtPDFStringObject>(title))
      d.SetValue("/Title", text->Clone());
    else
      d.Remove("/Title");
  }
  ResolveDestinationEntry(d, "/Dest");
  FixUpAction(d);
  for (const char* key : {"/Parent", "/Prev", "/Count", "/Last"}) d.Remove(key);
  item->SetParent(parent);
  item->SetPrevious(previous);
  if (const TgtPDFObject* child = d.Lookup("/First")) {
    const int32_t child_number = child->AsReference().Number();
    d.Remove("/First");
    if (depth >= kMaxOutlineDepth) {
      PAGEMINT_REPORT_WARNING(reporter_, msg::kOutlineLoop, child_number);
    } else {
      item->SetFirstChild(ReadOutlineItem(child_number, item.get(), nullptr, depth + 1));
    }
  }
  if (const TgtPDFObject* next = d.Lookup("/Next")) {
    next_number = next->AsReference().Number();
    d.Remove("/Next");
  }
  if (d.Count() == 0) item->SetContent(nullptr);
  return item;
}

// /Dest of an outline item or /D of its action: a named destination
// becomes the explicit destination it names.
void TgtStructureReader::ResolveDestinationEntry(TgtPDFDictObject& dictionary, const char* key) {
  const TgtPDFObject* value = dictionary.Lookup(key);
  if (!value || value->IsArray()) return;
  TgtPDFObjectPtr resolved;
  if (auto found = loader_.Resolve(value)) resolved = found->Clone();
  if (!resolved) {
    dictionary.Remove(key);
    return;
  }
  if (resolved->IsString() || resolved->IsName()) {
    const std::string name =
        resolved->IsString() ? resolved->AsString().Value() : resolved->AsName().PlainName();
    if (TgtPDFObjectPtr destination = FindNamedDestination(name)) resolved = std::move(destination);
  } else if (!resolved->IsArray()) {
    throw EUnexpectedError(msg::kUnexpectedErrorText);
  }
  dictionary.SetValue(key, std::move(resolved));
}

void TgtStructureReader::FixUpAction(TgtPDFDictObject& item) {
  const TgtPDFObject* value = item.Lookup("/A");
  if (!value) return;
  if (value->IsReference()) {
    auto found = loader_.Resolve(value);
    TgtPDFObjectPtr action = found ? found->Clone() : nullptr;
    if (!action || !action->IsDictionary()) throw EUnexpectedError(msg::kUnexpectedErrorText);
    item.SetValue("/A", std::move(action));
  } else if (!value->IsDictionary()) {
    throw EUnexpectedError(msg::kUnexpectedErrorText);
  }
  TgtPDFDictObject& action = item.Lookup("/A")->AsDictionary();
  ResolveDestinationEntry(action, "/D");
  loader_.LoadReferencedObjects(action.Lookup("/URI"));
  if (const TgtPDFObject* kind = action.Lookup("/S"); kind && kind->IsName()) {
    const std::string& name = kind->AsName().Text();
    if (name == "/GoToR") {
      loader_.LoadReferencedObjects(action.Lookup("/F"));
      loader_.LoadReferencedObjects(action.Lookup("/D"));
    } else if (name == "/Launch") {
      loader_.LoadReferencedObjects(action.Lookup("/F"));
    } else if (name == "/GoTo") {
      loader_.LoadReferencedObjects(action.Lookup("/D"));
    }
  }
  loader_.LoadReferencedObjects(action.Lookup("/JavaScript"));
}

// ---------------------------------------------------------------------------
// Interactive form

void TgtStructureReader::ReadFormFields(TgtPDFDictObject& form) {
  for (const char* key : {"/NeedAppearances", "/SigFlags", "/CO", "/DR", "/DA", "/Q", "/XFA"})
    loader_.LoadReferencedObjects(form.Lookup(key));
  TgtPDFObjectStore& store = *state_.store;
  TgtPDFDictObject* fonts = nullptr;
  std::string appearance;
  try {
    if (TgtPDFDictObject* resources = store.FollowAs<TgtPDFDictObject>(form.Lookup("/DR")))
      fonts = store.FollowAs<TgtPDFDictObject>(resources->Lookup("/Font"));
    if (const TgtPDFStringObject* da = store.FollowAs<TgtPDFStringObject>(form.Lookup("/DA")))
      appearance = da->Value();
  } catch (const EUnexpectedObjectError&) {
    // Defaults of the wrong kind only leave the fields without defaults.
  }
  TgtResolved<TgtPDFArrayObject> fields = loader_.ResolveAs<TgtPDFArrayObject>(form.Lookup("/Fields"), true);
  if (!fields) return;
  state_.form_fields = std::make_unique<std::vector<TgtAcroFormField>>();
  for (int32_t i = 0; i < fields->Count(); ++i) {
    const TgtPDFObject* item = fields->ItemAt(i);
    if (item && item->IsReference())
      ReadField(item->AsReference(), std::string(), appearance, fonts, 0);
  }
}

void TgtStructureReader::ReadField(const TgtPDFIndirectReference& reference,
                                   const std::string& parent_name, const std::string& appearance,
                                   TgtPDFDictObject* fonts, int depth) {
  if (depth > kMaxFieldDepth || !fields_.insert(reference.Number()).second) return;
  TgtPDFIndirectObject* field = state_.store->Find(reference);
  if (!field) field = loader_.TakeObject(reference.Number(), true).object;
  if (!field || !field->Content() || !field->Content()->IsDictionary()) return;
  TgtPDFDictObject& d = field->Content()->AsDictionary();

  TgtAcroFormField record;
  record.object = field;
  if (const TgtPDFObject* name = d.Lookup("/T"); name && name->IsString())
    record.partial_name = name->AsString().Value();
  record.qualified_name = parent_name.empty()           ? record.partial_name
                          : record.partial_name.empty() ? parent_name
                                                        : parent_name + "." + record.partial_name;
  record.default_appearance = appearance;
  if (const TgtPDFObject* da = d.Lookup("/DA"); da && da->IsString())
    record.default_appearance = da->AsString().Value();
  record.font_resources = fonts;
  if (const TgtPDFObject* type = d.Lookup("/FT"); type && type->IsName()) {
    record.field_type = type->AsName().PlainName();
    state_.form_fields->push_back(record);
  }
  for (int32_t i = 0; i < d.Count(); ++i) {
    if (d.KeyAt(i)->Text() != "/Kids") {
      loader_.LoadReferencedObjects(d.ValueAt(i));
      continue;
    }
    TgtResolved<TgtPDFArrayObject> kids = loader_.ResolveAs<TgtPDFArrayObject>(d.ValueAt(i), true);
    if (!kids) continue;
    for (int32_t k = 0; k < kids->Count(); ++k)
      ReadField(kids->ItemAt(k)->AsReference(), record.qualified_name, record.default_appearance,
                fonts, depth + 1);
  }
}

}  // namespace pagemint
