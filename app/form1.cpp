#include "app/form1.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QSpinBox>
#include <QUrl>
#include <algorithm>
#include <exception>
#include <numeric>

#include "app/application.h"
#include "app/pages_panel.h"
#include "app/prompts.h"
#include "app/qt_shell.h"
#include "app/window_messages.h"
#include "app/work_runner.h"
#include "pdf/security/encryption_settings.h"
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

// The first local file among the dropped addresses.
QString DroppedFile(const QMimeData* data) {
  if (!data || !data->hasUrls()) return QString();
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) return QDir::toNativeSeparators(url.toLocalFile());
  return QString();
}

// A PDF by its name or, failing that, by its header, which a viewer finds
// within the first kilobyte.
bool IsPdfFile(const QString& file_name) {
  if (QFileInfo(file_name).suffix().compare(u"pdf", Qt::CaseInsensitive) == 0) return true;
  QFile file(file_name);
  if (!file.open(QIODevice::ReadOnly)) return false;
  return file.read(1024).contains("%PDF-");
}

// The picture dialog's filter: every kind the engine reads, recognised by
// content, so "All files" is there too.
constexpr const char kPictureFilter[] =
    "All (*.bmp;*.jpg;*.jpeg;*.emf;*.ico;*.cur;*.dib;*.png;*.gif;*.tif;*.tiff;*.webp)|"
    "*.jpg;*.jpeg;*.bmp;*.emf;*.ico;*.cur;*.dib;*.png;*.gif;*.tif;*.tiff;*.webp|"
    "Bitmaps (*.bmp)|*.bmp|JPEG Image File (*.jpg)|*.jpg|JPEG Image File (*.jpeg)|*.jpeg|"
    "Enhanced Metafiles (*.emf)|*.emf|Icons and cursors (*.ico;*.cur)|*.ico;*.cur|"
    "Device-independent bitmaps (*.dib)|*.dib|PNG images (*.png)|*.png|GIF images (*.gif)|*.gif|"
    "TIFF images (*.tif;*.tiff)|*.tif;*.tiff|WebP images (*.webp)|*.webp|All files (*)|*";

std::string ToAnsi(const QString& text) { return UnicodeToAnsi(text.toStdU16String()); }

QString FromAnsi(const std::string& text) { return QString::fromStdU16String(AnsiToUnicode(text)); }

}  // namespace

std::string CompletedPdfName(const std::string& file_name) {
  return TgtCustomPDFDocument::CompletedSaveName(file_name);
}

QString HelpPagePath() {
  return QDir::cleanPath(QCoreApplication::applicationDirPath() + u'/' +
                         QString::fromLatin1(kHelpPageFromProgram));
}

TForm1::Services TForm1::DefaultServices() {
  return Services{MakeQtPrompts(), MakeQtShell(), MakeSystemClock()};
}

TForm1::TForm1(Services services, QWidget* parent)
    : QWidget(parent),
      prompts_(std::move(services.prompts)),
      shell_(std::move(services.shell)),
      clock_(std::move(services.clock)),
      runner_(std::make_unique<WorkRunner>()) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(Text(kWindowCaption));
  setFont(FormFont());
  setFixedSize(kClientWidth, kClientHeight);
  setStyleSheet(QString::fromLatin1(kGroupBoxStyle));
  setAcceptDrops(true);
  CenterOnScreen();
  CreateControls();
  SetTabOrder();
  ConfigureComponents();
  ConnectHandlers();
  Run(&TForm1::FormCreate);
}

// The runner goes first (it is the last member): a running job is
// cancelled and waited for while the document still exists.
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
  Label5->setToolTip(QStringLiteral("Pagemint help"));
  Label5->installEventFilter(this);

  // The additions sit in the free row of the source group, left of
  // "Open...": the pages button always, progress and Cancel while work
  // runs.
  PagesButton =
      Make<QPushButton>(GroupBox2, "PagesButton", QStringLiteral("Pages >>"), 283, 64, 75, 25);
  WorkProgress = new QProgressBar(GroupBox2);
  WorkProgress->setObjectName(QStringLiteral("WorkProgress"));
  WorkProgress->setFont(FormFont());
  WorkProgress->setGeometry(25, 67, 170, 19);
  WorkProgress->setRange(0, 1000);
  WorkProgress->hide();
  CancelButton =
      Make<QPushButton>(GroupBox2, "CancelButton", QStringLiteral("Cancel"), 200, 64, 75, 25);
  CancelButton->setCursor(Qt::ArrowCursor);
  CancelButton->hide();

  Pages = new PagesPanel(
      [this](int32_t page, bool with_samples) { return pdf_doc_.Thumbnail(page, with_samples); },
      FormFont(), this);
  Pages->move(kClientWidth - 16, 24);
  Pages->hide();

  // Dropped files reach the window's handler through the boxes too, which
  // would otherwise take a dropped address as text.
  for (QWidget* box : {static_cast<QWidget*>(Edit1), static_cast<QWidget*>(Edit2),
                       static_cast<QWidget*>(Edit3), static_cast<QWidget*>(Edit4)})
    box->installEventFilter(this);
}

// Group boxes first by their own order, then the controls inside each.
void TForm1::SetTabOrder() {
  QWidget* const order[] = {Memo1,   Button6,   Edit2,       Edit3,     Button1,
                            Edit1,   Button5,   PagesButton, CheckBox1, Edit4,
                            Button7, CheckBox2, Button2,     Button3,   Button4};
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
  // Both run on the worker while it has the document.
  pdf_doc_.OnWorkProgress = [this](TgtCustomPDFDocument&, TgtWorkStep, double fraction,
                                   bool& cancel) {
    runner_->ReportProgress(fraction);
    if (runner_->CancelRequested()) cancel = true;
  };
  pdf_doc_.OnWarning = [this](TgtCustomPDFDocument&, const std::string& warning) {
    CollectWarning(warning);
  };

  open_dialog_.SetTitle(QStringLiteral("Open a PDF file"));
  open_dialog_.SetFilter(QStringLiteral("Adobe PDF files (*.pdf)|*.pdf"));
  open_dialog_.SetDefaultExt(QStringLiteral("pdf"));

  save_dialog_.SetTitle(QStringLiteral("Save PDF"));
  save_dialog_.SetFilter(QStringLiteral("Adobe PDF files (*.pdf)|*.pdf"));
  save_dialog_.SetDefaultExt(QStringLiteral("pdf"));
  save_dialog_.SetOverwritePrompt(true);

  open_picture_dialog_.SetTitle(QStringLiteral("Choose a thumbnail image"));
  open_picture_dialog_.SetFilter(Text(kPictureFilter));
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
  on_click(PagesButton, &TForm1::PagesButtonClick);
  on_click(CancelButton, &TForm1::CancelButtonClick);
  on_click(Pages->RenderSelectedButton, &TForm1::RenderSelectedClick);
  on_click(Pages->RenderAllButton, &TForm1::RenderAllClick);
  on_click(Pages->RemoveSelectedButton, &TForm1::RemoveSelectedClick);
  on_click(Pages->RemoveAllButton, &TForm1::RemoveAllClick);
  on_click(Pages->AttachButton, &TForm1::AttachClick);
  connect(runner_.get(), &WorkRunner::Progress, WorkProgress, &QProgressBar::setValue);
}

void TForm1::Run(void (TForm1::*handler)()) {
  try {
    (this->*handler)();
  } catch (const std::exception& e) {
    prompts_->ShowError(this, WithWarnings(QString::fromStdString(e.what())));
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
  const QEvent::Type type = event->type();
  if ((type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop) &&
      watched->isWidgetType()) {
    auto* drop = static_cast<QDropEvent*>(event);
    if (drop->mimeData()->hasUrls()) {
      const QPoint at = static_cast<QWidget*>(watched)->mapTo(this, drop->position().toPoint());
      if (!AcceptsDrop(drop->mimeData(), at)) {
        drop->ignore();
        return true;
      }
      drop->acceptProposedAction();
      if (type == QEvent::Drop) Drop(drop->mimeData(), at);
      return true;
    }
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
  new_width = client_width_;
  new_height = kClientHeight;
  return true;
}

// Closing while work runs cancels it; the window closes once it has
// stopped, so a half-written file is never left behind.
void TForm1::closeEvent(QCloseEvent* event) {
  if (!busy_) return QWidget::closeEvent(event);
  close_after_work_ = true;
  runner_->RequestCancel();
  event->ignore();
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  if (AcceptsDrop(event->mimeData(), event->position().toPoint())) event->acceptProposedAction();
}

void TForm1::dragMoveEvent(QDragMoveEvent* event) {
  if (AcceptsDrop(event->mimeData(), event->position().toPoint()))
    event->acceptProposedAction();
  else
    event->ignore();
}

void TForm1::dropEvent(QDropEvent* event) {
  if (!AcceptsDrop(event->mimeData(), event->position().toPoint())) return;
  event->acceptProposedAction();
  Drop(event->mimeData(), event->position().toPoint());
}

bool TForm1::AcceptsDrop(const QMimeData* data, QPoint at) const {
  if (busy_) return false;
  const QString file = DroppedFile(data);
  if (file.isEmpty() || !QFileInfo(file).isFile()) return false;
  return IsPdfFile(file) || GroupBox1->geometry().contains(at);
}

void TForm1::Drop(const QMimeData* data, QPoint at) {
  const QString file = DroppedFile(data);
  if (IsPdfFile(file)) return OpenFile(file);
  if (GroupBox1->geometry().contains(at)) Edit2->setText(file);
}

void TForm1::AskPassword(std::string& password, bool& continue_reading, int32_t tries) {
  // The first round tries the empty password without asking, so a file
  // protected by an owner password only opens as it would without a
  // handler; the user is asked from the second round on.
  if (tries == 0) {
    password.clear();
    return;
  }
  // This runs on the worker: the question is put on the window's thread,
  // and the worker waits for the answer.
  QString answer = FromAnsi(password);
  bool given = false;
  const bool asked = runner_->AskOnWindowThread(
      [&] { given = prompts_->AskPassword(this, loading_path_, tries - 1, answer); });
  if (!asked || !given) {
    continue_reading = false;
    return;
  }
  password = ToAnsi(answer);
}

void TForm1::StartWork(WorkKind kind, std::function<void()> job,
                       std::function<void(std::exception_ptr)> done) {
  SetBusy(true, kind);
  runner_->Start(std::move(job), [this, kind, done = std::move(done)](std::exception_ptr error) {
    SetBusy(false, kind);
    // busy_ stays set until the result has been shown, so nothing new
    // starts from within its message boxes.
    busy_ = true;
    try {
      done(error);
    } catch (const std::exception& e) {
      prompts_->ShowError(this, QString::fromStdString(e.what()));
    }
    busy_ = false;
    if (close_after_work_) close();
  });
}

void TForm1::SetBusy(bool busy, WorkKind kind) {
  busy_ = busy;
  for (QWidget* control : std::initializer_list<QWidget*>{
           Edit1, Button5, GroupBox1, GroupBox3, Button2, Pages->ThumbSizeBox,
           Pages->RenderSelectedButton, Pages->RenderAllButton, Pages->RemoveSelectedButton,
           Pages->RemoveAllButton, Pages->AttachButton})
    control->setEnabled(!busy);
  Pages->Model().SetFrozen(busy);
  if (busy)
    setCursor(Qt::BusyCursor);
  else
    unsetCursor();
  WorkProgress->setVisible(busy);
  CancelButton->setVisible(busy);
  if (!busy) return;
  const char* format = kind == WorkKind::kOpen     ? wmsg::kProgressOpen
                       : kind == WorkKind::kRender ? wmsg::kProgressRender
                                                   : wmsg::kProgressSave;
  WorkProgress->setFormat(Text(format));
  CancelButton->setEnabled(true);
  // From empty to 0, so each action's start reaches the bar even when the
  // last one never moved it.
  WorkProgress->reset();
  WorkProgress->setValue(0);
}

TForm1::Outcome TForm1::Examine(std::exception_ptr error, QString& message) {
  if (!error) return Outcome::kDone;
  try {
    std::rethrow_exception(error);
  } catch (const EOperationCancelled&) {
    return Outcome::kCancelled;
  } catch (const std::exception& e) {
    message = QString::fromStdString(e.what());
  } catch (...) {
    message = Text(msg::kUnexpectedErrorText);
  }
  return Outcome::kFailed;
}

void TForm1::CollectWarning(const std::string& warning) {
  const std::lock_guard lock(warnings_mutex_);
  if (warnings_.size() < kMaxWarningsKept)
    warnings_ << QString::fromStdString(warning);
  else
    ++warnings_dropped_;
}

void TForm1::ClearWarnings() {
  const std::lock_guard lock(warnings_mutex_);
  warnings_.clear();
  warnings_dropped_ = 0;
}

QStringList TForm1::TakeWarnings() {
  const std::lock_guard lock(warnings_mutex_);
  QStringList warnings = std::move(warnings_);
  if (warnings_dropped_ > 0) warnings << Text(wmsg::kMoreWarnings).arg(warnings_dropped_);
  warnings_.clear();
  warnings_dropped_ = 0;
  return warnings;
}

void TForm1::ShowCollectedWarnings(const QString& result) {
  const QStringList warnings = TakeWarnings();
  if (!warnings.isEmpty()) prompts_->ShowWarnings(this, result, warnings);
}

QString TForm1::WithWarnings(const QString& error) {
  const QStringList warnings = TakeWarnings();
  if (warnings.isEmpty()) return error;
  return Text(wmsg::kFailedWithWarnings).arg(error) + u'\n' + warnings.join(u'\n');
}

void TForm1::FormCreate() {
  const int year = clock_->CurrentYear();
  if (year <= 2013) return;
  QString text = Label5->text();
  text.replace(QStringLiteral("2013"), QString::number(year));
  Label5->setText(text);
}

void TForm1::Button5Click() {
  if (busy_ || !prompts_->Execute(open_dialog_, this)) return;
  OpenFile(open_dialog_.FileName());
}

void TForm1::OpenFile(const QString& file_name) {
  if (busy_) return;
  Edit1->setText(file_name);
  loading_path_ = file_name;
  // The document is replaced: the list lets go of the old one first.
  Pages->Model().Reset(0);
  ClearWarnings();
  const std::string name = file_name.toStdString();
  StartWork(
      WorkKind::kOpen, [this, name] { pdf_doc_.LoadFromFile(name); },
      [this, file_name](std::exception_ptr error) { OpenDone(error, file_name); });
}

void TForm1::OpenDone(std::exception_ptr error, const QString& file_name) {
  Pages->Model().Reset(pdf_doc_.IsLoaded() ? pdf_doc_.PageCount() : 0);
  QString message;
  switch (Examine(error, message)) {
    case Outcome::kDone:
      Memo1->clear();
      return ShowCollectedWarnings(
          Text(wmsg::kOpenedWithWarnings).arg(file_name).arg(pdf_doc_.PageCount()));
    case Outcome::kCancelled:
      Memo1->appendPlainText(Text(wmsg::kLogOpenCancelled));
      return ShowCollectedWarnings(Text(wmsg::kLogOpenCancelled));
    case Outcome::kFailed:
      return prompts_->ShowError(this, WithWarnings(message));
  }
}

void TForm1::Button6Click() {
  if (prompts_->Execute(open_picture_dialog_, this))
    Edit2->setText(open_picture_dialog_.FileName());
}

void TForm1::Button7Click() {
  if (!prompts_->Execute(save_dialog_, this)) return;
  Edit4->setText(save_dialog_.FileName());
  // The dialog asked before overwriting this very name.
  confirmed_destination_ = save_dialog_.FileName();
}

void TForm1::Button1Click() {
  if (busy_) return;
  const QString picture = Edit2->text();
  if (picture.trimmed().isEmpty()) return prompts_->ShowMessage(this, Text(wmsg::kNoPicture));
  const int32_t page = StrToInt(Edit3->text().toStdString());
  ClearWarnings();
  // The log shows the page box's text as typed ("007" stays "007").
  AttachPicture(page, picture, Edit3->text());
  ShowCollectedWarnings(Text(wmsg::kPictureWithWarnings));
  Edit2->clear();
  // 64 bits: the page box may hold the largest 32-bit number, and the
  // next number must not wrap.
  Edit3->setText(QString::number(StrToInt64(Edit3->text().toStdString()) + 1));
}

void TForm1::AttachPicture(int32_t page, const QString& file_name, const QString& page_text) {
  // The picture's kind comes from its content, not its name.
  pdf_doc_.SetThumbnailFromFile(page, file_name.toStdString());
  Pages->Model().SetOrigin(page, ThumbnailOrigin::kPicture);
  Memo1->appendPlainText(Text(wmsg::kLogPicture).arg(page_text, file_name));
}

void TForm1::Button2Click() {
  if (busy_) return;
  if (Edit1->text().isEmpty()) return prompts_->ShowMessage(this, Text(msg::kNoSourceFile));
  if (!QFileInfo(Edit1->text()).isFile())
    return prompts_->ShowMessage(this, Text(msg::kSourceNotFound));
  // Saving with nothing loaded would write a document of no pages and
  // report success.
  if (!pdf_doc_.IsLoaded()) return prompts_->ShowMessage(this, Text(msg::kNoDocumentLoaded));
  // The name in "Save To:", typed or chosen; the Save dialog when empty.
  if (Edit4->text().trimmed().isEmpty()) {
    Button7Click();
    if (Edit4->text().trimmed().isEmpty()) return;
  }
  const QString destination = Edit4->text();
  const QString written = QString::fromStdString(CompletedPdfName(destination.toStdString()));
  if (QFileInfo::exists(written) && written != confirmed_destination_ &&
      !prompts_->Confirm(this, Text(wmsg::kReplaceFile).arg(written)))
    return;
  if (CheckBox2->isChecked()) pdf_doc_.SetPageMode(pmUseThumbs);
  ClearWarnings();
  const std::string name = destination.toStdString();
  StartWork(
      WorkKind::kSave, [this, name] { pdf_doc_.SaveToFile(name, naUnchanged); },
      [this, written](std::exception_ptr error) { SaveDone(error, written); });
}

void TForm1::SaveDone(std::exception_ptr error, const QString& file_name) {
  QString message;
  switch (Examine(error, message)) {
    case Outcome::kDone:
      confirmed_destination_ = file_name;
      Memo1->appendPlainText(Text(wmsg::kLogSaved).arg(file_name));
      ShowCollectedWarnings(Text(wmsg::kSavedWithWarnings).arg(file_name));
      if (CheckBox1->isChecked()) shell_->Open(file_name.toStdString());
      return;
    case Outcome::kCancelled:
      Memo1->appendPlainText(Text(wmsg::kLogSaveCancelled));
      return ShowCollectedWarnings(Text(wmsg::kLogSaveCancelled));
    case Outcome::kFailed:
      return prompts_->ShowError(this, WithWarnings(message));
  }
}

void TForm1::Button3Click() {
  const QString help = HelpPagePath();
  if (!QFileInfo(help).isFile())
    return prompts_->ShowMessage(this, Text(wmsg::kHelpMissing).arg(help));
  shell_->Open(help.toStdString());
}

void TForm1::Label5Click() { Button3Click(); }

void TForm1::Button4Click() { close(); }

void TForm1::PagesButtonClick() { ShowPages(!Pages->isVisible()); }

void TForm1::ShowPages(bool show) {
  client_width_ = kClientWidth + (show ? kPagesPanelExtraWidth : 0);
  setFixedSize(client_width_, kClientHeight);
  Pages->setVisible(show);
  PagesButton->setText(show ? QStringLiteral("Pages <<") : QStringLiteral("Pages >>"));
}

void TForm1::CancelButtonClick() {
  runner_->RequestCancel();
  CancelButton->setEnabled(false);
}

std::vector<int32_t> TForm1::AllPages() const {
  std::vector<int32_t> pages(static_cast<size_t>(std::max(pdf_doc_.PageCount(), 0)));
  std::iota(pages.begin(), pages.end(), 1);
  return pages;
}

void TForm1::RenderSelectedClick() {
  const std::vector<int32_t> pages = Pages->SelectedPages();
  if (pages.empty()) return prompts_->ShowMessage(this, Text(wmsg::kNoPagesSelected));
  RenderPages(pages);
}

void TForm1::RenderAllClick() {
  if (!pdf_doc_.IsLoaded()) return prompts_->ShowMessage(this, Text(msg::kNoDocumentLoaded));
  RenderPages(AllPages());
}

void TForm1::RenderPages(std::vector<int32_t> pages) {
  if (busy_) return;
  const int32_t size = Pages->ThumbnailSize();
  ClearWarnings();
  // Every page is asked for by number even for "all", so the pages the
  // window marks as rendered are the ones the engine was given.
  auto rendered = std::make_shared<int32_t>(0);
  StartWork(
      WorkKind::kRender,
      [this, pages, size, rendered] { *rendered = pdf_doc_.RenderThumbnails(pages, size, 0); },
      [this, pages, size, rendered](std::exception_ptr error) {
        QString message;
        const Outcome outcome = Examine(error, message);
        // Which pages changed: all of them when every page rendered;
        // when some failed, those whose thumbnail now has the rendered
        // size; none when the work was cancelled or failed, which leaves
        // every page as it was.
        const bool all =
            outcome == Outcome::kDone && *rendered == static_cast<int32_t>(pages.size());
        for (const int32_t page : pages) {
          if (outcome != Outcome::kDone) {
            Pages->Model().Changed(page);
            continue;
          }
          if (all) {
            Pages->Model().SetOrigin(page, ThumbnailOrigin::kRendered);
            continue;
          }
          const TgtThumbnailImage thumbnail = pdf_doc_.Thumbnail(page, false);
          if (std::max(thumbnail.width, thumbnail.height) == size)
            Pages->Model().SetOrigin(page, ThumbnailOrigin::kRendered);
          else
            Pages->Model().Changed(page);
        }
        RenderDone(outcome, message, static_cast<int32_t>(pages.size()), *rendered, size);
      });
}

void TForm1::RenderDone(Outcome outcome, const QString& message, int32_t asked, int32_t rendered,
                        int32_t size) {
  switch (outcome) {
    case Outcome::kDone:
      Memo1->appendPlainText(Text(wmsg::kLogRendered).arg(rendered).arg(asked).arg(size));
      return ShowCollectedWarnings(Text(wmsg::kRenderedWithWarnings).arg(rendered).arg(asked));
    case Outcome::kCancelled:
      Memo1->appendPlainText(Text(wmsg::kLogRenderCancelled));
      return ShowCollectedWarnings(Text(wmsg::kLogRenderCancelled));
    case Outcome::kFailed:
      return prompts_->ShowError(this, WithWarnings(message));
  }
}

void TForm1::RemoveSelectedClick() {
  const std::vector<int32_t> pages = Pages->SelectedPages();
  if (pages.empty()) return prompts_->ShowMessage(this, Text(wmsg::kNoPagesSelected));
  RemovePages(pages);
}

void TForm1::RemoveAllClick() {
  if (!pdf_doc_.IsLoaded()) return prompts_->ShowMessage(this, Text(msg::kNoDocumentLoaded));
  RemovePages(AllPages());
}

void TForm1::RemovePages(std::vector<int32_t> pages) {
  if (busy_) return;
  for (const int32_t page : pages) {
    pdf_doc_.RemoveThumbnail(page);
    Pages->Model().Changed(page);
  }
  Memo1->appendPlainText(Text(wmsg::kLogRemoved).arg(pages.size()));
}

void TForm1::AttachClick() {
  if (busy_) return;
  const std::vector<int32_t> pages = Pages->SelectedPages();
  if (pages.empty()) return prompts_->ShowMessage(this, Text(wmsg::kNoPagesSelected));
  if (!prompts_->Execute(open_picture_dialog_, this)) return;
  ClearWarnings();
  for (const int32_t page : pages)
    AttachPicture(page, open_picture_dialog_.FileName(), QString::number(page));
  ShowCollectedWarnings(Text(wmsg::kPictureWithWarnings));
}

}  // namespace pagemint
