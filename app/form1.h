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
// The "Pages >>" button grows the window by the pages panel.
#pragma once

#include <QSize>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/file_dialog.h"
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

namespace pagemint {

class PagesPanel;
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

// The client area, which keeps its size; the pages panel widens it.
inline constexpr int kClientWidth = 549;
inline constexpr int kClientHeight = 438;
inline constexpr int kPagesPanelExtraWidth = 300;

// At most this many warnings are kept for one action; the rest are counted.
inline constexpr int kMaxWarningsKept = 1000;

class TForm1 : public QWidget {
 public:
  struct Services {
    std::unique_ptr<Prompts> prompts;
    std::unique_ptr<Shell> shell;
    std::unique_ptr<Clock> clock;
  };
  // Qt dialogs, the desktop shell and the system clock.
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
  // Added to the original controls: the pages panel's button, and the
  // progress bar and Cancel button shown while work runs.
  QPushButton* PagesButton = nullptr;
  QProgressBar* WorkProgress = nullptr;
  QPushButton* CancelButton = nullptr;
  PagesPanel* Pages = nullptr;

  // Opens file_name as "Open..." does after its dialog (the command line
  // and a dropped PDF come here).
  void OpenFile(const QString& file_name);
  // True from the start of long work until its result has been shown.
  bool IsBusy() const { return busy_; }
  void ShowPages(bool show);

  // The non-visual components.
  TgtPDFDocument& PDFDoc() { return pdf_doc_; }
  TFileDialog& OpenDialog1() { return open_dialog_; }
  TFileDialog& SaveDialog1() { return save_dialog_; }
  TFileDialog& OpenPictureDialog1() { return open_picture_dialog_; }

  // Asked before every resize: sets the proposed size to the window's own,
  // so the window keeps its size, and allows the operation.
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

  void CenterOnScreen();
  void CreateControls();
  void SetTabOrder();
  void ConfigureComponents();
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
  void SaveDone(std::exception_ptr error, const QString& file_name);
  void RenderDone(Outcome outcome, const QString& message, int32_t asked, int32_t rendered,
                  int32_t size);

  // Warnings of the current action, from whichever thread raised them.
  void CollectWarning(const std::string& warning);
  void ClearWarnings();
  QStringList TakeWarnings();
  // Shows result with the warnings collected since ClearWarnings, if any.
  void ShowCollectedWarnings(const QString& result);
  // The error message, followed by the warnings raised before it.
  QString WithWarnings(const QString& error);

  // Attaches the picture in file_name to page and logs it as page_text.
  void AttachPicture(int32_t page, const QString& file_name, const QString& page_text);
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
  std::unique_ptr<Shell> shell_;
  std::unique_ptr<Clock> clock_;
  TgtPDFDocument pdf_doc_;
  TFileDialog open_dialog_{TFileDialogKind::kOpen};
  TFileDialog save_dialog_{TFileDialogKind::kSave};
  TFileDialog open_picture_dialog_{TFileDialogKind::kOpenPicture};
  // Declared after the document: destroyed first, it stops a running job
  // before the document goes.
  std::unique_ptr<WorkRunner> runner_;
  bool busy_ = false;
  bool close_after_work_ = false;
  int client_width_ = kClientWidth;
  // The file being opened, for the password question.
  QString loading_path_;
  // The destination the Save dialog last confirmed (it asked before
  // overwriting), or the file Generate last wrote.
  QString confirmed_destination_;
  std::mutex warnings_mutex_;
  QStringList warnings_;
  int warnings_dropped_ = 0;
};

// The name SaveToFile writes for file_name: ".pdf" is added unless the
// lower-cased extension already is ".pdf" ("out.txt" becomes "out.txt.pdf").
std::string CompletedPdfName(const std::string& file_name);

}  // namespace pagemint
