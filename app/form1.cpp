#include "app/form1.h"

#include <QCheckBox>
#include <QEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <exception>
#include <filesystem>

#include "app/application.h"
#include "app/prompts.h"
#include "app/qt_shell.h"
#include "pdf/security/encryption_settings.h"
#include "picture/graphic.h"
#include "picture/jpeg_image.h"
#include "picture/metafile.h"
#include "platform/codepage.h"
#include "platform/messages.h"
#include "platform/numbers.h"

namespace pagemint {

namespace {

// The window's font: the classic dialog font where the system has it,
// else the nearest sans-serif of similar width (the controls' sizes were
// made for it: a wider font is cut off in the check boxes), else whatever
// sans-serif the system offers. One family is chosen here rather than
// handing Qt a list, so every control draws with the same face.
QString FormFontFamily() {
  static const char* const kFamilies[] = {
      "MS Sans Serif", "Microsoft Sans Serif",  "Arial",      "Liberation Sans",
      "Nimbus Sans",   "DejaVu Sans Condensed", "DejaVu Sans"};
  for (const char* family : kFamilies) {
    if (QFontDatabase::hasFamily(QString::fromLatin1(family))) return QString::fromLatin1(family);
  }
  return QString();
}

QFont FormFont() {
  // The installed fonts do not change while the window runs.
  static const QString family = FormFontFamily();
  QFont font;
  if (!family.isEmpty()) font.setFamily(family);
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(8);
  return font;
}

// A label is as wide as its text, as the platform's labels size
// themselves; it only ever grows, so the given width stands where the text
// fits.
void AutoSize(QLabel* label) {
  const int width = label->sizeHint().width();
  if (width > label->width()) label->resize(width, label->height());
}

// Group boxes drawn the classic way: the frame's top line runs through the
// middle of the caption, so the controls' positions, which count from the
// box's top edge, leave the room they were made for.
constexpr const char kGroupBoxStyle[] =
    "QGroupBox { border: 1px solid palette(mid); margin-top: 6px; }"
    "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
    " left: 7px; padding: 0px 2px; }";

template <typename Control>
Control* Make(QWidget* parent, const char* name, const QString& text, int left, int top, int width,
              int height) {
  auto* control = new Control(text, parent);
  control->setObjectName(QString::fromLatin1(name));
  // Set on each control: a style sheet in the window stops fonts from
  // passing down from the window to the controls inside the group boxes.
  control->setFont(FormFont());
  control->setGeometry(left, top, width, height);
  return control;
}

QString Text(const char* text) { return QString::fromUtf8(text); }

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

// Loads the picture in file_name and attaches it as the page's thumbnail;
// the picture is released again once it has been converted.
template <typename Picture>
void AttachPicture(TgtPDFDocument& document, int32_t page, const std::string& file_name) {
  Picture picture;
  picture.LoadFromFile(file_name);
  document.SetThumbnail(page, picture);
}

std::string ToAnsi(const QString& text) { return UnicodeToAnsi(text.toStdU16String()); }

QString FromAnsi(const std::string& text) { return QString::fromStdU16String(AnsiToUnicode(text)); }

}  // namespace

std::string CompletedPdfName(const std::string& file_name) {
  return TgtCustomPDFDocument::CompletedSaveName(file_name);
}

TForm1::Services TForm1::DefaultServices() {
  return Services{MakeQtPrompts(), MakeQtShell(), MakeSystemClock()};
}

TForm1::TForm1(Services services, QWidget* parent)
    : QWidget(parent),
      prompts_(std::move(services.prompts)),
      shell_(std::move(services.shell)),
      clock_(std::move(services.clock)) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(Text(kWindowCaption));
  setFont(FormFont());
  setFixedSize(kClientWidth, kClientHeight);
  setStyleSheet(QString::fromLatin1(kGroupBoxStyle));
  CenterOnScreen();
  CreateControls();
  SetTabOrder();
  ConfigureComponents();
  ConnectHandlers();
  Run(&TForm1::FormCreate);
}

TForm1::~TForm1() = default;

// Placed in the middle of the screen's free area at start; the window
// manager may still place the frame as it likes.
void TForm1::CenterOnScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  move(area.x() + (area.width() - kClientWidth) / 2,
       area.y() + (area.height() - kClientHeight) / 2);
}

void TForm1::CreateControls() {
  GroupBox2 = Make<QGroupBox>(this, "GroupBox2", QStringLiteral("Source PDF"), 32, 24, 481, 97);
  Label1 = Make<QLabel>(GroupBox2, "Label1", QStringLiteral("PDF File:"), 25, 36, 43, 13);
  Edit1 = Make<QLineEdit>(GroupBox2, "Edit1", QString(), 88, 32, 353, 21);
  Button5 = Make<QPushButton>(GroupBox2, "Button5", QStringLiteral("Open..."), 363, 64, 75, 25);

  GroupBox1 = Make<QGroupBox>(this, "GroupBox1", QStringLiteral("Thumbnail"), 32, 127, 481, 129);
  Label2 = Make<QLabel>(GroupBox1, "Label2", QStringLiteral("Thumbnail:"), 25, 20, 52, 13);
  Edit2 = Make<QLineEdit>(GroupBox1, "Edit2", QString(), 88, 16, 325, 21);
  Button6 = Make<QPushButton>(GroupBox1, "Button6", QStringLiteral("..."), 416, 14, 25, 25);
  Label3 = Make<QLabel>(GroupBox1, "Label3", QStringLiteral("Page No.:"), 25, 56, 48, 13);
  Edit3 = Make<QLineEdit>(GroupBox1, "Edit3", QStringLiteral("1"), 88, 51, 81, 21);
  Button1 = Make<QPushButton>(GroupBox1, "Button1", QStringLiteral("Add"), 67, 92, 75, 25);
  Memo1 = Make<QPlainTextEdit>(GroupBox1, "Memo1", QString(), 192, 48, 249, 73);
  Memo1->setReadOnly(true);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Memo1->setTabChangesFocus(true);

  GroupBox3 =
      Make<QGroupBox>(this, "GroupBox3", QStringLiteral("Destination PDF"), 32, 262, 481, 97);
  Label4 = Make<QLabel>(GroupBox3, "Label4", QStringLiteral("Save To:"), 25, 32, 44, 13);
  Edit4 = Make<QLineEdit>(GroupBox3, "Edit4", QString(), 88, 27, 325, 21);
  Button7 = Make<QPushButton>(GroupBox3, "Button7", QStringLiteral("..."), 416, 26, 25, 25);
  CheckBox1 =
      Make<QCheckBox>(GroupBox3, "CheckBox1",
                      QStringLiteral("Open the generated PDF file after saving"), 8, 64, 241, 17);
  CheckBox2 =
      Make<QCheckBox>(GroupBox3, "CheckBox2", QStringLiteral("Show thumbnails when PDF is opened"),
                      264, 64, 209, 17);
  CheckBox1->setChecked(true);
  CheckBox2->setChecked(true);

  for (QLabel* label : {Label1, Label2, Label3, Label4}) AutoSize(label);

  Button2 = Make<QPushButton>(this, "Button2", QStringLiteral("Generate"), 120, 377, 75, 25);
  Button3 = Make<QPushButton>(this, "Button3", QStringLiteral("Help"), 248, 377, 75, 25);
  Button4 = Make<QPushButton>(this, "Button4", QStringLiteral("Exit"), 368, 377, 75, 25);

  Label5 = Make<QLabel>(this, "Label5", Text(kFooterNotice), 53, 417, 445, 13);
  QFont footer = font();
  footer.setBold(true);
  footer.setPixelSize(12);
  Label5->setFont(footer);
  Label5->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
  Label5->setCursor(Qt::PointingHandCursor);
  Label5->installEventFilter(this);
}

// Group boxes first by their own order, then the controls inside each.
void TForm1::SetTabOrder() {
  QWidget* const order[] = {Memo1,     Button6, Edit2,   Edit3,     Button1, Edit1,   Button5,
                            CheckBox1, Edit4,   Button7, CheckBox2, Button2, Button3, Button4};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

void TForm1::ConfigureComponents() {
  pdf_doc_.SetOpenAfterSave(false);
  pdf_doc_.SetMergeOptions({moIncludeOutlines, moIncludeFormFields});
  pdf_doc_.SetPDFVersion(pvPDF14);
  pdf_doc_.SetPageMode(pmNone);
  pdf_doc_.SetPageLayout(plNone);
  pdf_doc_.SetShowSetupDialog(false);
  pdf_doc_.Encryption().SetLevel(el40bit);
  pdf_doc_.SetEMailAfterSave(false);
  pdf_doc_.SetCustomRenderText(false);
  // Without a handler a source that needs a user password would "open"
  // with no pages; asking lets the user open it, or cancel and keep no
  // document at all.
  pdf_doc_.OnPassword = [this](TgtCustomPDFDocument&, std::string& password, bool& continue_reading,
                               int32_t tries) { AskPassword(password, continue_reading, tries); };

  open_dialog_.SetTitle(QStringLiteral("Open a PDF file"));
  open_dialog_.SetFilter(QStringLiteral("Adobe PDF files (*.pdf)|*.pdf"));
  open_dialog_.SetDefaultExt(QStringLiteral("pdf"));

  save_dialog_.SetTitle(QStringLiteral("Save PDF"));
  save_dialog_.SetFilter(QStringLiteral("Adobe PDF files (*.pdf)|*.pdf"));
  save_dialog_.SetDefaultExt(QStringLiteral("pdf"));
  save_dialog_.SetOverwritePrompt(true);

  open_picture_dialog_.SetTitle(QStringLiteral("Choose a thumbnail image"));
  open_picture_dialog_.SetFilter(
      QStringLiteral("All (*.bmp;*.jpg;*.jpeg;*.emf)|*.jpg;*.jpeg;*.bmp;*.emf|Bitmaps "
                     "(*.bmp)|*.bmp|JPEG Image File (*.jpg)|*.jpg|JPEG Image File "
                     "(*.jpeg)|*.jpeg|Enhanced Metafiles (*.emf)|*.emf"));
}

void TForm1::ConnectHandlers() {
  const auto on_click = [this](QPushButton* button, void (TForm1::*handler)()) {
    connect(button, &QPushButton::clicked, this, [this, handler] { Run(handler); });
  };
  on_click(Button1, &TForm1::Button1Click);
  on_click(Button2, &TForm1::Button2Click);
  on_click(Button3, &TForm1::Button3Click);
  on_click(Button4, &TForm1::Button4Click);
  on_click(Button5, &TForm1::Button5Click);
  on_click(Button6, &TForm1::Button6Click);
  on_click(Button7, &TForm1::Button7Click);
}

void TForm1::Run(void (TForm1::*handler)()) {
  try {
    (this->*handler)();
  } catch (const std::exception& e) {
    prompts_->ShowError(this, QString::fromStdString(e.what()));
  } catch (...) {
    prompts_->ShowError(this, Text(msg::kUnexpectedErrorText));
  }
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Label5 && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    Run(&TForm1::Label5Click);
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void TForm1::resizeEvent(QResizeEvent* event) {
  int width = event->size().width();
  int height = event->size().height();
  if (FormCanResize(width, height) && QSize(width, height) != event->size()) resize(width, height);
  QWidget::resizeEvent(event);
}

bool TForm1::FormCanResize(int& new_width, int& new_height) {
  new_width = kClientWidth;
  new_height = kClientHeight;
  return true;
}

void TForm1::AskPassword(std::string& password, bool& continue_reading, int32_t tries) {
  // The first round tries the empty password without asking, so a file
  // protected by an owner password only opens as it would without a
  // handler; the user is asked from the second round on.
  if (tries == 0) {
    password.clear();
    return;
  }
  QString answer = FromAnsi(password);
  if (!prompts_->AskPassword(this, Edit1->text(), tries - 1, answer)) {
    continue_reading = false;
    return;
  }
  password = ToAnsi(answer);
}

void TForm1::FormCreate() {
  const int year = clock_->CurrentYear();
  if (year <= 2013) return;
  QString text = Label5->text();
  text.replace(QStringLiteral("2013"), QString::number(year));
  Label5->setText(text);
}

void TForm1::Button5Click() {
  if (!prompts_->Execute(open_dialog_, this)) return;
  Edit1->setText(open_dialog_.FileName());
  pdf_doc_.LoadFromFile(Edit1->text().toStdString());
  Memo1->clear();
}

void TForm1::Button6Click() {
  if (prompts_->Execute(open_picture_dialog_, this))
    Edit2->setText(open_picture_dialog_.FileName());
}

void TForm1::Button7Click() {
  if (prompts_->Execute(save_dialog_, this)) Edit4->setText(save_dialog_.FileName());
}

void TForm1::Button1Click() {
  const std::string file_name = open_picture_dialog_.FileName().toStdString();
  const int32_t page = StrToInt(Edit3->text().toStdString());
  // Substring tests, not tests of the ending, each acting on its own: a
  // name can pass more than one.
  const std::string lower = LowerCase(file_name);
  if (Contains(lower, ".emf")) AttachPicture<TMetafile>(pdf_doc_, page, file_name);
  if (Contains(lower, ".jpg") || Contains(lower, ".jpeg"))
    AttachPicture<TJPEGImage>(pdf_doc_, page, file_name);
  if (Contains(lower, ".bmp")) AttachPicture<TBitmap>(pdf_doc_, page, file_name);
  Memo1->appendPlainText(QStringLiteral("Page ") + Edit3->text() + QStringLiteral(", ") +
                         Edit2->text());
  Edit2->clear();
  // 64 bits: the page box may hold the largest 32-bit number when no
  // picture was chosen, and the next number must not wrap.
  Edit3->setText(QString::number(StrToInt64(Edit3->text().toStdString()) + 1));
}

void TForm1::Button2Click() {
  if (Edit1->text().isEmpty()) return prompts_->ShowMessage(this, Text(msg::kNoSourceFile));
  if (!QFileInfo(Edit1->text()).isFile())
    return prompts_->ShowMessage(this, Text(msg::kSourceNotFound));
  // Saving with nothing loaded would write a document of no pages and
  // report success.
  if (!pdf_doc_.IsLoaded()) return prompts_->ShowMessage(this, Text(msg::kNoDocumentLoaded));
  if (save_dialog_.FileName().isEmpty()) {
    Button7Click();
    if (save_dialog_.FileName().isEmpty()) return;
  }
  if (CheckBox2->isChecked()) pdf_doc_.SetPageMode(pmUseThumbs);
  const std::string file_name = save_dialog_.FileName().toStdString();
  pdf_doc_.SaveToFile(file_name, naUnchanged);
  if (CheckBox1->isChecked()) shell_->Open(CompletedPdfName(file_name));
}

void TForm1::Button3Click() { shell_->Open(kHelpPage); }

void TForm1::Label5Click() { shell_->Open(kWebSite); }

void TForm1::Button4Click() { close(); }

}  // namespace pagemint
