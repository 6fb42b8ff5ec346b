// SPDX-License-Identifier: GPL-3.0-or-later
// Saving as an incremental update: the source's bytes as they are, then the
// changed and new objects, a cross-reference section and a trailer.
//
//   <the source, byte for byte>
//   CRLF N G obj ... endobj      every changed source object, under its own
//                                number and generation
//   CRLF M 0 obj ... endobj      new objects (thumbnail images), numbered
//                                from the source's /Size on
//   xref ... trailer << /Prev >> or an xref stream, as the source's last
//   startxref, %%EOF             section is
//
// What changed is found by comparison with what was recorded once the
// document was read (RecordIncrementalBaseline): each page's /Thumb entry,
// the catalog's page mode, layout and viewer preferences, the text of the
// information dictionary. A save writes the pages whose /Thumb changed,
// the catalog and the information dictionary when they changed, and the
// new objects these refer to. Nothing is compared object by object, so an
// update costs nothing per object of a large document. The update is built in memory (it is small next to the source), then
// appended to the source file itself or written after a copy of it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <system_error>
#include <unordered_map>

#include "pdf/document/custom_pdf_document.h"
#include "pdf/document/thumbnail.h"
#include "pdf/objects/object_text.h"
#include "pdf/objects/pdf_exceptions.h"
#include "pdf/parser/stream_reader.h"
#include "pdf/security/security.h"
#include "platform/messages.h"
#include "platform/replace_file.h"

namespace pagemint {

namespace {

constexpr const char kCrLf[] = "\r\n";
constexpr size_t kFileIDSize = 16;
// The reader takes offsets up to this; an update must end below it.
constexpr int64_t kMaxFileOffset = std::numeric_limits<int32_t>::max();
// Where the last "startxref" is looked for, and how much of the end of the
// last classic section is read to find its trailer.
constexpr int64_t kTailSearch = 1024;
constexpr int64_t kTrailerSearch = 64 * 1024;
constexpr int64_t kCopyChunk = int64_t{1} << 20;

uint64_t HashText(const std::string& text) {
  uint64_t h = 0xCBF29CE484222325ull;  // FNV-1a, 64 bits
  for (const char c : text) {
    h ^= static_cast<uint8_t>(c);
    h *= 0x100000001B3ull;
  }
  return h;
}

// The text an object is compared by: a stream by its dictionary (its data
// is never changed in place).
uint64_t ContentHash(const TgtPDFObject* content, std::string& scratch) {
  scratch.clear();
  if (content && content->IsStream())
    AppendObjectText(scratch, &content->AsStream().Dictionary(), nullptr);
  else
    AppendObjectText(scratch, content, nullptr);
  return HashText(scratch);
}

int64_t ReadSourceAt(TgtDocumentSource& source, int64_t offset, std::string& out, int64_t count) {
  out.resize(static_cast<size_t>(std::max<int64_t>(count, 0)));
  if (count <= 0) return 0;
  if (!source.ReadAt(offset, out.data(), count)) {
    // A short read: take what there is byte by byte at the end only.
    TStream* stream = source.Stream();
    const int64_t got = stream ? stream->ReadAt(offset, out.data(), count) : 0;
    out.resize(static_cast<size_t>(std::max<int64_t>(got, 0)));
    return got;
  }
  return count;
}

// The source's last cross-reference section: where it is, its kind and the
// values of its trailer (parsed without decryption: /ID stays raw).
struct SourceTail {
  int64_t section = 0;
  bool stream = false;
  std::unique_ptr<TgtPDFDictObject> trailer;
  int32_t size = 0;
};

SourceTail ReadSourceTail(TgtDocumentSource& source, int64_t file_size, uint32_t serial) {
  SourceTail tail;
  auto fail = [] { return EPDFException(Format(msg::kIncrementalNotPossible, msg::kIncrementalNoSection)); };
  std::string bytes;
  const int64_t from = std::max<int64_t>(0, file_size - kTailSearch);
  ReadSourceAt(source, from, bytes, file_size - from);
  const size_t keyword = bytes.rfind("startxref");
  if (keyword == std::string::npos) throw fail();
  const int64_t keyword_at = from + static_cast<int64_t>(keyword);
  size_t p = keyword + 9;
  while (p < bytes.size() && std::strchr(" \t\r\n\f", bytes[p]) && bytes[p] != '\0') ++p;
  int64_t offset = 0;
  size_t digits = 0;
  while (p < bytes.size() && bytes[p] >= '0' && bytes[p] <= '9' && digits < 12) {
    offset = offset * 10 + (bytes[p++] - '0');
    ++digits;
  }
  if (digits == 0 || offset <= 0 || offset >= keyword_at) throw fail();
  tail.section = offset;

  std::string head;
  ReadSourceAt(source, offset, head, std::min<int64_t>(kTrailerSearch, keyword_at - offset));
  size_t q = 0;
  while (q < head.size() && std::strchr(" \t\r\n\f", head[q]) && head[q] != '\0') ++q;
  TgtPDFObjectPtr dictionary;
  if (head.compare(q, 4, "xref") == 0) {
    // The trailer follows the entries: the last "trailer" before startxref.
    const int64_t start = std::max<int64_t>(offset, keyword_at - kTrailerSearch);
    std::string end;
    ReadSourceAt(source, start, end, keyword_at - start);
    const size_t at = end.rfind("trailer");
    if (at == std::string::npos) throw fail();
    TMemoryStream memory(end.substr(at + 7));
    TgtPDFStreamReader reader(serial, &memory);
    dictionary = reader.ReadObject();
  } else {
    // "N G obj << ... >> stream": the dictionary of a cross-reference stream.
    const size_t open = head.find("<<", q);
    const size_t obj = head.find("obj", q);
    if (open == std::string::npos || obj == std::string::npos || obj > open) throw fail();
    TMemoryStream memory(head.substr(open));
    TgtPDFStreamReader reader(serial, &memory);
    dictionary = reader.ReadObject();
    tail.stream = true;
  }
  if (!dictionary || !dictionary->IsDictionary()) throw fail();
  tail.trailer.reset(static_cast<TgtPDFDictObject*>(dictionary.release()));
  const TgtPDFObject* size = tail.trailer->Lookup("/Size");
  if (size && size->IsInteger()) tail.size = std::max(0, size->AsInteger().Value());
  if (tail.stream) {
    const TgtPDFObject* type = tail.trailer->Lookup("/Type");
    if (!type || !type->IsName() || type->AsName().Text() != "/XRef") throw fail();
  }
  return tail;
}

// A trailer value written as the source wrote it: references keep their
// generation, nothing is encrypted.
void AppendTrailerValue(std::string& out, const TgtPDFObject* value) {
  if (value && value->IsReference()) {
    out.append(std::to_string(value->AsReference().Number()));
    out.push_back(' ');
    out.append(std::to_string(value->AsReference().Generation()));
    out.append(" R");
    return;
  }
  AppendObjectText(out, value, nullptr);
}

const TgtPDFObject* Follow(const TgtPDFObjectStore& store, const TgtPDFObject* value) {
  return store.Follow(value);
}

}  // namespace

// A page's /Thumb entry: the value object and, for a reference, its
// target. A replaced thumbnail refers to a new image object, so the target
// differs even when the new value happens to reuse the old one's memory.
struct TgtThumbKey {
  const TgtPDFObject* value = nullptr;
  uint32_t serial = 0;
  int32_t number = -1;
  int32_t generation = -1;
  bool operator==(const TgtThumbKey&) const = default;
};

namespace {

TgtThumbKey ThumbKey(const TgtPDFIndirectObject& page) {
  TgtThumbKey key;
  const TgtPDFObject* content = page.Content();
  if (!content || !content->IsDictionary()) return key;
  key.value = content->AsDictionary().Lookup("/Thumb");
  if (key.value && key.value->IsReference()) {
    key.serial = key.value->AsReference().Serial();
    key.number = key.value->AsReference().Number();
    key.generation = key.value->AsReference().Generation();
  }
  return key;
}

}  // namespace

// The document as it was read, for telling what changed since.
struct TgtIncrementalBaseline {
  uint32_t serial = 0;
  // Store objects registered before this index came from the source (or
  // were made while reading it).
  int32_t store_count = 0;
  // Object numbers below this are the source's own.
  int32_t source_slots = 0;
  // Each page's /Thumb entry as read, by page index.
  std::vector<TgtThumbKey> thumbs;
  uint64_t info_hash = 0;
  uint64_t preferences_hash = 0;
  TgtPageMode page_mode = pmNone;
  TgtPageLayout page_layout = plNone;
  std::string page_mode_name;
  std::string page_layout_name;
  // The source's bytes: how many.
  int64_t source_size = 0;
  // The catalog as the source has it (the reader keeps only its parts):
  // the registered object, or a copy read for this.
  const TgtPDFIndirectObject* catalog_object = nullptr;
  TgtPDFObjectPtr catalog_copy;
  int32_t catalog_number = -1;
  int32_t catalog_generation = 0;
};

void TgtCustomPDFDocument::RecordIncrementalBaseline() {
  auto base = std::make_shared<TgtIncrementalBaseline>();
  const TgtPDFDocumentState& state = *state_;
  base->serial = state.serial;
  base->store_count = state.store->Count();
  base->source_slots = std::max(state.classic_table.SlotCount(), state.stream_table.SlotCount());
  base->thumbs.reserve(state.pages.size());
  for (const TgtPDFIndirectObject* page : state.pages) base->thumbs.push_back(ThumbKey(*page));
  std::string scratch;
  base->info_hash = ContentHash(&state.info->Dictionary(), scratch);
  base->preferences_hash = ContentHash(&state.catalog->viewer_preferences->Dictionary(), scratch);
  base->page_mode = state.page_mode;
  base->page_layout = state.page_layout;
  base->page_mode_name = state.catalog->page_mode_name;
  base->page_layout_name = state.catalog->page_layout_name;
  TStream* stream = state.source ? state.source->Stream() : nullptr;
  base->source_size = stream ? stream->Size() : 0;
  if (const int32_t root = state.trailer.root_number; root >= 0) {
    try {
      TgtTakenObject taken = loader_->TakeObject(root);
      if (taken && taken.object->Content() && taken.object->Content()->IsDictionary()) {
        base->catalog_number = taken.object->Number();
        base->catalog_generation = taken.object->Generation();
        if (taken.Registered())
          base->catalog_object = taken.object;
        else
          base->catalog_copy = taken.object->Content()->Clone();
      }
    } catch (const Exception&) {
      // Read already once by the structure reader; a catalog that cannot
      // be read again is simply never changed by an update.
    }
  }
  incremental_baseline_ = std::move(base);
}

std::string TgtCustomPDFDocument::IncrementalUpdateBlocker() const {
  const TgtIncrementalBaseline* base = incremental_baseline_.get();
  if (!IsLoaded() || !base || base->serial != state_->serial) return msg::kIncrementalNoDocument;
  if (!state_->source || !state_->source->Stream()) return msg::kIncrementalNoSource;
  if (table_rebuilt_) return msg::kIncrementalRebuilt;
  const TgtPDFEncryptionSettings& security = *state_->encryption;
  if (state_->encrypted ? security.KeptSecurity() == nullptr : security.Enabled())
    return msg::kIncrementalSecurityChanged;
  if (!source_file_name_.empty()) {
    std::error_code error;
    const auto size = std::filesystem::file_size(source_file_name_, error);
    const auto time = std::filesystem::last_write_time(source_file_name_, error);
    if (error || static_cast<int64_t>(size) != base->source_size ||
        static_cast<int64_t>(size) != source_file_size_ ||
        time.time_since_epoch().count() != source_file_time_)
      return Format(msg::kIncrementalSourceChanged, source_file_name_.c_str());
  }
  return std::string();
}

bool TgtCustomPDFDocument::HasSignatures() const {
  const TgtPDFObjectStore& store = *state_->store;
  if (state_->catalog->other_entries->Lookup("/Perms")) return true;
  if (!state_->form_fields) return false;
  for (const TgtAcroFormField& field : *state_->form_fields) {
    if (field.field_type != "Sig" || !field.object) continue;
    const TgtPDFObject* content = field.object->Content();
    if (!content || !content->IsDictionary()) continue;
    const TgtPDFObject* value = store.Follow(content->AsDictionary().Lookup("/V"));
    if (value && value->IsDictionary()) return true;
  }
  return false;
}

// One update: which objects are written under which numbers, their text,
// the cross-reference section and the trailer.
class TgtIncrementalWriter final : public TgtTextContext {
 public:
  TgtIncrementalWriter(TgtCustomPDFDocument& document, const TgtIncrementalBaseline& base,
                       SourceTail& tail)
      : document_(document), state_(document.State()), base_(base), tail_(tail) {}

  // The update's bytes, to follow the source's base_.source_size bytes.
  std::string Build();

  int32_t TargetNumber(const TgtPDFIndirectReference& reference) const override {
    const int32_t index = state_.store->IndexOf(reference.Serial(), reference.Number(),
                                                reference.Generation());
    if (index >= 0 && !IsSourceObject(index)) {
      const auto found = new_numbers_.find(index);
      return found == new_numbers_.end() ? 0 : found->second;
    }
    // A source object, or one the source names without defining it: the
    // reference stays what the source wrote.
    return reference.Serial() == state_.serial ? reference.Number() : 0;
  }
  int32_t TargetGeneration(const TgtPDFIndirectReference& reference) const override {
    const int32_t index = state_.store->IndexOf(reference.Serial(), reference.Number(),
                                                reference.Generation());
    return index >= 0 && !IsSourceObject(index) ? 0 : reference.Generation();
  }
  bool Encrypts(int32_t number) const override { return encrypting_ && number > 0; }
  size_t EncryptedSize(int32_t, size_t size, const TgtPDFDictObject* stream) const override {
    return state_.encryption_object->EncryptedSize(size, stream);
  }
  void EncryptTail(int32_t number, std::string& out, size_t start,
                   const TgtPDFDictObject* stream) const override {
    state_.encryption_object->EncryptTail(out, start, number, generation_, stream);
  }
  std::unique_ptr<TgtPDFDictObject> StreamDictionary(const TgtPDFStreamObject& stream,
                                                     size_t size) const override {
    const TgtPDFObject* length = stream.Dictionary().Lookup("/Length");
    if (LengthGives(length, size)) return nullptr;
    auto dictionary = std::unique_ptr<TgtPDFDictObject>(
        static_cast<TgtPDFDictObject*>(stream.Dictionary().Clone().release()));
    dictionary->SetValue("/Length", std::make_unique<TgtPDFInt64Object>(static_cast<int64_t>(size)));
    return dictionary;
  }

 private:
  bool IsSourceObject(int32_t index) const {
    return index < base_.store_count &&
           state_.store->ItemAt(index)->Number() < base_.source_slots;
  }
  int32_t NewNumber() {
    if (next_number_ >= kMaxObjectNumber)
      throw EPDFException(Format(msg::kTooManyObjects, kMaxObjectNumber));
    return next_number_++;
  }
  // Queues the objects that content refers to and that the source does not
  // have, each under a new number once.
  void QueueNewTargets(const TgtPDFObject* content);
  void WriteObject(int32_t number, int32_t generation, const TgtPDFObject* content);
  void AppendClassicSection(int64_t section_at);
  void AppendStreamSection(int64_t section_at);
  void AppendTrailerEntries(std::string& out);
  TgtPDFObjectPtr ChangedCatalog(const TgtPDFObject* content, bool& changed) const;
  TgtPDFObjectPtr PageAsWritten(const TgtPDFIndirectObject& page, size_t index) const;

  TgtCustomPDFDocument& document_;
  TgtPDFDocumentState& state_;
  const TgtIncrementalBaseline& base_;
  SourceTail& tail_;
  std::string out_;
  std::string text_;
  struct Entry {
    int32_t number;
    int32_t generation;
    int64_t offset;
  };
  std::vector<Entry> entries_;
  std::unordered_map<int32_t, int32_t> new_numbers_;  // store index -> number
  std::vector<int32_t> new_queue_;                    // store indexes, in order found
  int32_t next_number_ = 1;
  int32_t generation_ = 0;
  bool encrypting_ = false;
  std::string info_reference_;  // the /Info value written, when it changed
};

void TgtIncrementalWriter::QueueNewTargets(const TgtPDFObject* content) {
  std::vector<const TgtPDFObject*> work{content};
  while (!work.empty()) {
    const TgtPDFObject* item = work.back();
    work.pop_back();
    if (!item) continue;
    switch (item->Tag()) {
      case otReference: {
        const TgtPDFIndirectReference& reference = item->AsReference();
        const int32_t index = state_.store->IndexOf(reference.Serial(), reference.Number(),
                                                    reference.Generation());
        if (index >= 0 && !IsSourceObject(index) && !new_numbers_.contains(index)) {
          new_numbers_.emplace(index, NewNumber());
          new_queue_.push_back(index);
        }
        break;
      }
      case otArray:
        for (int32_t i = 0; i < item->AsArray().Count(); ++i) work.push_back(item->AsArray().ItemAt(i));
        break;
      case otDictionary:
        for (int32_t i = 0; i < item->AsDictionary().Count(); ++i)
          work.push_back(item->AsDictionary().ValueAt(i));
        break;
      case otStream:
        work.push_back(&item->AsStream().Dictionary());
        break;
      default:
        break;
    }
  }
}

void TgtIncrementalWriter::WriteObject(int32_t number, int32_t generation,
                                       const TgtPDFObject* content) {
  if (content && content->IsStream() && content->AsStream().Extent())
    // Source stream data is never changed in place; an object that holds
    // it cannot be new or changed.
    throw EPDFException(Format(msg::kSourceDataMissing, number));
  generation_ = generation;
  out_.append(kCrLf);
  entries_.push_back({number, generation, base_.source_size + static_cast<int64_t>(out_.size())});
  out_.append(std::to_string(number));
  out_.push_back(' ');
  out_.append(std::to_string(generation));
  out_.append(" obj");
  out_.append(kCrLf);
  AppendObjectText(out_, content, this, number);
  out_.append(kCrLf);
  out_.append("endobj");
  out_.append(kCrLf);
  if (base_.source_size + static_cast<int64_t>(out_.size()) >= kMaxFileOffset)
    throw EPDFException(Format(msg::kIncrementalNotPossible, msg::kIncrementalTooLarge));
}

// A changed page: its dictionary with the /Parent and /B the source gave
// it (the reader takes those entries out), so the page stays in its place
// in the source's page tree and in its article threads.
TgtPDFObjectPtr TgtIncrementalWriter::PageAsWritten(const TgtPDFIndirectObject& page,
                                                    size_t index) const {
  TgtPDFObjectPtr copy = page.Content()->Clone();
  if (index < state_.page_parents.size() && state_.page_parents[index].first > 0 &&
      copy->IsDictionary() && !copy->AsDictionary().Lookup("/Parent")) {
    const auto [number, generation] = state_.page_parents[index];
    copy->AsDictionary().SetValue(
        "/Parent", std::make_unique<TgtPDFIndirectReference>(state_.serial, number,
                                                            static_cast<uint16_t>(generation)));
  }
  if (index < state_.page_beads.size() && state_.page_beads[index] && copy->IsDictionary() &&
      !copy->AsDictionary().Lookup("/B"))
    copy->AsDictionary().SetValue("/B", state_.page_beads[index]->Clone());
  return copy;
}

// The catalog with the page mode, page layout and viewer preferences as
// they are now; nullptr (changed false) when none of them changed.
TgtPDFObjectPtr TgtIncrementalWriter::ChangedCatalog(const TgtPDFObject* content,
                                                     bool& changed) const {
  changed = false;
  if (!content || !content->IsDictionary()) return nullptr;
  const TgtPDFCatalog& catalog = *state_.catalog;
  std::string scratch;
  const bool mode = state_.page_mode != base_.page_mode || catalog.page_mode_name != base_.page_mode_name;
  const bool layout =
      state_.page_layout != base_.page_layout || catalog.page_layout_name != base_.page_layout_name;
  const bool preferences =
      ContentHash(&catalog.viewer_preferences->Dictionary(), scratch) != base_.preferences_hash;
  if (!mode && !layout && !preferences) return nullptr;
  changed = true;
  TgtPDFObjectPtr copy = content->Clone();
  TgtPDFDictObject& dictionary = copy->AsDictionary();
  if (mode) {
    const std::string name = state_.page_mode == pmNone ? catalog.page_mode_name
                             : state_.page_mode < std::size(kPageModeNames)
                                 ? std::string(kPageModeNames[state_.page_mode])
                                 : std::string();
    if (name.empty())
      dictionary.Remove("/PageMode");
    else
      dictionary.SetValue("/PageMode", std::make_unique<TgtPDFNameObject>(name));
  }
  if (layout) {
    const std::string name = state_.page_layout == plNone ? catalog.page_layout_name
                             : state_.page_layout < std::size(kPageLayoutNames)
                                 ? std::string(kPageLayoutNames[state_.page_layout])
                                 : std::string();
    if (name.empty())
      dictionary.Remove("/PageLayout");
    else
      dictionary.SetValue("/PageLayout", std::make_unique<TgtPDFNameObject>(name));
  }
  if (preferences) dictionary.SetValue("/ViewerPreferences", catalog.viewer_preferences->Dictionary().Clone());
  return copy;
}

std::string TgtIncrementalWriter::Build() {
  encrypting_ = state_.encrypted;
  if (encrypting_ && !state_.encryption_object) document_.PrepareEncryption();
  next_number_ = std::max({tail_.size, base_.source_slots, 1});
  // The numbers of the objects made while reading that the source does not
  // have, and of new ones, must stay clear of each other: new numbers
  // start above every number the store holds.
  for (int32_t i = 0; i < state_.store->Count(); ++i)
    next_number_ = std::max(next_number_, state_.store->ItemAt(i)->Number() + 1);
  // The update starts on a line of its own even when the source does not
  // end with one; each object's own CR LF follows.
  out_.append(kCrLf);

  std::string scratch;
  // The pages whose thumbnail changed, each once, under its own number.
  std::vector<bool> written_page(static_cast<size_t>(base_.store_count), false);
  const size_t pages = std::min(state_.pages.size(), base_.thumbs.size());
  for (size_t i = 0; i < pages; ++i) {
    const TgtPDFIndirectObject* page = state_.pages[i];
    if (ThumbKey(*page) == base_.thumbs[i]) continue;
    const int32_t index = state_.store->IndexOf(page->Serial(), page->Number(), page->Generation());
    if (index < 0 || state_.store->ItemAt(index) != page || !IsSourceObject(index) ||
        written_page[static_cast<size_t>(index)])
      continue;
    written_page[static_cast<size_t>(index)] = true;
    QueueNewTargets(page->Content());
    WriteObject(page->Number(), page->Generation(), PageAsWritten(*page, i).get());
    if (document_.OnWorkProgress)
      document_.ReportWork(TgtWorkStep::Save, 0.8 * static_cast<double>(i) / pages, false);
  }
  // The catalog, when its entries changed.
  const TgtPDFObject* catalog = base_.catalog_object ? base_.catalog_object->Content()
                                                     : base_.catalog_copy.get();
  if (catalog) {
    bool changed = false;
    const TgtPDFObjectPtr own = ChangedCatalog(catalog, changed);
    if (changed) {
      QueueNewTargets(own.get());
      WriteObject(base_.catalog_number, base_.catalog_generation, own.get());
    }
  }
  // The information dictionary, when the caller changed it: under the
  // source's number, or a new one when the source had none.
  if (ContentHash(&state_.info->Dictionary(), scratch) != base_.info_hash) {
    const TgtPDFObject* info = tail_.trailer->Lookup("/Info");
    int32_t number = 0;
    int32_t generation = 0;
    if (info && info->IsReference()) {
      number = info->AsReference().Number();
      generation = info->AsReference().Generation();
    } else {
      number = NewNumber();
    }
    QueueNewTargets(&state_.info->Dictionary());
    WriteObject(number, generation, &state_.info->Dictionary());
    info_reference_ = std::to_string(number) + " " + std::to_string(generation) + " R";
  }
  for (size_t i = 0; i < new_queue_.size(); ++i) {
    const int32_t index = new_queue_[i];
    const TgtPDFObject* content = state_.store->ItemAt(index)->Content();
    QueueNewTargets(content);
    WriteObject(new_numbers_.at(index), 0, content);
  }

  // Nothing changed: the source as it is is the document.
  if (entries_.empty()) return std::string();
  const int64_t section_at = base_.source_size + static_cast<int64_t>(out_.size());
  if (tail_.stream)
    AppendStreamSection(section_at);
  else
    AppendClassicSection(section_at);
  out_.append("startxref");
  out_.append(kCrLf);
  out_.append(std::to_string(section_at));
  out_.append(kCrLf);
  out_.append("%%EOF");
  out_.append(kCrLf);
  if (base_.source_size + static_cast<int64_t>(out_.size()) >= kMaxFileOffset)
    throw EPDFException(Format(msg::kIncrementalNotPossible, msg::kIncrementalTooLarge));
  return std::move(out_);
}

// /Size, /Root, /Info, /Encrypt, /ID (the first string kept, the second
// new) and /Prev, each on a line of its own.
void TgtIncrementalWriter::AppendTrailerEntries(std::string& out) {
  out.append("/Size ");
  int32_t size = std::max(tail_.size, base_.source_slots);
  for (const Entry& entry : entries_) size = std::max(size, entry.number + 1);
  out.append(std::to_string(size));
  out.append(kCrLf);
  for (const char* key : {"/Root", "/Info", "/Encrypt"}) {
    if (std::strcmp(key, "/Info") == 0 && !info_reference_.empty()) {
      out.append("/Info ");
      out.append(info_reference_);
      out.append(kCrLf);
      continue;
    }
    const TgtPDFObject* value = tail_.trailer->Lookup(key);
    if (!value) continue;
    out.append(key);
    out.push_back(' ');
    AppendTrailerValue(out, value);
    out.append(kCrLf);
  }
  std::string first;
  const TgtPDFObject* id = tail_.trailer->Lookup("/ID");
  if (id && id->IsArray() && id->AsArray().Count() > 0 && id->AsArray().ItemAt(0) &&
      id->AsArray().ItemAt(0)->IsString())
    first = id->AsArray().ItemAt(0)->AsString().Bytes();
  if (first.empty()) first = document_.Random().Bytes(kFileIDSize);
  out.append("/ID [");
  out.append(HexStringText(first));
  out.push_back(' ');
  out.append(HexStringText(document_.Random().Bytes(kFileIDSize)));
  out.append("]");
  out.append(kCrLf);
  out.append("/Prev ");
  out.append(std::to_string(tail_.section));
  out.append(kCrLf);
}

void TgtIncrementalWriter::AppendClassicSection(int64_t section_at) {
  (void)section_at;
  std::sort(entries_.begin(), entries_.end(),
            [](const Entry& a, const Entry& b) { return a.number < b.number; });
  out_.append("xref");
  out_.append(kCrLf);
  char line[32];
  for (size_t i = 0; i < entries_.size();) {
    size_t end = i + 1;
    while (end < entries_.size() && entries_[end].number == entries_[end - 1].number + 1) ++end;
    out_.append(std::to_string(entries_[i].number));
    out_.push_back(' ');
    out_.append(std::to_string(end - i));
    out_.append(kCrLf);
    for (; i < end; ++i) {
      std::snprintf(line, sizeof line, "%.10lld %.5d n\r\n",
                    static_cast<long long>(entries_[i].offset), entries_[i].generation);
      out_.append(line, 20);
    }
  }
  out_.append("trailer");
  out_.append(kCrLf);
  out_.append("<<");
  out_.append(kCrLf);
  AppendTrailerEntries(out_);
  out_.append(">>");
  out_.append(kCrLf);
}

// A cross-reference stream (never encrypted) holding its own entry too:
// type 1, a 4-byte offset, a 2-byte generation, compressed with Flate.
void TgtIncrementalWriter::AppendStreamSection(int64_t section_at) {
  const int32_t number = NewNumber();
  entries_.push_back({number, 0, section_at});
  std::sort(entries_.begin(), entries_.end(),
            [](const Entry& a, const Entry& b) { return a.number < b.number; });
  std::string data;
  std::string index;
  for (size_t i = 0; i < entries_.size();) {
    size_t end = i + 1;
    while (end < entries_.size() && entries_[end].number == entries_[end - 1].number + 1) ++end;
    index.append(std::to_string(entries_[i].number));
    index.push_back(' ');
    index.append(std::to_string(end - i));
    index.push_back(' ');
    for (; i < end; ++i) {
      const uint32_t offset = static_cast<uint32_t>(entries_[i].offset);
      data.push_back('\x01');
      for (int shift = 24; shift >= 0; shift -= 8) data.push_back(static_cast<char>(offset >> shift));
      data.push_back(static_cast<char>(entries_[i].generation >> 8));
      data.push_back(static_cast<char>(entries_[i].generation));
    }
  }
  const std::unique_ptr<TMemoryStream> compressed = CompressSamples(data);
  out_.append(std::to_string(number));
  out_.append(" 0 obj");
  out_.append(kCrLf);
  out_.append("<<");
  out_.append(kCrLf);
  out_.append("/Type /XRef");
  out_.append(kCrLf);
  AppendTrailerEntries(out_);
  out_.append("/W [1 4 2]");
  out_.append(kCrLf);
  out_.append("/Index [");
  out_.append(index);
  out_.append("]");
  out_.append(kCrLf);
  out_.append("/Filter /FlateDecode");
  out_.append(kCrLf);
  out_.append("/Length ");
  out_.append(std::to_string(compressed->Size()));
  out_.append(kCrLf);
  out_.append(">>");
  out_.append(kCrLf);
  out_.append("stream");
  out_.append(kCrLf);
  out_.append(compressed->Bytes());
  out_.append(kCrLf);
  out_.append("endstream");
  out_.append(kCrLf);
  out_.append("endobj");
  out_.append(kCrLf);
}

namespace {

// The signed fields' warnings: every signed field is reported as changed
// after signing, and the certifying one whose permission allows no change
// as breached.
void WarnSignedFields(TgtCustomPDFDocument& document, const TgtPDFDocumentState& state) {
  if (!document.OnWarning || !state.form_fields) return;
  const TgtPDFObjectStore& store = *state.store;
  // The certification: /Perms /DocMDP, a signature dictionary whose
  // reference entry with /TransformMethod /DocMDP gives /P.
  const TgtPDFObject* certification = nullptr;
  int32_t permission = 0;
  if (const TgtPDFObject* perms = Follow(store, state.catalog->other_entries->Lookup("/Perms"));
      perms && perms->IsDictionary()) {
    certification = Follow(store, perms->AsDictionary().Lookup("/DocMDP"));
    const TgtPDFObject* references =
        certification && certification->IsDictionary()
            ? Follow(store, certification->AsDictionary().Lookup("/Reference"))
            : nullptr;
    for (int32_t i = 0; references && references->IsArray() && i < references->AsArray().Count();
         ++i) {
      const TgtPDFObject* reference = Follow(store, references->AsArray().ItemAt(i));
      if (!reference || !reference->IsDictionary()) continue;
      const TgtPDFObject* params = Follow(store, reference->AsDictionary().Lookup("/TransformParams"));
      if (!params || !params->IsDictionary()) continue;
      const TgtPDFObject* p = Follow(store, params->AsDictionary().Lookup("/P"));
      permission = p && p->IsInteger() ? p->AsInteger().Value() : 2;
    }
  }
  for (const TgtAcroFormField& field : *state.form_fields) {
    if (field.field_type != "Sig" || !field.object) continue;
    const TgtPDFObject* content = field.object->Content();
    if (!content || !content->IsDictionary()) continue;
    const TgtPDFObject* value = Follow(store, content->AsDictionary().Lookup("/V"));
    if (!value || !value->IsDictionary()) continue;
    const std::string name =
        field.qualified_name.empty() ? field.partial_name : field.qualified_name;
    if (value == certification && permission == 1)
      document.OnWarning(document, Format(msg::kCertifiedNoChanges, name.c_str()));
    else
      document.OnWarning(document, Format(msg::kSignedBeforeUpdate, name.c_str()));
  }
}

// Appends update to the file itself, flushes it to the disk and runs
// finish (the last progress report, which may cancel); on any failure, a
// cancel included, the file is cut back to its original length.
void AppendInPlace(const std::string& name, int64_t original, const std::string& update,
                   const std::function<void()>& finish) {
  const int fd = ::open(name.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) throw EFileError(Format(msg::kIncrementalAppendFailed, name.c_str(), std::strerror(errno)));
  struct stat status {};
  if (::fstat(fd, &status) != 0 || status.st_size != original) {
    ::close(fd);
    throw EFileError(Format(msg::kIncrementalNotPossible,
                            Format(msg::kIncrementalSourceChanged, name.c_str()).c_str()));
  }
  const char* data = update.data();
  size_t left = update.size();
  off_t at = static_cast<off_t>(original);
  int failure = 0;
  while (left > 0) {
    const ssize_t written = ::pwrite(fd, data, left, at);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      failure = written < 0 ? errno : ENOSPC;
      break;
    }
    data += written;
    left -= static_cast<size_t>(written);
    at += written;
  }
  if (failure == 0 && ::fsync(fd) != 0) failure = errno;
  auto cut_back = [&] {
    const int cut = ::ftruncate(fd, static_cast<off_t>(original));
    static_cast<void>(cut);
    ::fsync(fd);
    ::close(fd);
  };
  if (failure != 0) {
    cut_back();
    throw EFileError(Format(msg::kIncrementalAppendFailed, name.c_str(), std::strerror(failure)));
  }
  try {
    finish();
  } catch (...) {
    cut_back();
    throw;
  }
  if (::close(fd) != 0) {
    const int code = errno;
    throw EFileError(Format(msg::kIncrementalAppendFailed, name.c_str(), std::strerror(code)));
  }
}

// Copies the source's first size bytes into out: inside the system when
// both are files, otherwise through a buffer.
void CopySource(TgtDocumentSource& source, int64_t size, TStream& out) {
  std::string chunk;
  for (int64_t offset = 0; offset < size;) {
    const int64_t count = std::min(kCopyChunk * 16, size - offset);
    const int64_t copied = source.CopyTo(offset, count, out);
    if (copied > 0) {
      offset += copied;
      continue;
    }
    const int64_t n = std::min(kCopyChunk, size - offset);
    chunk.resize(static_cast<size_t>(n));
    if (!source.ReadAt(offset, chunk.data(), n))
      throw EFileError(Format(msg::kIncrementalNotPossible, msg::kIncrementalNoSource));
    out.WriteBuffer(chunk.data(), n);
    offset += n;
  }
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  std::error_code error;
  return std::filesystem::equivalent(a, b, error) && !error;
}

}  // namespace

void TgtCustomPDFDocument::SaveIncremental(const std::string& file_name) {
  const std::string blocker = IncrementalUpdateBlocker();
  if (!blocker.empty()) throw EPDFException(Format(msg::kIncrementalNotPossible, blocker.c_str()));
  const TgtIncrementalBaseline& base = *incremental_baseline_;
  const bool in_place = SameFile(file_name, source_file_name_);
  const std::string output_name = in_place ? file_name : CompletedSaveName(file_name);
  if (OnStatusMessage) OnStatusMessage(*this, Format(msg::kSavingFile, output_name.c_str()));

  BeginWork(TgtWorkStep::Save);
  SourceTail tail = ReadSourceTail(*state_->source, base.source_size, state_->serial);
  WarnSignedFields(*this, *state_);
  std::string update = TgtIncrementalWriter(*this, base, tail).Build();
  ReportWork(TgtWorkStep::Save, 0.9, false);
  // The last report comes before the file is final, so that a cancel
  // there still leaves it as it was.
  auto finish = [this] {
    if (OnWorkProgress) ReportWork(TgtWorkStep::Save, 1.0, true);
  };
  if (in_place && update.empty()) {
    // Nothing to append.
    finish();
  } else if (in_place) {
    AppendInPlace(source_file_name_, base.source_size, update, finish);
    // The file holds the update now: it is no longer the source as read,
    // so a second update needs the document read again.
  } else {
    ReplaceFile(output_name, [&](TStream& out) {
      CopySource(*state_->source, base.source_size, out);
      out.WriteBuffer(update.data(), static_cast<int64_t>(update.size()));
      finish();
    });
  }
  if (OnStatusMessage) OnStatusMessage(*this, msg::kSaveComplete);
}

}  // namespace pagemint
