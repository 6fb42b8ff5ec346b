// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/document/custom_pdf_document.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <filesystem>
#include <unordered_set>

#include "pdf/objects/pdf_exceptions.h"
#include "pdf/reader/decryption_setup.h"
#include "pdf/reader/structure_reader.h"
#include "pdf/reader/xref_reader.h"
#include "pdf/security/security.h"
#include "platform/messages.h"
#include "platform/version.h"

namespace pagemint {
namespace {

constexpr const char kAboutText[] = "Pagemint PDF engine";
constexpr const char kVersionText[] = PAGEMINT_VERSION;

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Only a missing extension is completed, and only for a name that does
// not exist as given: "report" opens "report.pdf" when there is no file
// "report", "report.txt" stays as it is. A file named as given always
// wins, so that no other file is read or changed in its place.
std::string CompleteFileName(const std::string& name) {
  const std::string last = std::filesystem::path(name).filename().string();
  if (last.find('.') != std::string::npos) return name;
  std::error_code error;
  if (std::filesystem::exists(name, error)) return name;
  return name + ".pdf";
}

}  // namespace

TgtCustomPDFDocument::TgtCustomPDFDocument()
    : TgtComponent(kAboutText, kVersionText), email_info_(std::make_unique<TgtEMailInfo>()) {
  InitDocumentState();
}

TgtCustomPDFDocument::~TgtCustomPDFDocument() {
  loader_.reset();
  state_.reset();
}

void TgtCustomPDFDocument::InitDocumentState() {
  state_ = std::make_unique<TgtPDFDocumentState>();
  // Page mode and layout belong to the component, not to the document:
  // they survive closing.
  state_->page_mode = kept_page_mode_;
  state_->page_layout = kept_page_layout_;
  loader_ = std::make_unique<TgtObjectLoader>(*state_, static_cast<TgtReadReporter&>(*this));
  structure_read_ = false;
  work_file_name_.clear();
}

void TgtCustomPDFDocument::ReleaseDocumentState() {
  if (!state_) return;
  kept_page_mode_ = state_->page_mode;
  kept_page_layout_ = state_->page_layout;
  loader_.reset();
  state_.reset();
}

void TgtCustomPDFDocument::CloseDocument() {
  ReleaseDocumentState();
  InitDocumentState();
}

void TgtCustomPDFDocument::SetFilename(const std::string& value) {
  filename_ = value;
  if (!value.empty()) LoadFromFile(value);
}

bool TgtCustomPDFDocument::IsOwner() const {
  return !state_->decryptor || state_->decryptor->IsOwner();
}

bool TgtCustomPDFDocument::LoadFromFile(const std::string& file_name) {
  if (IsLoaded()) CloseDocument();
  work_file_name_ = CompleteFileName(file_name);
  std::error_code error;
  if (!std::filesystem::is_regular_file(work_file_name_, error))
    throw EFileNotFound(Format("%s ", work_file_name_.c_str()) + msg::kFileNotFound);
  if (filename_.empty()) filename_ = work_file_name_;
  const std::string name = work_file_name_;
  source_file_name_ = name;
  source_file_size_ = static_cast<int64_t>(std::filesystem::file_size(name, error));
  source_file_time_ = std::filesystem::last_write_time(name, error).time_since_epoch().count();
  const bool loaded = LoadFromSource(std::make_unique<TFileStream>(name, TFileMode::fmOpenRead));
  work_file_name_ = name;
  return loaded;
}

bool TgtCustomPDFDocument::LoadFromStream(TStream& stream) {
  auto copy = std::make_unique<TMemoryStream>();
  copy->CopyFrom(stream, 0);
  copy->SetPosition(0);
  source_file_name_.clear();
  return LoadFromSource(std::move(copy));
}

bool TgtCustomPDFDocument::LoadFromBytes(std::string bytes) {
  source_file_name_.clear();
  return LoadFromSource(std::make_unique<TMemoryStream>(std::move(bytes)));
}

void TgtCustomPDFDocument::BeginWork(TgtWorkStep step) {
  work_cancelled_ = false;
  last_work_report_ns_ = 0;
  ReportWork(step, 0.0, true);
}

void TgtCustomPDFDocument::ReportWork(TgtWorkStep step, double fraction, bool forced) {
  if (work_cancelled_) throw EOperationCancelled(msg::kOperationCancelled);
  if (!OnWorkProgress) return;
  const int64_t now = NowNs();
  if (!forced && now - last_work_report_ns_ < kWorkReportIntervalMs * 1'000'000) return;
  last_work_report_ns_ = now;
  bool cancel = false;
  OnWorkProgress(*this, step, std::clamp(fraction, 0.0, 1.0), cancel);
  if (!cancel) return;
  // Raised here, and again from every later report: a reader that reads
  // past one failure still stops at the next.
  work_cancelled_ = true;
  throw EOperationCancelled(msg::kOperationCancelled);
}

bool TgtCustomPDFDocument::LoadFromSource(std::unique_ptr<TStream> source) {
  if (IsLoaded()) CloseDocument();
  accepted_password_.reset();
  table_rebuilt_ = false;
  const std::string name = work_file_name_;
  // Nothing of a failed attempt may reach the next one.
  auto discard = [&] {
    CloseDocument();
    work_file_name_ = name;
  };
  std::exception_ptr first;
  // Set when the table was read whole: the failure came later.
  std::string table_read_error;
  bool table_read = false;
  try {
    BeginWork(TgtWorkStep::Load);
    state_->source = std::make_shared<TgtDocumentSource>(std::move(source));
    TgtXRefReader(*loader_).ReadFromStream(*state_->source->Stream());
    table_read = true;
    if (work_cancelled_) throw EOperationCancelled(msg::kOperationCancelled);
    ReadAfterCrossReference();
    return IsLoaded();
  } catch (const EOperationCancelled&) {
    discard();
    throw;
  } catch (const Exception& e) {
    first = std::current_exception();
    if (table_read) table_read_error = e.what();
  } catch (...) {
    discard();
    throw;
  }
  // Damaged cross-reference data shows as an error of any kind, here or
  // while the structure is read (an object not where the table puts it):
  // the whole load is tried once more on a table rebuilt from the objects
  // in the file, and when that fails too the first error stands.
  std::unique_ptr<TStream> kept = state_->source ? state_->source->TakeStream() : nullptr;
  discard();
  if (!kept) std::rethrow_exception(first);
  try {
    state_->source = std::make_shared<TgtDocumentSource>(std::move(kept));
    TgtXRefReader(*loader_).RebuildFromStream(*state_->source->Stream(), table_read_error);
    table_rebuilt_ = true;
    state_->reader->SetRepairing(true);
    if (accepted_password_ && IsEncrypted() && TryPassword(*accepted_password_)) return true;
    ReadAfterCrossReference();
    return IsLoaded();
  } catch (const EOperationCancelled&) {
    discard();
    throw;
  } catch (const ELostEncryptionError&) {
    discard();
    throw;
  } catch (...) {
    discard();
    std::rethrow_exception(first);
  }
}

void TgtCustomPDFDocument::ReadAfterCrossReference() {
  state_->classic_table.Compact();
  state_->stream_table.Compact();
  if (!IsEncrypted()) {
    ReadDocumentStructure();
  } else if (OnPassword) {
    AskForPassword();
  } else {
    TryPassword(std::string());
  }
}

void TgtCustomPDFDocument::AskForPassword() {
  std::string password;
  bool continue_reading = true;
  bool accepted = false;
  for (int32_t tries = 0; !accepted && continue_reading; ++tries) {
    OnPassword(*this, password, continue_reading, tries);
    if (continue_reading)
      accepted = TryPassword(password);
    else
      CloseDocument();
  }
}

bool TgtCustomPDFDocument::TryPassword(const std::string& password) {
  if (structure_read_) return true;
  const bool accepted = !IsEncrypted() || SetupDecryption(*state_, password, this);
  if (!accepted || !state_->reader) return accepted;
  accepted_password_ = password;
  // Object streams are expanded only now, so that their data is
  // decrypted with the decryptor that was just accepted.
  loader_->ExpandObjectStreams();
  ReadDocumentStructure();
  return true;
}

void TgtCustomPDFDocument::ReadDocumentStructure() {
  if (!state_->reader) return;
  if (OnBeginRead) OnBeginRead(*this);
  // A source whose table had to be rebuilt cannot take an update: it is
  // read whole, to be saved whole.
  state_->page_objects_unread = read_for_update_ && !table_rebuilt_;
  try {
    TgtStructureReader(*loader_).ReadCatalog();
    // A cancel that a reader read past still ends the load.
    if (work_cancelled_) throw EOperationCancelled(msg::kOperationCancelled);
    if (OnWorkProgress) ReportWork(TgtWorkStep::Load, 1.0, true);
  } catch (const EOperationCancelled&) {
    const std::string name = work_file_name_;
    CloseDocument();
    work_file_name_ = name;
    throw;
  }
  if (const int32_t repairs = state_->reader->Repairs(); repairs > 0)
    PAGEMINT_REPORT_WARNING(*this, msg::kDamagedSyntaxSkipped, repairs);
  RecordIncrementalBaseline();
  // Every object the document uses is in memory now; stream data stays in
  // the source until it is needed.
  state_->ReleaseSource();
  structure_read_ = true;
  state_->loaded = true;
  if (OnStatusMessage) OnStatusMessage(*this, Format(msg::kDocumentReadComplete, PageCount()));
  if (OnEndRead) OnEndRead(*this);
}

const TgtPDFDictObject& TgtCustomPDFDocument::PageDict(int32_t page_number) const {
  if (page_number < 1 || page_number > PageCount())
    throw EInvalidPageError(Format(msg::kInvalidPageNumber, page_number));
  return state_->pages[static_cast<size_t>(page_number - 1)]->Content()->AsDictionary();
}

const TgtPDFObject* TgtCustomPDFDocument::Resolve(const TgtPDFObject* value) const {
  return state_->store->Follow(value);
}

bool TgtCustomPDFDocument::ReadForUpdate() const { return state_->page_objects_unread; }

void TgtCustomPDFDocument::RefuseReadForUpdate() const {
  if (state_->page_objects_unread) throw EPDFException(msg::kReadForUpdateOnly);
}

std::vector<std::unique_ptr<TgtPDFIndirectObject>> TgtCustomPDFDocument::ExtractPageObjects(
    int32_t page_number) {
  RefuseReadForUpdate();
  if (page_number < 1 || page_number > PageCount())
    throw EInvalidPageError(Format(msg::kInvalidPageNumber, page_number));
  std::vector<std::unique_ptr<TgtPDFIndirectObject>> list;
  CollectReferencedObjects(list, state_->pages[static_cast<size_t>(page_number - 1)]);
  return list;
}

// Copies the object and every indirect object it reaches through the
// store, each once; a work list instead of recursion keeps long chains of
// objects off the stack.
void TgtCustomPDFDocument::CollectReferencedObjects(
    std::vector<std::unique_ptr<TgtPDFIndirectObject>>& list, const TgtPDFObject* object) {
  std::unordered_set<const TgtPDFIndirectObject*> seen;
  std::vector<const TgtPDFObject*> work{object};
  while (!work.empty()) {
    const TgtPDFObject* item = work.back();
    work.pop_back();
    if (!item) continue;
    switch (item->Tag()) {
      case otIndirect: {
        const TgtPDFIndirectObject& indirect = item->AsIndirect();
        if (!seen.insert(&indirect).second) break;
        list.emplace_back(static_cast<TgtPDFIndirectObject*>(indirect.Clone().release()));
        work.push_back(indirect.Content());
        break;
      }
      case otReference:
        work.push_back(state_->store->Find(item->AsReference()));
        break;
      case otArray:
        for (int32_t i = 0; i < item->AsArray().Count(); ++i)
          work.push_back(item->AsArray().ItemAt(i));
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

}  // namespace pagemint
