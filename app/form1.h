// The main window: open a source PDF, attach pictures page by page as
// thumbnails, choose a destination and generate the new PDF.
//
// Every handler runs through Run(), the one place where an exception that
// ends a handler is caught and shown; Qt cannot carry exceptions out of a
// slot. The user is asked and told things only through Prompts, and files
// and web pages are opened only through Shell, so tests replace both.
#pragma once

#include <QSize>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

#include "app/file_dialog.h"
#include "pdf/document/pdf_document.h"
#include "platform/services.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace pagemint {

class Prompts;

// The footer notice; the window's creation replaces the "2013" of its year
// range with the current year.
inline constexpr const char kFooterNotice[] = "Copyright (c) 2009-2013 Pagemint project";
inline constexpr const char kWebSite[] = "https://pagemint.example.org/";
inline constexpr const char kHelpPage[] = "https://pagemint.example.org/help";

// The client area, which never changes size.
inline constexpr int kClientWidth = 549;
inline constexpr int kClientHeight = 438;

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

 private:
  void CenterOnScreen();
  void CreateControls();
  void SetTabOrder();
  void ConfigureComponents();
  void ConnectHandlers();
  void AskPassword(std::string& password, bool& continue_reading, int32_t tries);

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

  std::unique_ptr<Prompts> prompts_;
  std::unique_ptr<Shell> shell_;
  std::unique_ptr<Clock> clock_;
  TgtPDFDocument pdf_doc_;
  TFileDialog open_dialog_{TFileDialogKind::kOpen};
  TFileDialog save_dialog_{TFileDialogKind::kSave};
  TFileDialog open_picture_dialog_{TFileDialogKind::kOpenPicture};
};

// The name SaveToFile writes for file_name: ".pdf" is added unless the
// lower-cased extension already is ".pdf" ("out.txt" becomes "out.txt.pdf").
std::string CompletedPdfName(const std::string& file_name);

}  // namespace pagemint
