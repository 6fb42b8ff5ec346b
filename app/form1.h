// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: open a source PDF, attach pictures page by page as
// thumbnails, choose a destination and generate the new PDF.
//
// Every handler runs through Run(), the one place where an exception that
// ends a handler is caught and shown; Qt cannot carry exceptions out of a
// slot. The user is asked and told things only through Prompts, and files
// and web pages are opened only through Shell, so tests replace both.
//
// Opening, rendering thumbnails and generating run on a worker thread
// (work_runner.h) with a progress bar, a busy cursor and a Cancel button;
// the controls that cannot be used meanwhile are disabled. Warnings the
// engine raises during an action are collected and shown with its result.
// The "Pages >>" button grows the window by the pages panel; the window
// can be resized and maximised, the original controls keep their places
// and the pages panel takes the extra room.
//
// Nothing is lost without a question: the window knows when thumbnails
// were changed and not yet generated, and Open, a dropped PDF, Exit and
// closing ask first (Save, Discard, Cancel). A document is opened into a
// second component and takes the first one's place only once it has been
// read, so a cancelled or failed open (or password) keeps what was open.
// Thumbnail changes can be undone and redone.
#pragma once

#include <QSettings>
#include <QSize>
#include <QStringList>
#include <QWidget>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/file_dialog.h"
#include "app/pages_panel.h"
#include "app/qt_shell.h"
#include "pdf/document/pdf_document.h"
#include "platform/services.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMimeData;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTextBrowser;
class QToolButton;

namespace pagemint {

class Prompts;
class WorkRunner;

// The footer notice; the window's creation replaces the "2013" of its year
// range with the current year. It links to the help page, as "Help" does.
inline constexpr const char kFooterNotice[] = "Copyright (c) 2009-2013 Pagemint project";

// The help page shipped with the program, relative to the folder of the
// program: installed as share/pagemint/help.html beside bin/, and copied to
// the same place in the build tree.
inline constexpr const char kHelpPageFromProgram[] = "../share/pagemint/help.html";
QString HelpPagePath();

// The client area without the pages panel, the least the window takes;
// the pages panel widens it and takes all the room beyond it.
inline constexpr int kClientWidth = 549;
inline constexpr int kClientHeight = 458;
inline constexpr int kPagesPanelExtraWidth = 560;

// Files under Open's recent list.
inline constexpr int kMaxRecentFiles = 8;
// Thumbnail states kept for undo, in decoded bytes; an older change is
// forgotten beyond it, a change larger than all of it cannot be undone.
inline constexpr size_t kUndoBudgetBytes = size_t{256} << 20;

// At most this many warnings are kept for one action; the rest are counted.
inline constexpr int kMaxWarningsKept = 1000;

class TForm1 : public QWidget {
 public:
  struct Services {
    std::unique_ptr<Prompts> prompts;
    std::unique_ptr<WindowShell> shell;
    std::unique_ptr<Clock> clock;
    // Where the window keeps its size, folders and recent files; none:
    // nothing is kept.
    std::unique_ptr<QSettings> settings = nullptr;
  };
  // Qt dialogs, the desktop shell, the system clock and the user's
  // settings.
  static Services DefaultServices();

  explicit TForm1(Services services = DefaultServices(), QWidget* parent = nullptr);
  ~TForm1() override;

  // The controls, by the names the window's object names also carry.
  QGroupBox* GroupBox1 = nullptr;
  QGroupBox* GroupBox2 = nullptr;
  QGroupBox* GroupBox3 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* Label5 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QLineEdit* Edit3 = nullptr;
  QLineEdit* Edit4 = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QPushButton* Button3 = nullptr;
  QPushButton* Button4 = nullptr;
  QPushButton* Button5 = nullptr;
  QPushButton* Button6 = nullptr;
  QPushButton* Button7 = nullptr;
  QCheckBox* CheckBox1 = nullptr;
  QCheckBox* CheckBox2 = nullptr;
  // Added: save as an incremental update, which keeps signatures.
  QCheckBox* CheckBox3 = nullptr;
  QToolButton* RecentButton = nullptr;
  // Added to the original controls: the pages panel's button, and the
  // progress bar and Cancel button shown while work runs.
  QPushButton* PagesButton = nullptr;
  QProgressBar* WorkProgress = nullptr;
  QPushButton* CancelButton = nullptr;
  PagesPanel* Pages = nullptr;

  // Opens file_name as "Open..." does after its dialog (the command line,
  // a dropped PDF and Enter in "PDF File:" come here); asks first when
  // changes would be lost.
  void OpenFile(const QString& file_name);
  // Thumbnail changes not yet generated.
  bool HasUnsavedChanges() const;
  bool CanUndo() const { return !undo_.empty(); }
  bool CanRedo() const { return !redo_.empty(); }
  void Undo();
  void Redo();
  // The help page in the window's own browser (shown when the desktop
  // cannot open it); nullptr until then.
  QTextBrowser* HelpWindow() const { return help_window_; }
  // True from the start of long work until its result has been shown.
  bool IsBusy() const { return busy_; }
  void ShowPages(bool show);

  // The non-visual components. The document is replaced by each open.
  TgtPDFDocument& PDFDoc() { return *doc_; }
  TFileDialog& OpenDialog1() { return open_dialog_; }
  TFileDialog& SaveDialog1() { return save_dialog_; }
  TFileDialog& OpenPictureDialog1() { return open_picture_dialog_; }

  // Asked before every resize: a size below the least the controls need
  // becomes that least; allows the operation.
  bool FormCanResize(int& new_width, int& new_height);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  enum class WorkKind { kOpen, kRender, kSave };
  enum class Outcome { kDone, kCancelled, kFailed };

  // A page's thumbnail as it was, for undo.
  struct PageState {
    int32_t page = 0;
    ThumbnailOrigin origin = ThumbnailOrigin::kSource;
    TgtThumbnailImage image;
  };
  struct Change {
    QString what;
    std::vector<PageState> pages;
    size_t bytes = 0;
  };

  void CenterOnScreen();
  void CreateControls();
  void SetTabOrder();
  void ConfigureComponents();
  // The settings every document gets, and the handlers of the current one.
  void ConfigureDocument(TgtPDFDocument& document);
  void LayOut();
  void LoadSettings();
  void SaveSettings();
  void RememberFolder(TFileDialog& dialog, const QString& file, const char* key);
  void AddRecent(const QString& file);
  void UpdateRecentMenu();
  void UpdateTitle();
  void UpdateAppendBox();
  // Runs action now when nothing would be lost, else after the user's
  // answer: after a successful Generate, at once, or never.
  void WhenSaved(const QString& what, std::function<void()> action);
  void Load(const QString& file_name);
  void OpenTyped();
  void SelectRange();
  void ShowHelp(const QString& file);
  // Undo: the state of pages, taken before a change, and its record.
  PageState Snapshot(int32_t page) const;
  void Restore(const PageState& state);
  void Record(Change change);
  void ClearHistory();
  void ConnectHandlers();
  void AskPassword(std::string& password, bool& continue_reading, int32_t tries);

  // Long work: job runs on the worker, done on the window's thread after
  // the controls are enabled again; done's exceptions are shown as a
  // handler's are.
  void StartWork(WorkKind kind, std::function<void()> job,
                 std::function<void(std::exception_ptr)> done);
  void SetBusy(bool busy, WorkKind kind);
  // What error says: done, cancelled, or failed with message.
  static Outcome Examine(std::exception_ptr error, QString& message);
  void OpenDone(std::exception_ptr error, const QString& file_name);
  // The engine's message, with a plain sentence before it where it means
  // nothing to a user.
  static QString Explained(const QString& message, const QString& file_name);
  void SaveDone(std::exception_ptr error, const QString& file_name, bool appended);
  // Generate for the loaded document, after the checks of the source box.
  void StartGenerate();
  void RenderDone(Outcome outcome, const QString& message, int32_t asked, int32_t rendered,
                  int32_t size, int32_t kept);

  // Warnings of the current action, from whichever thread raised them.
  void CollectWarning(const std::string& warning);
  void ClearWarnings();
  QStringList TakeWarnings();
  // Shows result with the warnings collected since ClearWarnings, if any.
  void ShowCollectedWarnings(const QString& result);
  // The error message, followed by the warnings raised before it.
  QString WithWarnings(const QString& error);

  // Attaches the picture in file_name to page and logs it as page_text.
  void AttachPicture(int32_t page, const QString& file_name, const QString& page_text,
                     Change& change);
  void RenderPages(std::vector<int32_t> pages);
  void RemovePages(std::vector<int32_t> pages);
  std::vector<int32_t> AllPages() const;

  // A dropped file: opened when it is a PDF, put into "Thumbnail:" when
  // it is dropped on the thumbnail group. False when it is neither.
  bool AcceptsDrop(const QMimeData* data, QPoint at) const;
  void Drop(const QMimeData* data, QPoint at);

  // Runs one handler; an exception that ends it is shown in an error box
  // and the window goes on with the state the handler had reached.
  void Run(void (TForm1::*handler)());

  void FormCreate();
  void Button5Click();
  void Button6Click();
  void Button7Click();
  void Button1Click();
  void Button2Click();
  void Button3Click();
  void Label5Click();
  void Button4Click();
  void PagesButtonClick();
  void CancelButtonClick();
  void RenderSelectedClick();
  void RenderAllClick();
  void RemoveSelectedClick();
  void RemoveAllClick();
  void AttachClick();

  std::unique_ptr<Prompts> prompts_;
  std::unique_ptr<WindowShell> shell_;
  std::unique_ptr<Clock> clock_;
  std::unique_ptr<QSettings> settings_;
  std::unique_ptr<TgtPDFDocument> doc_;
  // The document being opened; it replaces doc_ once read.
  std::unique_ptr<TgtPDFDocument> loading_doc_;
  TFileDialog open_dialog_{TFileDialogKind::kOpen};
  TFileDialog save_dialog_{TFileDialogKind::kSave};
  TFileDialog open_picture_dialog_{TFileDialogKind::kOpenPicture};
  // Declared after the document: destroyed first, it stops a running job
  // before the document goes.
  std::unique_ptr<WorkRunner> runner_;
  bool busy_ = false;
  bool close_after_work_ = false;
  // Set once the user has answered for the unsaved changes of a close.
  bool close_confirmed_ = false;
  // What runs after the next Generate succeeds (the action the user
  // wanted to save before).
  std::function<void()> after_save_;
  // The file the loaded document came from ("PDF File:" when it names it).
  QString loaded_path_;
  // Progress of a render done in batches: the part done before the
  // running batch and the part one batch is, both of the whole.
  std::atomic<double> progress_base_{0};
  std::atomic<double> progress_span_{1};
  std::vector<Change> undo_;
  std::vector<Change> redo_;
  // undo_.size() when the document was last opened or generated; -1 when
  // that state can no longer be reached.
  std::ptrdiff_t clean_position_ = 0;
  size_t undo_bytes_ = 0;
  QTextBrowser* help_window_ = nullptr;
  QStringList recent_;
  // The file being opened, for the password question.
  QString loading_path_;
  // The destination the Save dialog last confirmed (it asked before
  // overwriting), or the file Generate last wrote.
  QString confirmed_destination_;
  // The Save dialog's proposal for the open document.
  QString proposed_destination_;
  std::mutex warnings_mutex_;
  QStringList warnings_;
  int warnings_dropped_ = 0;
};

// The name SaveToFile writes for file_name: ".pdf" is added unless the
// lower-cased extension already is ".pdf" ("out.txt" becomes "out.txt.pdf").
std::string CompletedPdfName(const std::string& file_name);

}  // namespace pagemint
