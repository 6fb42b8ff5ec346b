// SPDX-License-Identifier: GPL-3.0-or-later
// The document component: the engine's public face.
//
// It owns one document state (store, location tables, trailer, catalog
// holder, page list, information, outlines, security objects) and drives
// the readers over it: LoadFromFile reads the cross-reference data, asks
// for a password when the file is encrypted, then reads the structure.
// The writer (SaveToFile) and the thumbnails (SetThumbnail) are defined in
// files of their own in this folder and work on the same state. A document
// is used from one thread at a time; RenderThumbnails runs workers of its
// own that never touch the document's objects.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/document/document_types.h"
#include "pdf/reader/document_state.h"
#include "pdf/reader/object_loader.h"
#include "pdf/reader/read_reporter.h"
#include "pdf/streams/stream_wrappers.h"
#include "platform/services.h"
#include "platform/stream.h"

namespace pagemint {

class TGraphic;
struct TRenderSource;
class TgtPDFEncryptionSettings;
class TgtPDFEncryption;
struct TgtIncrementalBaseline;

class TgtCustomPDFDocument : public TgtComponent, private TgtReadReporter {
 public:
  using TgtProgressEvent = std::function<void(TgtCustomPDFDocument& sender, int32_t percentage)>;
  using TgtStatusMessageEvent =
      std::function<void(TgtCustomPDFDocument& sender, const std::string& message)>;
  using TgtWarningEvent =
      std::function<void(TgtCustomPDFDocument& sender, const std::string& warning)>;
  using TgtOperationProgressEvent = std::function<void(
      TgtCustomPDFDocument& sender, TgtOperation operation, int32_t current, int32_t total)>;
  // The handler may change password and continue_reading; password keeps
  // its value from one call to the next.
  using TgtPasswordEvent = std::function<void(TgtCustomPDFDocument& sender, std::string& password,
                                              bool& continue_reading, int32_t tries)>;
  using TgtCalcVariablesEvent =
      std::function<void(TgtCustomPDFDocument& sender, const std::u16string& variable,
                         std::u16string& value, int32_t page)>;
  using TgtRenameFieldEvent =
      std::function<void(TgtCustomPDFDocument& sender, const std::string& old_name,
                         std::string& new_name, int32_t page, bool& rename)>;
  using TgtNotifyEvent = std::function<void(TgtCustomPDFDocument& sender)>;
  // Progress of long work (loading, rendering thumbnails, saving), fraction
  // from 0 to 1, raised at most a few dozen times a second. Setting cancel
  // stops the work with EOperationCancelled.
  using TgtWorkProgressEvent = std::function<void(TgtCustomPDFDocument& sender, TgtWorkStep step,
                                                  double fraction, bool& cancel)>;

  TgtCustomPDFDocument();
  ~TgtCustomPDFDocument() override;
  TgtCustomPDFDocument(const TgtCustomPDFDocument&) = delete;
  TgtCustomPDFDocument& operator=(const TgtCustomPDFDocument&) = delete;

  // Events: raised only when a handler is assigned.
  TgtOperationProgressEvent OnOperationProgress;
  TgtProgressEvent OnIOProgress;
  TgtStatusMessageEvent OnStatusMessage;
  TgtWarningEvent OnWarning;
  TgtPasswordEvent OnPassword;
  TgtCalcVariablesEvent OnCalcVariables;
  TgtRenameFieldEvent OnRenameField;
  TgtNotifyEvent OnBeginRead;
  TgtNotifyEvent OnEndRead;
  TgtWorkProgressEvent OnWorkProgress;

  // Opens and reads a document; the result is IsLoaded at the end. A
  // missing file raises EFileNotFound; a file that cannot be read raises
  // what the reader raised and leaves the component empty.
  bool LoadFromFile(const std::string& file_name);
  // The same on bytes in memory (a copy is kept while the document is
  // read), for callers that have no file.
  bool LoadFromStream(TStream& stream);
  bool LoadFromBytes(std::string bytes);
  // Checks the password of an encrypted document whose cross-reference
  // data has been read and, when it fits, reads the structure.
  bool TryPassword(const std::string& password);
  void ReadDocumentStructure();
  void CloseDocument();

  // Written by the writer (document_writer.cpp) and the thumbnail code
  // (thumbnail.cpp).
  //
  // SaveToFile writes the whole document as a new file. ".pdf" is added
  // unless the name already ends in it (in any case). The file is written
  // under a temporary name in the same folder and renamed over the name
  // only when the whole write succeeded, so a failed save leaves no partial
  // file and an earlier file of that name intact.
  void SaveToFile(const std::string& file_name, TgtNeedAppearances need_appearances = naUnchanged);
  // The name SaveToFile writes for file_name.
  static std::string CompletedSaveName(const std::string& file_name);
  // Incremental update (incremental_update.cpp): the source's bytes
  // unchanged, followed by one update section holding the new and changed
  // objects, a cross-reference section of the source's kind and a trailer
  // whose /Prev points at the source's last section. file_name equal to
  // the loaded file appends to it in place (cut back to its length on any
  // failure); any other name (".pdf" added as by SaveToFile) gets a copy
  // of the source followed by the update, written under a temporary name
  // and renamed. Each signed signature field gets a warning that names it
  // (validators report changes after signing; a certification that allows
  // no changes counts the update as a breach). Raises an
  // exception whose message says why when IncrementalUpdateBlocker() is
  // not empty. Same progress and cancel events as SaveToFile.
  void SaveIncremental(const std::string& file_name);
  // Why the loaded document cannot be updated incrementally (no source
  // file or bytes, a rebuilt cross-reference table, changed security
  // settings); empty when it can.
  std::string IncrementalUpdateBlocker() const;
  // The source is signed: a signature field with a value, or /Perms.
  bool HasSignatures() const;
  // Whether the next load reads only what changing page thumbnails (or the
  // page mode) and saving as an update needs: the page tree, the catalog,
  // the information dictionary and the form, but not what the pages refer
  // to through /Contents, /Resources and /Annots. A document read so can be
  // saved only with SaveIncremental; SaveToFile, SaveToStream,
  // RenderThumbnails and ExtractPageObjects refuse it (kReadForUpdateOnly).
  // A source whose cross-reference data had to be rebuilt is read whole.
  void SetReadForUpdate(bool value) { read_for_update_ = value; }
  // The loaded document was read so.
  bool ReadForUpdate() const;
  // The same document written into stream (no name completion, no dialog,
  // no status messages of the file, no opening).
  void SaveToStream(TStream& stream);
  // For drawing pages: a document of just the pages given (numbers from 1,
  // in that order, its pages 1, 2, ...) with what they reach and which
  // optional content the catalog shows, unencrypted; a reference to any
  // other page is written as one to its first page. A renderer's work per page grows with the
  // objects of the document it has open, so a large document is drawn a
  // part at a time from such copies. The document itself is not changed.
  void SavePagesForRenderer(const std::vector<int32_t>& page_numbers, TStream& stream);

  // Encryption on save. PrepareEncryption makes a new encryption object:
  // the source's own security while the Encryption settings are as the
  // source gave them, otherwise new RC4 keys from the settings with the
  // source's first file identifier (16 random bytes when it had none);
  // EncryptData encrypts bytes for object number (making the object first
  // when there is none); BuildEncryptDictionary returns the encryption
  // dictionary.
  void PrepareEncryption();
  std::string EncryptData(std::string_view data, int32_t number);
  std::unique_ptr<TgtPDFDictObject> BuildEncryptDictionary();
  TgtPDFEncryption* EncryptionObject() const { return state_->encryption_object.get(); }

  // Opens saved files when OpenAfterSave is set; the desktop's by default.
  void SetShell(std::unique_ptr<Shell> shell) { shell_ = std::move(shell); }
  // The source of file identifiers (the second /ID string of every save,
  // the first when the source had none); the system's by default.
  void SetRandomSource(std::unique_ptr<RandomSource> random) { random_ = std::move(random); }
  RandomSource& Random();
  // The first string of the source's (or the last save's) /ID; nullopt
  // when there is none.
  std::optional<std::string> SourceFileID() const;
  // Makes the settings dialog shown before a save when ShowSetupDialog is
  // set and no SetupDialog is assigned. Without one (no user interface)
  // the save goes ahead as if the dialog had been confirmed.
  using TgtSettingsDialogFactory = std::function<std::unique_ptr<TgtBaseDlg>()>;
  void SetSettingsDialogFactory(TgtSettingsDialogFactory factory) {
    settings_dialog_factory_ = std::move(factory);
  }
  void SetThumbnail(int32_t page_number, TGraphic& picture);

  // The thumbnail life cycle (thumbnail_actions.cpp). Pages count from 1;
  // a page outside 1 to PageCount raises EInvalidPageError.
  //
  // The picture in file_name, recognised by its content, as the page's
  // thumbnail; max_side > 0 scales a larger picture down to fit, aspect
  // kept. A picture over 1024 pixels on a side without max_side raises a
  // warning that says so.
  void SetThumbnailFromFile(int32_t page_number, const std::string& file_name,
                            int32_t max_side = 0);
  // Removes the page's thumbnail (nothing when it has none); its image is
  // not written.
  void RemoveThumbnail(int32_t page_number);
  // Renders pages (empty: every page) into thumbnails whose longer side is
  // size pixels (16 to 1024), with jobs workers (0: one per core). A page
  // that fails keeps what it had and raises a warning naming it. Returns
  // how many pages got a new thumbnail.
  int32_t RenderThumbnails(const std::vector<int32_t>& page_numbers, int32_t size = 128,
                           int32_t jobs = 0);
  // How RenderThumbnails stores what it renders.
  const TgtThumbnailEncoding& ThumbnailEncoding() const { return thumbnail_encoding_; }
  void SetThumbnailEncoding(const TgtThumbnailEncoding& value) { thumbnail_encoding_ = value; }
  // The time a page may take in the renderer before its worker is stopped
  // and the page keeps what it had, in milliseconds (0: no budget).
  int32_t RenderTimeout() const { return render_timeout_ms_; }
  void SetRenderTimeout(int32_t milliseconds) { render_timeout_ms_ = milliseconds; }
  // The page's thumbnail as it will be written; with_samples decodes it.
  // Empty when the page has none (or it cannot be decoded).
  TgtThumbnailImage Thumbnail(int32_t page_number, bool with_samples = false) const;

  // A copy of the page object and of every object it refers to, page
  // counted from 1; EInvalidPageError outside 1 to PageCount.
  virtual std::vector<std::unique_ptr<TgtPDFIndirectObject>> ExtractPageObjects(
      int32_t page_number);

  // Published properties.
  bool OpenAfterSave() const { return open_after_save_; }
  void SetOpenAfterSave(bool value) { open_after_save_ = value; }
  TgtMergeOptions MergeOptions() const { return merge_options_; }
  void SetMergeOptions(TgtMergeOptions value) { merge_options_ = value; }
  TgtMeasurementUnit MeasurementUnit() const { return measurement_unit_; }
  void SetMeasurementUnit(TgtMeasurementUnit value) { measurement_unit_ = value; }
  bool IsLoaded() const { return state_->loaded; }
  bool IsEncrypted() const { return state_->encrypted; }
  TgtPDFVersion PDFVersion() const { return state_->version; }
  void SetPDFVersion(TgtPDFVersion value) { state_->version = value; }
  int32_t PageCount() const { return state_->PageCount(); }
  TgtPageMode PageMode() const { return state_->page_mode; }
  // Setting the page mode or layout replaces a source name outside the
  // tables (/UseOC, /TwoPageLeft), which is otherwise written back.
  void SetPageMode(TgtPageMode value) {
    state_->page_mode = value;
    state_->catalog->page_mode_name.clear();
  }
  TgtPageLayout PageLayout() const { return state_->page_layout; }
  // The source's /PageMode and /PageLayout names outside the tables
  // ("/UseOC", "/TwoPageLeft"), written back as they are; empty when the
  // value is one of the tables' or was set since.
  const std::string& PageModeName() const { return state_->catalog->page_mode_name; }
  const std::string& PageLayoutName() const { return state_->catalog->page_layout_name; }
  void SetPageLayout(TgtPageLayout value) {
    state_->page_layout = value;
    state_->catalog->page_layout_name.clear();
  }
  const std::string& Filename() const { return filename_; }
  // A non-empty name is stored and loaded; an empty one only clears.
  void SetFilename(const std::string& value);
  TgtBaseDlg* SetupDialog() const { return setup_dialog_; }
  void SetSetupDialog(TgtBaseDlg* value) { setup_dialog_ = value; }
  bool ShowSetupDialog() const { return show_setup_dialog_; }
  void SetShowSetupDialog(bool value) { show_setup_dialog_ = value; }
  bool IsOwner() const;
  TgtPDFEncryptionSettings& Encryption() const { return *state_->encryption; }
  TgtPDFViewerPreferences& ViewerPreferences() const {
    return *state_->catalog->viewer_preferences;
  }
  TgtEMailInfo& EMailInfo() const { return *email_info_; }
  void SetEMailInfo(std::unique_ptr<TgtEMailInfo> value) { email_info_ = std::move(value); }
  const std::string& WorkFileName() const { return work_file_name_; }
  void SetWorkFileName(const std::string& value) { work_file_name_ = value; }
  bool EMailAfterSave() const { return email_after_save_; }
  void SetEMailAfterSave(bool value) { email_after_save_ = value; }

  // The page's dictionary, read-only, page counted from 1;
  // EInvalidPageError outside 1 to PageCount.
  const TgtPDFDictObject& PageDict(int32_t page_number) const;
  // What a value found in the document stands for: a reference is
  // followed through the document's objects (nullptr when its target is
  // missing or the chain of references is broken), anything else comes
  // back as it is.
  const TgtPDFObject* Resolve(const TgtPDFObject* value) const;
  TgtPDFInfo& DocumentInfo() const { return *state_->info; }
  uint32_t DocumentSerial() const { return state_->serial; }

 protected:
  virtual void ReleaseDocumentState();
  virtual void CollectReferencedObjects(std::vector<std::unique_ptr<TgtPDFIndirectObject>>& list,
                                        const TgtPDFObject* object);
  virtual void InitDocumentState();

 private:
  friend class TgtDocumentWriter;
  friend class TgtIncrementalWriter;
  friend struct TgtDocumentInternals;

  // The document's state and loader, for the writer and the thumbnails.
  TgtPDFDocumentState& State() const { return *state_; }
  TgtObjectLoader& Loader() const { return *loader_; }

  bool LoadFromSource(std::unique_ptr<TStream> source);
  // Runs the settings dialog; false when it was cancelled.
  bool RunSetupDialog();
  // Writes the document through the current write stream.
  void WriteDocument();
  void ApplyNeedAppearances(TgtNeedAppearances need_appearances);
  void ReadAfterCrossReference();
  void AskForPassword();
  // What the renderer reads: the bytes the document was loaded from when a
  // caller handed them over, else the file it was loaded from, with the
  // password that opened it (thumbnail_actions.cpp).
  TRenderSource RenderSource() const;

  // TgtReadReporter: the readers' reports become events.
  bool WantsStatus() const override { return static_cast<bool>(OnStatusMessage); }
  void Status(const std::string& message) override { OnStatusMessage(*this, message); }
  bool WantsWarnings() const override { return static_cast<bool>(OnWarning); }
  void Warning(const std::string& message) override { OnWarning(*this, message); }
  void Progress(int32_t percentage) override {
    if (OnIOProgress) OnIOProgress(*this, percentage);
  }
  void LoadProgress(int64_t done, int64_t total) override {
    ReportWork(TgtWorkStep::Load, static_cast<double>(done) / static_cast<double>(total), false);
  }
  // Raises OnWorkProgress with fraction (clamped to 0..1): always when
  // forced (the start and the end of the work), otherwise at most every
  // kWorkReportIntervalMs. A handler that cancels makes this raise
  // EOperationCancelled, and every later call until the next start too.
  // Loading, saving and rendering all report through it.
  void ReportWork(TgtWorkStep step, double fraction, bool forced);
  // About 25 reports a second: a progress bar moves smoothly, and the
  // handler's cost stays small next to the work.
  static constexpr int64_t kWorkReportIntervalMs = 40;
  // Starts a piece of long work: clears an earlier cancel, reports 0.
  void BeginWork(TgtWorkStep step);

  std::unique_ptr<TgtPDFDocumentState> state_;
  std::unique_ptr<TgtObjectLoader> loader_;
  bool structure_read_ = false;
  // The password that opened the document, so that a load retried on a
  // rebuilt table does not ask again.
  std::optional<std::string> accepted_password_;
  TgtPageMode kept_page_mode_ = pmNone;
  TgtPageLayout kept_page_layout_ = plNone;
  std::string work_file_name_;
  std::string filename_;
  // The source as the renderer reads it: the file loaded, or the stream of
  // bytes handed to LoadFromBytes or LoadFromStream (kept after reading);
  // the password is accepted_password_.
  std::string source_file_name_;
  // The file's size and time when it was loaded: a file changed since is
  // no longer the source.
  int64_t source_file_size_ = -1;
  int64_t source_file_time_ = 0;
  TgtThumbnailEncoding thumbnail_encoding_;
  int32_t render_timeout_ms_ = 10000;
  bool open_after_save_ = false;
  bool show_setup_dialog_ = true;
  bool email_after_save_ = false;
  TgtMergeOptions merge_options_{moIncludeOutlines, moIncludeFormFields};
  TgtMeasurementUnit measurement_unit_ = muPixels;
  TgtBaseDlg* setup_dialog_ = nullptr;
  std::unique_ptr<TgtEMailInfo> email_info_;
  std::unique_ptr<Shell> shell_;
  std::unique_ptr<RandomSource> random_;
  TgtSettingsDialogFactory settings_dialog_factory_;
  // OnWorkProgress: when it was last raised, and whether the work was
  // cancelled.
  int64_t last_work_report_ns_ = 0;
  bool work_cancelled_ = false;
  // What an incremental update compares with: the document as it was
  // read (incremental_update.cpp), recorded once the structure is read.
  void RecordIncrementalBaseline();
  std::shared_ptr<TgtIncrementalBaseline> incremental_baseline_;
  // The cross-reference data of the loaded source had to be rebuilt.
  bool table_rebuilt_ = false;
  // SetReadForUpdate; raises kReadForUpdateOnly when the loaded document
  // was read so.
  bool read_for_update_ = false;
  void RefuseReadForUpdate() const;
  // The stream the document is being written to; set only during a save.
  TgtWriteOnlyFilter* write_stream_ = nullptr;
};

}  // namespace pagemint
