// SPDX-License-Identifier: GPL-3.0-or-later
// Saving: the whole document written again as one new file with a classic
// cross-reference table.
//
//   %PDF-1.x CRLF %âãÏÓ CRLF
//   1 0 obj catalog, 2 0 obj information, 3 0 obj page tree root
//   4 ... every object in use, in store order, then the outline items
//   [the encryption dictionary]
//   xref, trailer (/ID always), startxref, %%EOF CRLF
//
// Objects get dense new numbers from 4 in the order they were registered;
// references are renumbered as each object's text is built. Each object's
// text is built in memory and written in one piece.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include "pdf/document/custom_pdf_document.h"
#include "pdf/document/structure_output.h"
#include "pdf/objects/object_text.h"
#include "pdf/security/security.h"
#include "platform/codepage.h"
#include "platform/messages.h"
#include "platform/replace_file.h"
#include "platform/version.h"

namespace pagemint {

namespace {

constexpr const char kCrLf[] = "\r\n";
// File identifiers made here: 16 random bytes, as long as an MD5 digest.
constexpr size_t kFileIDSize = 16;
constexpr const char16_t kProducer[] = u"Pagemint PDF engine " PAGEMINT_VERSION;
// Objects must start below this byte for their offsets to fit the table.
constexpr int64_t kMaxObjectOffset = int64_t{1} << 31;
// Stream data still in the source is copied through a buffer of this size:
// large enough that each chunk is one read and one write, small enough to
// stay out of the peak memory of a document of large images.
constexpr int64_t kCopyChunk = int64_t{1} << 20;

const char* VersionText(TgtPDFVersion version) {
  switch (version) {
    case pvPDF10:
      return "1.0";
    case pvPDF11:
      return "1.1";
    case pvPDF12:
      return "1.2";
    case pvPDF13:
      return "1.3";
    case pvPDF14:
      return "1.4";
    case pvPDF15:
      return "1.5";
    case pvPDF16:
      return "1.6";
    case pvPDF17:
      return "1.7";
    case pvPDF20:
      return "2.0";
  }
  return "1.4";
}

void AppendDecimal(std::string& out, int64_t value) { out.append(std::to_string(value)); }

}  // namespace

// One write of a document. The writer keeps its own books: which objects
// are written is found at save time by walking what the trailer reaches
// (catalog, information dictionary, the page tree it writes, outlines),
// and their new numbers live in tables of the writer's own, by store
// index. Nothing in the document is changed by a save, so saving twice
// writes the same bytes.
class TgtDocumentWriter final : public TgtTextContext {
 public:
  TgtDocumentWriter(TgtCustomPDFDocument& document, TStream& output)
      : document_(document), state_(document.State()), output_(output) {}

  void Write();
  // Writes the pages given (numbers from 1, in that order) as a document
  // of their own for the renderer: see SavePagesForRenderer.
  void WritePages(const std::vector<int32_t>& page_numbers);

  int32_t TargetNumber(const TgtPDFIndirectReference& reference) const override {
    const Slot slot = Find(reference);
    if (slot.index < 0) return 0;
    if (stand_in_ > 0 && !slot.temporary && excluded_[static_cast<size_t>(slot.index)])
      return stand_in_;
    return (slot.temporary ? temporary_numbers_ : store_numbers_)[static_cast<size_t>(slot.index)];
  }
  int32_t PageTreeRoot() const override { return kPageTreeNumber; }
  bool Encrypts(int32_t number) const override { return encrypting_ && number > 0; }
  size_t EncryptedSize(int32_t, size_t size, const TgtPDFDictObject* stream) const override {
    return state_.encryption_object->EncryptedSize(size, stream);
  }
  void EncryptTail(int32_t number, std::string& out, size_t start,
                   const TgtPDFDictObject* stream) const override {
    state_.encryption_object->EncryptTail(out, start, number, 0, stream);
  }
  std::unique_ptr<TgtPDFDictObject> StreamDictionary(const TgtPDFStreamObject& stream,
                                                     size_t size) const override;

 private:
  // Where a reference's target is registered: the outline items rebuilt
  // for this save (temporary_) come first, as they replace the source's.
  struct Slot {
    int32_t index = -1;
    bool temporary = false;
  };
  Slot Find(const TgtPDFIndirectReference& reference) const {
    const int32_t in_temporary =
        temporary_.IndexOf(reference.Serial(), reference.Number(), reference.Generation());
    if (in_temporary >= 0) return {in_temporary, true};
    return {state_.store->IndexOf(reference.Serial(), reference.Number(), reference.Generation()),
            false};
  }
  // A page written in a second place of the page list, or one that is not
  // the object the store finds under its key: written again under a number
  // of its own.
  struct ExtraPage {
    const TgtPDFIndirectObject* page;
    int32_t number;
  };

  void Status(const char* message) {
    if (document_.OnStatusMessage) document_.OnStatusMessage(document_, message);
  }
  int32_t NextNumber() {
    if (counter_ == std::numeric_limits<int32_t>::max())
      throw EPDFException(Format(msg::kTooManyObjects, std::numeric_limits<int32_t>::max() - 1));
    return ++counter_;
  }
  // Marks what roots reach, by store and temporary index; a reference to
  // a store object flagged in excluded_ is not followed (written null).
  void MarkReachable(std::vector<const TgtPDFObject*> roots,
                     const std::vector<TgtPDFIndirectObject*>& pages);
  void MarkReachable();
  void NumberObjects(const std::vector<TgtPDFIndirectObject*>& pages);
  // Records where object number begins (after the leading CR LF) and
  // writes text.
  void WriteObjectText(int32_t number, const std::string& text) {
    const int64_t start = output_.Size() + 2;
    if (start >= kMaxObjectOffset)
      throw EPDFException(Format(msg::kOutputTooLarge, number, static_cast<long long>(start)));
    offsets_.push_back(static_cast<int32_t>(start));
    output_.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
  }
  void WriteFramed(int32_t number, const std::string& content) {
    text_.clear();
    text_.append(kCrLf);
    AppendDecimal(text_, number);
    text_.append(" 0 obj");
    text_.append(kCrLf);
    WriteObjectText(number, text_);
    // The content goes out as it is: the page tree's is large, and a copy
    // would stay in text_'s capacity for the rest of the save.
    output_.WriteBuffer(content.data(), static_cast<int64_t>(content.size()));
    text_.clear();
    text_.append(kCrLf);
    text_.append("endobj");
    text_.append(kCrLf);
    output_.WriteBuffer(text_.data(), static_cast<int64_t>(text_.size()));
  }
  void WriteObjects(int64_t& visited, int64_t total);
  // A page's content as written: a page the source left untyped is
  // written with /Type /Page (which gives it its /Parent line), and a page
  // in an article thread with the /B it was read with (the reader keeps it
  // apart), through a copy, so the document itself stays as it is.
  const TgtPDFObject* PageContent(const TgtPDFIndirectObject& page);
  // An object's whole text, built in memory; a stream whose data is still
  // in the source is copied from there instead (WriteSourceStream).
  void WriteObject(int32_t number, const TgtPDFObject* content) {
    if (content && content->IsStream() && WriteSourceStream(number, content->AsStream())) return;
    text_.clear();
    AppendIndirectObjectText(text_, number, content, this);
    WriteObjectText(number, text_);
  }
  void ChooseFileID();
  bool WriteSourceStream(int32_t number, const TgtPDFStreamObject& stream);
  void CopyStreamData(const TgtStreamExtent& extent, TgtStreamCipher* decrypt,
                      TgtStreamCipher* encrypt, int64_t size);
  void WriteHeader();
  void WriteTrailer(int32_t encrypt_number);

  TgtCustomPDFDocument& document_;
  TgtPDFDocumentState& state_;
  TStream& output_;
  TgtPDFObjectStore temporary_;
  // The renumbering table: the new number of each store object and each
  // temporary object by registration index, 0 for one not written.
  std::vector<int32_t> store_numbers_;
  std::vector<int32_t> temporary_numbers_;
  // The pages' numbers in page-list order, and the pages written twice.
  std::vector<int32_t> page_numbers_;
  std::vector<ExtraPage> extra_pages_;
  // Whether the store object at an index is a page of the page list.
  std::vector<bool> is_page_;
  // The pages' copies as written (see PageContent), by page object.
  std::unordered_map<const TgtPDFIndirectObject*, TgtPDFObjectPtr> page_copies_;
  // A whole save: each page's /B as read, for the pages that had one.
  std::unordered_map<const TgtPDFIndirectObject*, const TgtPDFObject*> beads_;
  int32_t counter_ = kPageTreeNumber;
  std::vector<int32_t> offsets_;
  std::string text_;
  // The buffers of CopyStreamData, kept from one stream to the next.
  std::string chunk_;
  std::string decrypted_;
  std::string encrypted_;
  bool encrypting_ = false;
  // The save's progress so far, for the reports within a stream.
  double save_fraction_ = 0;
  // WritePages: no progress reports, and the store objects not followed.
  bool quiet_ = false;
  std::vector<bool> excluded_;
  // WritePages: the page a reference to an excluded page is written as.
  int32_t stand_in_ = 0;
};

std::unique_ptr<TgtPDFDictObject> TgtDocumentWriter::StreamDictionary(
    const TgtPDFStreamObject& stream, size_t size) const {
  // A /Length that states the size of the data written stays as it is; a
  // wrong one (the reader may have corrected it while reading), a missing
  // one or one that refers elsewhere is written as the true size.
  const TgtPDFObject* length = stream.Dictionary().Lookup("/Length");
  if (length && length->IsReference()) {
    const Slot slot = Find(length->AsReference());
    if (slot.index >= 0 && !slot.temporary) length = state_.store->ItemAt(slot.index)->Content();
  }
  if (LengthGives(length, size)) return nullptr;
  auto dictionary = std::unique_ptr<TgtPDFDictObject>(
      static_cast<TgtPDFDictObject*>(stream.Dictionary().Clone().release()));
  if (size <= static_cast<size_t>(std::numeric_limits<int32_t>::max()))
    dictionary->SetValue("/Length",
                         std::make_unique<TgtPDFIntegerObject>(static_cast<int32_t>(size)));
  else
    dictionary->SetValue("/Length",
                         std::make_unique<TgtPDFInt64Object>(static_cast<int64_t>(size)));
  return dictionary;
}

// A stream whose raw data is still in the source goes from there to the
// output in chunks, never whole in memory: decrypted with the source's key
// and encrypted with the output's on the way when either is encrypted. The
// same text as a stream held in memory. False (nothing written) when the
// data is in memory, or when a cipher cannot say the output's size up
// front (the /Length written before the data must state it): the caller
// then writes the stream whole.
bool TgtDocumentWriter::WriteSourceStream(int32_t number, const TgtPDFStreamObject& stream) {
  const TgtStreamExtent* extent = stream.Extent();
  if (!extent) return false;
  int64_t size = extent->length;
  std::unique_ptr<TgtStreamCipher> decrypt;
  std::unique_ptr<TgtStreamCipher> encrypt;
  if (extent->encrypted && size > 0) {
    if (!extent->source) throw EFileError(Format(msg::kSourceDataMissing, extent->number));
    decrypt = extent->source->DecryptCipher(&stream.Dictionary(), extent->number,
                                            extent->generation);
    size = decrypt ? decrypt->OutputSize(size) : -1;
    if (size < 0 && decrypt && decrypt->EndNeeded() > 0 &&
        static_cast<size_t>(extent->length) >= decrypt->EndNeeded()) {
      // The size shows at the data's end (AES padding): read just that.
      std::string end(decrypt->EndNeeded(), '\0');
      const int64_t at = extent->offset + extent->length - static_cast<int64_t>(end.size());
      if (!extent->source->ReadAt(at, end.data(), static_cast<int64_t>(end.size())))
        throw EFileError(Format(msg::kSourceDataMissing, extent->number));
      size = decrypt->OutputSizeFromEnd(extent->length, end);
    }
    if (size < 0) return false;
  }
  if (Encrypts(number) && size > 0) {
    // nullptr: the output's crypt filters leave this stream as it is.
    encrypt = state_.encryption_object->StreamEncryptor(&stream.Dictionary(), number, 0);
    if (encrypt) {
      size = encrypt->OutputSize(size);
      if (size < 0) return false;
    }
  }
  text_.clear();
  text_.append(kCrLf);
  AppendDecimal(text_, number);
  text_.append(" 0 obj");
  text_.append(kCrLf);
  const std::unique_ptr<TgtPDFDictObject> own = StreamDictionary(stream, static_cast<size_t>(size));
  AppendObjectText(text_, own ? own.get() : &stream.Dictionary(), this, number);
  text_.append(kCrLf);
  text_.append("stream");
  text_.append(kCrLf);
  WriteObjectText(number, text_);
  CopyStreamData(*extent, decrypt.get(), encrypt.get(), size);
  text_.clear();
  text_.append(kCrLf);
  text_.append("endstream");
  text_.append(kCrLf);
  text_.append("endobj");
  text_.append(kCrLf);
  output_.WriteBuffer(text_.data(), static_cast<int64_t>(text_.size()));
  return true;
}

void TgtDocumentWriter::CopyStreamData(const TgtStreamExtent& extent, TgtStreamCipher* decrypt,
                                       TgtStreamCipher* encrypt, int64_t size) {
  int64_t written = 0;
  // Hands one piece of plain data on, through the output's cipher.
  auto emit = [&](const std::string& plain, bool last) {
    const std::string* out = &plain;
    if (encrypt) {
      encrypted_.clear();
      encrypt->Update(plain, encrypted_);
      if (last) encrypt->Final(encrypted_);
      out = &encrypted_;
    }
    output_.WriteBuffer(out->data(), static_cast<int64_t>(out->size()));
    written += static_cast<int64_t>(out->size());
  };
  int64_t left = extent.length;
  int64_t offset = extent.offset;
  do {
    if (!decrypt && !encrypt && extent.source) {
      // Plain bytes from file to file: inside the system, chunk by chunk
      // for the progress reports; a chunk it cannot copy goes the buffered
      // way below.
      const int64_t copied = extent.source->CopyTo(offset, std::min(left, kCopyChunk), output_);
      if (copied > 0) {
        offset += copied;
        left -= copied;
        written += copied;
        if (document_.OnWorkProgress)
          document_.ReportWork(TgtWorkStep::Save, save_fraction_, false);
        continue;
      }
    }
    const int64_t n = std::min(left, kCopyChunk);
    chunk_.resize(static_cast<size_t>(n));
    if (!extent.source || !extent.source->ReadAt(offset, chunk_.data(), n))
      throw EFileError(Format(msg::kSourceDataMissing, extent.number));
    offset += n;
    left -= n;
    // Within a large stream too, so a cancel does not wait for its end.
    if (document_.OnWorkProgress) document_.ReportWork(TgtWorkStep::Save, save_fraction_, false);
    if (decrypt) {
      decrypted_.clear();
      decrypt->Update(chunk_, decrypted_);
      // As when decrypting whole: what a damaged end leaves is kept.
      if (left == 0) decrypt->Final(decrypted_);
      emit(decrypted_, left == 0);
    } else {
      emit(chunk_, left == 0);
    }
  } while (left > 0);
  // The ciphers promised this size; the /Length written says it.
  if (written != size) throw EPDFException(Format(msg::kSourceDataMissing, extent.number));
}

// The walk over what the written file refers to, from the objects the
// writer builds itself (catalog, information dictionary, page tree) and
// the outline items rebuilt for this save. It keeps its own work list, so
// long chains of objects cannot exhaust the stack, and visits each object
// once, so cycles end.
void TgtDocumentWriter::MarkReachable() {
  const TgtPDFCatalog& catalog = *state_.catalog;
  std::vector<const TgtPDFObject*> work{
      catalog.metadata.get(),         catalog.names.get(),      catalog.outlines.get(),
      catalog.acro_form.get(),        catalog.open_action.get(), catalog.additional_actions.get(),
      catalog.other_entries.get(),    &state_.info->Dictionary()};
  for (size_t i = 0; i < state_.pages.size() && i < state_.page_beads.size(); ++i)
    if (const TgtPDFObject* beads = state_.page_beads[i].get()) {
      beads_[state_.pages[i]] = beads;
      work.push_back(beads);
    }
  MarkReachable(std::move(work), state_.pages);
}

void TgtDocumentWriter::MarkReachable(std::vector<const TgtPDFObject*> work,
                                      const std::vector<TgtPDFIndirectObject*>& pages) {
  store_numbers_.assign(static_cast<size_t>(state_.store->Count()), 0);
  temporary_numbers_.assign(static_cast<size_t>(temporary_.Count()), 0);
  // -1 marks an object reached but not numbered yet.
  for (int32_t i = 0; i < temporary_.Count(); ++i) {
    temporary_numbers_[static_cast<size_t>(i)] = -1;
    work.push_back(temporary_.ItemAt(i)->Content());
  }
  for (const TgtPDFIndirectObject* page : pages) {
    const int32_t index = state_.store->IndexOf(page->Serial(), page->Number(), page->Generation());
    if (index >= 0 && state_.store->ItemAt(index) == page) {
      int32_t& mark = store_numbers_[static_cast<size_t>(index)];
      if (mark != 0) continue;
      mark = -1;
    }
    work.push_back(page->Content());
  }
  while (!work.empty()) {
    const TgtPDFObject* object = work.back();
    work.pop_back();
    if (!object) continue;
    switch (object->Tag()) {
      case otArray: {
        const TgtPDFArrayObject& array = object->AsArray();
        for (int32_t i = array.Count() - 1; i >= 0; --i) work.push_back(array.ItemAt(i));
        break;
      }
      case otDictionary: {
        const TgtPDFDictObject& dictionary = object->AsDictionary();
        for (int32_t i = dictionary.Count() - 1; i >= 0; --i)
          work.push_back(dictionary.ValueAt(i));
        break;
      }
      case otStream:
        work.push_back(&object->AsStream().Dictionary());
        break;
      case otIndirect:
        work.push_back(object->AsIndirect().Content());
        break;
      case otReference: {
        const Slot slot = Find(object->AsReference());
        if (slot.index < 0) break;
        if (!slot.temporary && !excluded_.empty() && excluded_[static_cast<size_t>(slot.index)])
          break;
        int32_t& mark =
            (slot.temporary ? temporary_numbers_ : store_numbers_)[static_cast<size_t>(slot.index)];
        if (mark != 0) break;
        mark = -1;
        work.push_back((slot.temporary ? temporary_ : *state_.store).ItemAt(slot.index)->Content());
        break;
      }
      default:
        break;
    }
  }
}

// Numbers from 4 in registration order: the store's objects, the pages
// written twice, then the outline items.
void TgtDocumentWriter::NumberObjects(const std::vector<TgtPDFIndirectObject*>& pages) {
  for (int32_t& number : store_numbers_)
    if (number != 0) number = NextNumber();
  // Flags by store index rather than sets of pointers: a document of a
  // hundred thousand pages saves without a node per page.
  is_page_.assign(store_numbers_.size(), false);
  page_numbers_.reserve(pages.size());
  for (const TgtPDFIndirectObject* page : pages) {
    const int32_t index = state_.store->IndexOf(page->Serial(), page->Number(), page->Generation());
    if (index >= 0 && state_.store->ItemAt(index) == page && !is_page_[static_cast<size_t>(index)]) {
      is_page_[static_cast<size_t>(index)] = true;
      page_numbers_.push_back(store_numbers_[static_cast<size_t>(index)]);
      continue;
    }
    extra_pages_.push_back({page, NextNumber()});
    page_numbers_.push_back(extra_pages_.back().number);
  }
  for (int32_t& number : temporary_numbers_)
    if (number != 0) number = NextNumber();
}

const TgtPDFObject* TgtDocumentWriter::PageContent(const TgtPDFIndirectObject& page) {
  const TgtPDFObject* content = page.Content();
  if (!content || !content->IsDictionary()) return content;
  const TgtPDFDictObject& dictionary = content->AsDictionary();
  const TgtPDFObject* type = dictionary.Lookup("/Type");
  const bool typed = type && type->IsName() && type->AsName().Text() == "/Page";
  const auto read = beads_.find(&page);
  const TgtPDFObject* beads =
      read != beads_.end() && !dictionary.Lookup("/B") ? read->second : nullptr;
  if (typed && !beads) return content;
  TgtPDFObjectPtr& copy = page_copies_[&page];
  if (!copy) {
    copy = content->Clone();
    if (!typed) copy->AsDictionary().SetValue("/Type", std::make_unique<TgtPDFNameObject>("/Page"));
    if (beads) copy->AsDictionary().SetValue("/B", beads->Clone());
  }
  return copy.get();
}

void TgtDocumentWriter::WriteObjects(int64_t& visited, int64_t total) {
  auto progress = [&] {
    ++visited;
    if (quiet_) return;
    if (document_.OnIOProgress)
      document_.OnIOProgress(document_, static_cast<int32_t>(visited * 100 / total));
    if (document_.OnWorkProgress)
      document_.ReportWork(TgtWorkStep::Save, save_fraction_ = static_cast<double>(visited) / total,
                           false);
  };
  for (int32_t i = 0; i < state_.store->Count(); ++i) {
    if (const int32_t number = store_numbers_[static_cast<size_t>(i)]) {
      const TgtPDFIndirectObject* object = state_.store->ItemAt(i);
      WriteObject(number, is_page_[static_cast<size_t>(i)] ? PageContent(*object) : object->Content());
    }
    progress();
  }
  for (const ExtraPage& extra : extra_pages_) {
    WriteObject(extra.number, PageContent(*extra.page));
    progress();
  }
  for (int32_t i = 0; i < temporary_.Count(); ++i) {
    if (const int32_t number = temporary_numbers_[static_cast<size_t>(i)])
      WriteObject(number, temporary_.ItemAt(i)->Content());
    progress();
  }
}

// The first /ID string stays what the source or an earlier save had (the
// encryption keys depend on it), or becomes 16 random bytes; the second is
// new at every save, so readers can tell versions of a document apart.
void TgtDocumentWriter::ChooseFileID() {
  std::string first;
  if (state_.encryption_object) {
    first = state_.encryption_object->GetFileID();
  } else if (std::optional<std::string> kept = document_.SourceFileID(); kept && !kept->empty()) {
    first = std::move(*kept);
  } else {
    first = document_.Random().Bytes(kFileIDSize);
  }
  auto id = std::make_unique<TgtPDFArrayObject>();
  id->Add(std::make_unique<TgtPDFStringObject>(HexStringText(first), true));
  id->Add(std::make_unique<TgtPDFStringObject>(
      HexStringText(document_.Random().Bytes(kFileIDSize)), true));
  state_.trailer.id = std::move(id);
}

void TgtDocumentWriter::WriteHeader() {
  std::string header = "%PDF-";
  header.append(VersionText(state_.version));
  header.append(kCrLf);
  header.append("%\xE2\xE3\xCF\xD3");
  header.append(kCrLf);
  output_.WriteBuffer(header.data(), static_cast<int64_t>(header.size()));
}

void TgtDocumentWriter::WriteTrailer(int32_t encrypt_number) {
  const int64_t xref_start = output_.Size();
  const size_t entries = offsets_.size() + 1;
  // The table goes out in pieces: whole, it would be 20 bytes per object
  // held in memory at the end of the save, when the most is held already.
  constexpr size_t kXRefPiece = 64 * 1024;
  std::string text;
  text.reserve(kXRefPiece + 256);
  auto flush = [&] {
    output_.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
    text.clear();
  };
  text.append("xref");
  text.append(kCrLf);
  text.append("0 ");
  AppendDecimal(text, static_cast<int64_t>(entries));
  text.append(kCrLf);
  text.append("0000000000 65535 f");
  text.append(kCrLf);
  char entry[24];
  for (const int32_t offset : offsets_) {
    std::snprintf(entry, sizeof entry, "%.10d %.5d %s\r\n", offset, 0, "n");
    text.append(entry, 20);
    if (text.size() >= kXRefPiece) flush();
  }
  text.append("trailer");
  text.append(kCrLf);
  text.append("<<");
  text.append(kCrLf);
  text.append("/Size ");
  AppendDecimal(text, static_cast<int64_t>(entries));
  text.append(kCrLf);
  text.append("/Root 1 0 R");
  text.append(kCrLf);
  text.append("/Info 2 0 R");
  text.append(kCrLf);
  if (const TgtPDFArrayObject* id = state_.trailer.id.get()) {
    text.append("/ID ");
    AppendObjectText(text, id, this, kNoEncryption);
    text.append(kCrLf);
  }
  if (encrypt_number > 0) {
    text.append("/Encrypt ");
    AppendDecimal(text, encrypt_number);
    text.append(" 0 R");
    text.append(kCrLf);
  }
  text.append(">>");
  text.append(kCrLf);
  text.append("startxref");
  text.append(kCrLf);
  AppendDecimal(text, xref_start);
  text.append(kCrLf);
  text.append("%%EOF");
  text.append(kCrLf);
  flush();
}

void TgtDocumentWriter::Write() {
  // Said before anything is written, so the user knows why a signed
  // document no longer verifies.
  if (document_.OnWarning && HoldsSignatures(state_))
    document_.OnWarning(document_, msg::kDocumentSigned);
  const bool encryption_enabled = state_.encryption->Enabled();
  // New settings over a source whose user password was not recovered: the
  // empty user password they hold was never chosen by anyone.
  if (document_.OnWarning && encryption_enabled && !state_.encryption->KeptSecurity() &&
      !state_.encryption->UserPasswordKnown() && state_.encryption->UserPassword().empty())
    document_.OnWarning(document_, msg::kUserPasswordUnknown);
  // Information setters encrypt their values for object 2 while the
  // document is to be saved encrypted. The encryptor stays installed after
  // the save, so it holds the component and the state (which outlive this
  // writer), never the writer itself.
  state_.info->SetTextEncryptor([document = &document_, state = &state_](const std::string& bytes) {
    return state->encryption->Enabled() ? document->EncryptData(bytes, kInfoNumber) : bytes;
  });
  state_.info->SetProducer(kProducer);
  if (encryption_enabled && !state_.encryption_object) document_.PrepareEncryption();
  encrypting_ = encryption_enabled;
  ChooseFileID();

  Status(msg::kBuildingOutlines);
  RebuildOutlines(state_, temporary_, [this](const char* warning) {
    if (document_.OnWarning) document_.OnWarning(document_, warning);
  });

  Status(msg::kBuildingObjects);
  MarkReachable();
  NumberObjects(state_.pages);
  offsets_.reserve(static_cast<size_t>(counter_) + 1);

  WriteHeader();
  std::string content;
  AppendCatalogText(content, state_, *this);
  WriteFramed(kCatalogNumber, content);
  content.clear();
  AppendObjectText(content, &state_.info->Dictionary(), this, kInfoNumber);
  WriteFramed(kInfoNumber, content);

  Status(msg::kWritingPages);
  content.clear();
  AppendPageTreeText(content, page_numbers_);
  WriteFramed(kPageTreeNumber, content);
  std::string().swap(content);  // let the page tree's text go before the objects

  const int64_t total = std::max<int64_t>(
      1, int64_t{state_.store->Count()} + temporary_.Count() + int64_t(extra_pages_.size()));
  int64_t visited = 0;
  WriteObjects(visited, total);

  Status(msg::kWritingXRef);
  int32_t encrypt_number = 0;
  if (encryption_enabled) {
    std::unique_ptr<TgtPDFDictObject> dictionary = document_.BuildEncryptDictionary();
    encrypt_number = NextNumber();
    content.clear();
    AppendObjectText(content, dictionary.get(), this, kNoEncryption);
    WriteFramed(encrypt_number, content);
  }
  WriteTrailer(encrypt_number);
}

void TgtDocumentWriter::WritePages(const std::vector<int32_t>& page_numbers) {
  quiet_ = true;
  encrypting_ = false;
  std::vector<TgtPDFIndirectObject*> pages;
  pages.reserve(page_numbers.size());
  for (const int32_t number : page_numbers)
    if (number >= 1 && number <= static_cast<int32_t>(state_.pages.size()))
      pages.push_back(state_.pages[static_cast<size_t>(number - 1)]);
  // The other pages are not followed, so the copy holds what its own
  // pages reach and no more. A link, a bead or an annotation's /P to one
  // of them is written as a reference to the copy's first page: drawing
  // does not follow them, but a renderer reports a destination that is not
  // a page as damage.
  excluded_.assign(static_cast<size_t>(state_.store->Count()), false);
  for (const TgtPDFIndirectObject* page : state_.pages) {
    const int32_t index = state_.store->IndexOf(page->Serial(), page->Number(), page->Generation());
    if (index >= 0) excluded_[static_cast<size_t>(index)] = true;
  }
  for (const TgtPDFIndirectObject* page : pages) {
    const int32_t index = state_.store->IndexOf(page->Serial(), page->Number(), page->Generation());
    if (index >= 0) excluded_[static_cast<size_t>(index)] = false;
  }
  // What drawing reads from the catalog: which optional content is shown.
  const TgtPDFObject* layers = state_.catalog->other_entries->Lookup("/OCProperties");
  MarkReachable({layers}, pages);
  NumberObjects(pages);
  if (!page_numbers_.empty()) stand_in_ = page_numbers_.front();
  offsets_.reserve(static_cast<size_t>(counter_) + 1);

  WriteHeader();
  std::string content = "<<";
  content.append(kCrLf);
  content.append("/Type /Catalog");
  content.append(kCrLf);
  content.append("/Pages ");
  AppendDecimal(content, kPageTreeNumber);
  content.append(" 0 R");
  content.append(kCrLf);
  if (layers) {
    content.append("/OCProperties ");
    AppendObjectText(content, layers, this, kCatalogNumber);
    content.append(kCrLf);
  }
  content.append(">>");
  WriteFramed(kCatalogNumber, content);
  WriteFramed(kInfoNumber, "<< >>");
  content.clear();
  AppendPageTreeText(content, page_numbers_);
  WriteFramed(kPageTreeNumber, content);
  int64_t visited = 0;
  WriteObjects(visited, 1);
  WriteTrailer(0);
}

// ---------------------------------------------------------------------------
// The component's side

RandomSource& TgtCustomPDFDocument::Random() {
  if (!random_) random_ = MakeSystemRandom();
  return *random_;
}

std::optional<std::string> TgtCustomPDFDocument::SourceFileID() const {
  if (!state_->trailer.id || state_->trailer.id->Count() == 0) return std::nullopt;
  const TgtPDFObject* first = state_->trailer.id->ItemAt(0);
  if (!first || !first->IsString()) return std::nullopt;
  return first->AsString().Bytes();
}

void TgtCustomPDFDocument::PrepareEncryption() {
  state_->encryption_object.reset();
  if (const TgtPDFSourceSecurity* kept = state_->encryption->KeptSecurity()) {
    state_->encryption_object = std::make_unique<TgtPDFEncryption>(*kept);
    return;
  }
  std::optional<std::string> file_id = SourceFileID();
  if (!file_id || file_id->empty()) file_id = Random().Bytes(kFileIDSize);
  state_->encryption_object =
      std::make_unique<TgtPDFEncryption>(*state_->encryption, std::move(*file_id));
}

std::string TgtCustomPDFDocument::EncryptData(std::string_view data, int32_t number) {
  if (!state_->encryption_object) PrepareEncryption();
  return state_->encryption_object->EncryptObjectData(data, number, 0);
}

std::unique_ptr<TgtPDFDictObject> TgtCustomPDFDocument::BuildEncryptDictionary() {
  if (!state_->encryption_object) PrepareEncryption();
  return state_->encryption_object->BuildEncryptDictionary();
}

void TgtCustomPDFDocument::WriteDocument() {
  RefuseReadForUpdate();
  BeginWork(TgtWorkStep::Save);
  TgtDocumentWriter writer(*this, *write_stream_);
  writer.Write();
  if (OnWorkProgress) ReportWork(TgtWorkStep::Save, 1.0, true);
}

void TgtCustomPDFDocument::SavePagesForRenderer(const std::vector<int32_t>& page_numbers,
                                                TStream& stream) {
  RefuseReadForUpdate();
  TgtWriteOnlyFilter filter(&stream);
  TgtDocumentWriter writer(*this, filter);
  writer.WritePages(page_numbers);
}

void TgtCustomPDFDocument::SaveToStream(TStream& stream) {
  TgtWriteOnlyFilter filter(&stream);
  write_stream_ = &filter;
  try {
    WriteDocument();
  } catch (...) {
    write_stream_ = nullptr;
    throw;
  }
  write_stream_ = nullptr;
}

bool TgtCustomPDFDocument::RunSetupDialog() {
  if (!show_setup_dialog_) return true;
  if (setup_dialog_) return setup_dialog_->Execute(*this);
  if (!settings_dialog_factory_) return true;
  std::unique_ptr<TgtBaseDlg> dialog = settings_dialog_factory_();
  return !dialog || dialog->Execute(*this);
}

void TgtCustomPDFDocument::ApplyNeedAppearances(TgtNeedAppearances need_appearances) {
  if (need_appearances == naUnchanged) return;
  TgtPDFDictObject* form = nullptr;
  try {
    form = state_->store->FollowAs<TgtPDFDictObject>(state_->catalog->acro_form.get());
  } catch (const EUnexpectedObjectError&) {
    return;  // a form entry of the wrong kind: nothing to set
  }
  if (!form) return;
  form->SetValue("/NeedAppearances",
                 std::make_unique<TgtPDFBooleanObject>(need_appearances == naTrue));
}

// ".pdf" is added unless the name already ends in it, in any case.
std::string TgtCustomPDFDocument::CompletedSaveName(const std::string& file_name) {
  const std::string extension = std::filesystem::path(file_name).extension().string();
  return LowerCase(extension) == ".pdf" ? file_name : file_name + ".pdf";
}

void TgtCustomPDFDocument::SaveToFile(const std::string& file_name,
                                      TgtNeedAppearances need_appearances) {
  if (!RunSetupDialog()) return;
  const std::string output_name = CompletedSaveName(file_name);
  ApplyNeedAppearances(need_appearances);
  if (OnStatusMessage) OnStatusMessage(*this, Format(msg::kSavingFile, output_name.c_str()));

  ReplaceFile(output_name, [this](TStream& file) { SaveToStream(file); });

  if (open_after_save_) {
    if (!shell_) shell_ = MakeDesktopShell();
    shell_->Open(output_name);
  }
  if (OnStatusMessage) OnStatusMessage(*this, msg::kSaveComplete);
}

}  // namespace pagemint
