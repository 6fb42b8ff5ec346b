// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/form1.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
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
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QSpinBox>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QWindow>
#include <algorithm>
#include <exception>
#include <numeric>

#include "app/application.h"
#include "app/page_range.h"
#include "app/pages_panel.h"
#include "app/prompts.h"
#include "app/qt_shell.h"
#include "app/window_messages.h"
#include "app/work_runner.h"
#include "pdf/security/encryption_settings.h"
#include "picture/graphic.h"
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
  return Services{
      MakeQtPrompts(), MakeQtShell(), MakeSystemClock(),
      std::make_unique<QSettings>(QStringLiteral("pagemint"), QStringLiteral("pagemint"))};
}

TForm1::TForm1(Services services, QWidget* parent)
    : QWidget(parent),
      prompts_(std::move(services.prompts)),
      shell_(std::move(services.shell)),
      clock_(std::move(services.clock)),
      settings_(std::move(services.settings)),
      doc_(std::make_unique<TgtPDFDocument>()),
      runner_(std::make_unique<WorkRunner>()) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(Text(kWindowCaption));
  setFont(FormFont());
  setMinimumSize(kClientWidth, kClientHeight);
  resize(kClientWidth, kClientHeight);
  setStyleSheet(QString::fromLatin1(kGroupBoxStyle));
  setAcceptDrops(true);
  CenterOnScreen();
  CreateControls();
  SetTabOrder();
  ConfigureComponents();
  ConnectHandlers();
  UpdateAppendBox();
  LoadSettings();
  Run(&TForm1::FormCreate);
}

// The runner goes first (it is the last member): a running job is
// cancelled and waited for while the documents still exist.
TForm1::~TForm1() = default;

// Placed in the middle of the screen's free area at start; the window
// manager may still place the frame as it likes.
void TForm1::CenterOnScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
}

void TForm1::CreateControls() {
  GroupBox2 = Make<QGroupBox>(this, "GroupBox2", QStringLiteral("Source PDF"), 32, 24, 481, 97);
  Label1 = Make<QLabel>(GroupBox2, "Label1", QStringLiteral("PDF &File:"), 25, 36, 43, 13);
  Edit1 = Make<QLineEdit>(GroupBox2, "Edit1", QString(), 88, 32, 353, 21);
  Button5 = Make<QPushButton>(GroupBox2, "Button5", QStringLiteral("&Open..."), 363, 64, 75, 25);
  RecentButton = new QToolButton(GroupBox2);
  RecentButton->setObjectName(QStringLiteral("RecentButton"));
  RecentButton->setFont(FormFont());
  RecentButton->setGeometry(441, 64, 22, 25);
  RecentButton->setArrowType(Qt::DownArrow);
  RecentButton->setToolTip(QStringLiteral("Recent files"));
  RecentButton->setPopupMode(QToolButton::InstantPopup);
  RecentButton->setMenu(new QMenu(RecentButton));

  GroupBox1 = Make<QGroupBox>(this, "GroupBox1", QStringLiteral("Thumbnail"), 32, 127, 481, 129);
  Label2 = Make<QLabel>(GroupBox1, "Label2", QStringLiteral("&Thumbnail:"), 25, 20, 52, 13);
  Edit2 = Make<QLineEdit>(GroupBox1, "Edit2", QString(), 88, 16, 325, 21);
  Button6 = Make<QPushButton>(GroupBox1, "Button6", QStringLiteral("..."), 416, 14, 25, 25);
  Label3 = Make<QLabel>(GroupBox1, "Label3", QStringLiteral("Page &No.:"), 25, 56, 48, 13);
  Edit3 = Make<QLineEdit>(GroupBox1, "Edit3", QStringLiteral("1"), 88, 51, 81, 21);
  Button1 = Make<QPushButton>(GroupBox1, "Button1", QStringLiteral("&Add"), 67, 92, 75, 25);
  Memo1 = Make<QPlainTextEdit>(GroupBox1, "Memo1", QString(), 192, 48, 249, 73);
  Memo1->setReadOnly(true);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Memo1->setTabChangesFocus(true);

  GroupBox3 =
      Make<QGroupBox>(this, "GroupBox3", QStringLiteral("Destination PDF"), 32, 262, 481, 117);
  Label4 = Make<QLabel>(GroupBox3, "Label4", QStringLiteral("Sa&ve To:"), 25, 32, 44, 13);
  Edit4 = Make<QLineEdit>(GroupBox3, "Edit4", QString(), 88, 27, 325, 21);
  Button7 = Make<QPushButton>(GroupBox3, "Button7", QStringLiteral("..."), 416, 26, 25, 25);
  CheckBox1 =
      Make<QCheckBox>(GroupBox3, "CheckBox1",
                      QStringLiteral("Open the generated PDF file after saving"), 8, 64, 241, 17);
  CheckBox2 =
      Make<QCheckBox>(GroupBox3, "CheckBox2", QStringLiteral("Show thumbnails when PDF is opened"),
                      264, 64, 209, 17);
  CheckBox3 = Make<QCheckBox>(GroupBox3, "CheckBox3",
                              QStringLiteral("Append changes (keeps signatures)"), 8, 88, 241, 17);
  CheckBox1->setChecked(true);
  CheckBox2->setChecked(true);
  Label1->setBuddy(Edit1);
  Label2->setBuddy(Edit2);
  Label3->setBuddy(Edit3);
  Label4->setBuddy(Edit4);

  for (QLabel* label : {Label1, Label2, Label3, Label4}) AutoSize(label);

  Button2 = Make<QPushButton>(this, "Button2", QStringLiteral("&Generate"), 120, 397, 75, 25);
  Button3 = Make<QPushButton>(this, "Button3", QStringLiteral("&Help"), 248, 397, 75, 25);
  Button4 = Make<QPushButton>(this, "Button4", QStringLiteral("E&xit"), 368, 397, 75, 25);
  Button2->setToolTip(QStringLiteral("Generate the new PDF (Ctrl+S)"));
  Button5->setToolTip(QStringLiteral("Open a PDF file (Ctrl+O)"));
  Button3->setToolTip(QStringLiteral("Help (F1)"));
  Button4->setToolTip(QStringLiteral("Exit (Ctrl+Q)"));

  Label5 = Make<QLabel>(this, "Label5", Text(kFooterNotice), 53, 437, 445, 13);
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
  CancelButton->setToolTip(QStringLiteral("Cancel (Escape)"));
  CancelButton->hide();

  Pages = new PagesPanel(
      [this](int32_t page, bool with_samples) { return doc_->Thumbnail(page, with_samples); },
      FormFont(), this);
  Pages->hide();

  // Dropped files reach the window's handler through the boxes and the
  // page grid too, which would otherwise take a dropped address as text.
  for (QWidget* box : {static_cast<QWidget*>(Edit1), static_cast<QWidget*>(Edit2),
                       static_cast<QWidget*>(Edit3), static_cast<QWidget*>(Edit4),
                       Pages->PageList->viewport(), static_cast<QWidget*>(Pages->RangeEdit)})
    box->installEventFilter(this);
}

// The groups from top to bottom, the controls of each in reading order,
// then the buttons below them and the pages panel.
void TForm1::SetTabOrder() {
  QWidget* const order[] = {Edit1,
                            Button5,
                            RecentButton,
                            CancelButton,
                            PagesButton,
                            Edit2,
                            Button6,
                            Edit3,
                            Button1,
                            Memo1,
                            Edit4,
                            Button7,
                            CheckBox1,
                            CheckBox2,
                            CheckBox3,
                            Button2,
                            Button3,
                            Button4,
                            Pages->PageList,
                            Pages->RangeEdit,
                            Pages->ThumbSizeBox,
                            Pages->FormBox,
                            Pages->QualityBox,
                            Pages->RenderSelectedButton,
                            Pages->RenderAllButton,
                            Pages->AttachButton,
                            Pages->RemoveSelectedButton,
                            Pages->RemoveAllButton};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
  Edit1->setFocus();
}

void TForm1::ConfigureDocument(TgtPDFDocument& document) {
  document.SetOpenAfterSave(false);
  document.SetMergeOptions({moIncludeOutlines, moIncludeFormFields});
  document.SetPDFVersion(pvPDF14);
  document.SetPageMode(pmNone);
  document.SetPageLayout(plNone);
  document.SetShowSetupDialog(false);
  document.Encryption().SetLevel(el40bit);
  document.SetEMailAfterSave(false);
  document.SetCustomRenderText(false);
  // A document being opened gets the handlers of the one it replaces.
  if (doc_ && doc_.get() != &document) {
    document.OnPassword = doc_->OnPassword;
    document.OnWorkProgress = doc_->OnWorkProgress;
    document.OnWarning = doc_->OnWarning;
    document.SetRenderTimeout(doc_->RenderTimeout());
    return;
  }
  // Without a handler a source that needs a user password would "open"
  // with no pages; asking lets the user open it, or cancel and keep the
  // document that was open.
  document.OnPassword = [this](TgtCustomPDFDocument&, std::string& password, bool& continue_reading,
                               int32_t tries) { AskPassword(password, continue_reading, tries); };
  // Both run on the worker while it has the document.
  document.OnWorkProgress = [this](TgtCustomPDFDocument&, TgtWorkStep, double fraction,
                                   bool& cancel) {
    runner_->ReportProgress(progress_base_.load() + progress_span_.load() * fraction);
    if (runner_->CancelRequested()) cancel = true;
  };
  document.OnWarning = [this](TgtCustomPDFDocument&, const std::string& warning) {
    CollectWarning(warning);
  };
}

void TForm1::ConfigureComponents() {
  ConfigureDocument(*doc_);

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

  // Enter in a box runs its group's action.
  const auto on_enter = [this](QLineEdit* box, void (TForm1::*handler)()) {
    connect(box, &QLineEdit::returnPressed, this, [this, handler] { Run(handler); });
  };
  on_enter(Edit2, &TForm1::Button1Click);
  on_enter(Edit3, &TForm1::Button1Click);
  on_enter(Edit4, &TForm1::Button2Click);
  on_enter(Edit1, &TForm1::OpenTyped);
  on_enter(Pages->RangeEdit, &TForm1::SelectRange);
  // Leaving "PDF File:" with a path the user changed opens it too.
  connect(Edit1, &QLineEdit::editingFinished, this, [this] {
    if (Edit1->isModified()) Run(&TForm1::OpenTyped);
  });

  const auto on_key = [this](const QKeySequence& keys, QWidget* scope, void (TForm1::*handler)()) {
    auto* shortcut = new QShortcut(keys, scope);
    if (scope != this) shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    connect(shortcut, &QShortcut::activated, this, [this, handler] { Run(handler); });
  };
  on_key(QKeySequence(Qt::CTRL | Qt::Key_O), this, &TForm1::Button5Click);
  on_key(QKeySequence(Qt::CTRL | Qt::Key_S), this, &TForm1::Button2Click);
  on_key(QKeySequence(Qt::CTRL | Qt::Key_Q), this, &TForm1::Button4Click);
  on_key(QKeySequence(Qt::Key_F1), this, &TForm1::Button3Click);
  on_key(QKeySequence(Qt::Key_Escape), this, &TForm1::CancelButtonClick);
  on_key(QKeySequence(Qt::CTRL | Qt::Key_Z), this, &TForm1::Undo);
  on_key(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), this, &TForm1::Redo);
  on_key(QKeySequence(Qt::CTRL | Qt::Key_Y), this, &TForm1::Redo);
  on_key(QKeySequence(Qt::Key_Delete), Pages->PageList, &TForm1::RemoveSelectedClick);
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
      const QPoint local = drop->position().toPoint();
      // A picture dropped on a page of the grid is attached to that page.
      if (watched == Pages->PageList->viewport()) {
        const QString file = DroppedFile(drop->mimeData());
        const QModelIndex cell = Pages->PageList->indexAt(local);
        if (!busy_ && !file.isEmpty() && QFileInfo(file).isFile() && !IsPdfFile(file) &&
            cell.isValid()) {
          drop->acceptProposedAction();
          if (type == QEvent::Drop) {
            const int32_t page = cell.row() + 1;
            ClearWarnings();
            Change change{QStringLiteral("the picture on page %1").arg(page), {}, 0};
            try {
              AttachPicture(page, file, QString::number(page), change);
            } catch (const std::exception& e) {
              prompts_->ShowError(this, WithWarnings(QString::fromStdString(e.what())));
            }
            Record(std::move(change));
            ShowCollectedWarnings(Text(wmsg::kPictureWithWarnings));
          }
          return true;
        }
      }
      const QPoint at = static_cast<QWidget*>(watched)->mapTo(this, local);
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
  QWidget::resizeEvent(event);
  // Room beyond the controls is the pages panel's: widening the window
  // shows it.
  if (Pages->isHidden() && width() >= kClientWidth + PagesPanel::kMinimumWidth / 2) {
    Pages->show();
    PagesButton->setText(QStringLiteral("Pages <<"));
  }
  LayOut();
}

void TForm1::LayOut() {
  const int left = kClientWidth - 16;
  // isHidden: the panel counts before the window is first shown too.
  if (!Pages->isHidden())
    Pages->setGeometry(left, 24, std::max(width() - left - 12, PagesPanel::kMinimumWidth),
                       std::max(height() - 24 - 12, kClientHeight - 36));
}

bool TForm1::FormCanResize(int& new_width, int& new_height) {
  new_width = std::max(new_width, minimumWidth());
  new_height = std::max(new_height, minimumHeight());
  return true;
}

// Closing while work runs cancels it; the window closes once it has
// stopped, so a half-written file is never left behind. Changes not yet
// generated are asked about first.
void TForm1::closeEvent(QCloseEvent* event) {
  if (busy_) {
    close_after_work_ = true;
    runner_->RequestCancel();
    event->ignore();
    return;
  }
  if (!close_confirmed_ && HasUnsavedChanges()) {
    event->ignore();
    // The close runs again once this one has ended (Qt ignores a close
    // from within a close).
    WhenSaved(Text(wmsg::kBeforeClose), [this] {
      close_confirmed_ = true;
      QTimer::singleShot(0, this, [this] { close(); });
    });
    return;
  }
  close_confirmed_ = false;
  close_after_work_ = false;
  SaveSettings();
  if (help_window_) help_window_->close();
  QWidget::closeEvent(event);
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
    UpdateTitle();
    if (close_after_work_) {
      close_after_work_ = false;
      close();
    }
  });
}

void TForm1::SetBusy(bool busy, WorkKind kind) {
  busy_ = busy;
  for (QWidget* control : std::initializer_list<QWidget*>{
           Edit1, Button5, RecentButton, GroupBox1, GroupBox3, Button2, Pages->ThumbSizeBox,
           Pages->FormBox, Pages->QualityBox, Pages->RangeEdit, Pages->RenderSelectedButton,
           Pages->RenderAllButton, Pages->RemoveSelectedButton, Pages->RemoveAllButton,
           Pages->AttachButton})
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

// ---- Settings kept across runs ----

void TForm1::LoadSettings() {
  if (!settings_) return;
  const QByteArray geometry = settings_->value(QStringLiteral("window/geometry")).toByteArray();
  if (settings_->value(QStringLiteral("window/pages")).toBool()) ShowPages(true);
  if (!geometry.isEmpty()) restoreGeometry(geometry);
  open_dialog_.SetDirectory(settings_->value(QStringLiteral("folders/open")).toString());
  save_dialog_.SetDirectory(settings_->value(QStringLiteral("folders/save")).toString());
  open_picture_dialog_.SetDirectory(settings_->value(QStringLiteral("folders/picture")).toString());
  recent_ = settings_->value(QStringLiteral("recent")).toStringList().mid(0, kMaxRecentFiles);
  const int size = settings_->value(QStringLiteral("thumbnails/size"), 128).toInt();
  Pages->ThumbSizeBox->setValue(size);
  Pages->FormBox->setCurrentIndex(
      std::clamp(settings_->value(QStringLiteral("thumbnails/form"), 0).toInt(), 0,
                 Pages->FormBox->count() - 1));
  Pages->QualityBox->setValue(
      settings_->value(QStringLiteral("thumbnails/quality"), Pages->QualityBox->value()).toInt());
  UpdateRecentMenu();
}

void TForm1::SaveSettings() {
  if (!settings_) return;
  settings_->setValue(QStringLiteral("window/geometry"), saveGeometry());
  settings_->setValue(QStringLiteral("window/pages"), !Pages->isHidden());
  settings_->setValue(QStringLiteral("recent"), recent_);
  settings_->setValue(QStringLiteral("thumbnails/size"), Pages->ThumbSizeBox->value());
  settings_->setValue(QStringLiteral("thumbnails/form"), Pages->FormBox->currentIndex());
  settings_->setValue(QStringLiteral("thumbnails/quality"), Pages->QualityBox->value());
  settings_->sync();
}

void TForm1::RememberFolder(TFileDialog& dialog, const QString& file, const char* key) {
  const QString folder = QFileInfo(file).absolutePath();
  dialog.SetDirectory(folder);
  if (settings_) settings_->setValue(QString::fromLatin1(key), folder);
}

void TForm1::AddRecent(const QString& file) {
  const QString path = QFileInfo(file).absoluteFilePath();
  recent_.removeAll(path);
  recent_.prepend(path);
  while (recent_.size() > kMaxRecentFiles) recent_.removeLast();
  if (settings_) settings_->setValue(QStringLiteral("recent"), recent_);
  UpdateRecentMenu();
}

void TForm1::UpdateRecentMenu() {
  QMenu* menu = RecentButton->menu();
  menu->clear();
  int number = 0;
  for (const QString& file : recent_) {
    ++number;
    QAction* action =
        menu->addAction(QStringLiteral("&%1 %2").arg(number).arg(QDir::toNativeSeparators(file)));
    connect(action, &QAction::triggered, this, [this, file] { OpenFile(file); });
  }
  RecentButton->setEnabled(!recent_.isEmpty() && !busy_);
}

void TForm1::UpdateTitle() {
  if (loaded_path_.isEmpty() || !doc_->IsLoaded()) {
    setWindowTitle(Text(kWindowCaption));
  } else {
    setWindowTitle(
        QStringLiteral("%1[*] - %2").arg(QFileInfo(loaded_path_).fileName(), Text(kWindowCaption)));
  }
  setWindowModified(HasUnsavedChanges());
}

void TForm1::UpdateAppendBox() {
  if (!doc_->IsLoaded()) {
    CheckBox3->setChecked(false);
    CheckBox3->setEnabled(false);
    CheckBox3->setToolTip(QStringLiteral("No document is open"));
    return;
  }
  const std::string blocker = doc_->IncrementalUpdateBlocker();
  CheckBox3->setEnabled(blocker.empty());
  CheckBox3->setChecked(blocker.empty() && doc_->HasSignatures());
  CheckBox3->setToolTip(
      blocker.empty() ? QStringLiteral("Writes the source's bytes unchanged and appends "
                                       "the changes, so its signatures keep verifying")
                      : QStringLiteral("Cannot append: %1").arg(QString::fromStdString(blocker)));
}

// ---- Nothing lost ----

bool TForm1::HasUnsavedChanges() const {
  return doc_->IsLoaded() && clean_position_ != static_cast<std::ptrdiff_t>(undo_.size());
}

void TForm1::WhenSaved(const QString& what, std::function<void()> action) {
  if (!HasUnsavedChanges()) return action();
  const QString name = QFileInfo(loaded_path_).fileName();
  switch (prompts_->AskUnsaved(this, Text(wmsg::kUnsaved).arg(name, what))) {
    case UnsavedAnswer::kSave:
      after_save_ = std::move(action);
      Run(&TForm1::StartGenerate);
      // Generate did not start (no destination, a replace refused): the
      // action waits for nothing.
      if (!busy_) after_save_ = nullptr;
      return;
    case UnsavedAnswer::kDiscard:
      return action();
    case UnsavedAnswer::kCancel:
      return;
  }
}

TForm1::PageState TForm1::Snapshot(int32_t page) const {
  PageState state;
  state.page = page;
  state.origin = Pages->Model().Origin(page);
  if (!doc_->Thumbnail(page, false).Empty()) state.image = doc_->Thumbnail(page, true);
  return state;
}

void TForm1::Restore(const PageState& state) {
  const TgtThumbnailImage& image = state.image;
  const size_t needed = static_cast<size_t>(std::max(image.width, 0)) *
                        static_cast<size_t>(std::max(image.height, 0)) * 3;
  if (image.Empty() || image.rgb.size() < needed) {
    doc_->RemoveThumbnail(state.page);
  } else {
    const QImage samples(reinterpret_cast<const uchar*>(image.rgb.data()), image.width,
                         image.height, image.width * 3, QImage::Format_RGB888);
    TBitmap picture;
    picture.SetImage(samples.convertToFormat(QImage::Format_RGB32));
    doc_->SetThumbnail(state.page, picture);
  }
  Pages->Model().SetOrigin(state.page, state.origin);
}

void TForm1::Record(Change change) {
  if (change.pages.empty()) return;
  if (clean_position_ > static_cast<std::ptrdiff_t>(undo_.size())) clean_position_ = -1;
  redo_.clear();
  change.bytes = 0;
  for (const PageState& state : change.pages) change.bytes += state.image.rgb.size();
  if (change.bytes > kUndoBudgetBytes) {
    Memo1->appendPlainText(Text(wmsg::kLogNoUndo).arg(change.what));
    undo_.clear();
    undo_bytes_ = 0;
    clean_position_ = -1;
    return UpdateTitle();
  }
  undo_bytes_ += change.bytes;
  undo_.push_back(std::move(change));
  // The oldest changes go first when the states kept grow too large.
  while (undo_bytes_ > kUndoBudgetBytes && undo_.size() > 1) {
    undo_bytes_ -= undo_.front().bytes;
    undo_.erase(undo_.begin());
    clean_position_ = clean_position_ > 0 ? clean_position_ - 1 : -1;
  }
  UpdateTitle();
}

void TForm1::ClearHistory() {
  undo_.clear();
  redo_.clear();
  undo_bytes_ = 0;
  clean_position_ = 0;
}

void TForm1::Undo() {
  if (busy_ || undo_.empty()) return;
  Change change = std::move(undo_.back());
  undo_.pop_back();
  undo_bytes_ -= change.bytes;
  // Each page gets back its state and keeps the one it had, for redo.
  for (PageState& state : change.pages) {
    PageState now = Snapshot(state.page);
    Restore(state);
    state = std::move(now);
  }
  Memo1->appendPlainText(Text(wmsg::kLogUndone).arg(change.what));
  redo_.push_back(std::move(change));
  UpdateTitle();
}

void TForm1::Redo() {
  if (busy_ || redo_.empty()) return;
  Change change = std::move(redo_.back());
  redo_.pop_back();
  for (PageState& state : change.pages) {
    PageState now = Snapshot(state.page);
    Restore(state);
    state = std::move(now);
  }
  change.bytes = 0;
  for (const PageState& state : change.pages) change.bytes += state.image.rgb.size();
  Memo1->appendPlainText(Text(wmsg::kLogRedone).arg(change.what));
  undo_bytes_ += change.bytes;
  undo_.push_back(std::move(change));
  UpdateTitle();
}

// ---- Source ----

void TForm1::Button5Click() {
  if (busy_ || !prompts_->Execute(open_dialog_, this)) return;
  RememberFolder(open_dialog_, open_dialog_.FileName(), "folders/open");
  OpenFile(open_dialog_.FileName());
}

void TForm1::OpenTyped() {
  Edit1->setModified(false);
  const QString typed = Edit1->text().trimmed();
  if (busy_ || typed.isEmpty() || (typed == loaded_path_ && doc_->IsLoaded())) return;
  if (!QFileInfo(typed).isFile()) {
    prompts_->ShowMessage(this, Text(msg::kSourceNotFound));
    Edit1->setText(loaded_path_);
    return;
  }
  OpenFile(typed);
  // Not opened (the question was cancelled): the box names the document.
  if (!busy_ && Edit1->text() != loaded_path_) Edit1->setText(loaded_path_);
}

void TForm1::OpenFile(const QString& file_name) {
  if (busy_) return;
  WhenSaved(Text(wmsg::kBeforeOpen), [this, file_name] { Load(file_name); });
}

void TForm1::Load(const QString& file_name) {
  if (busy_) return;
  Edit1->setText(file_name);
  loading_path_ = file_name;
  ClearWarnings();
  loading_doc_ = std::make_unique<TgtPDFDocument>();
  ConfigureDocument(*loading_doc_);
  progress_base_ = 0;
  progress_span_ = 1;
  const std::string name = file_name.toStdString();
  TgtPDFDocument* document = loading_doc_.get();
  StartWork(
      WorkKind::kOpen, [document, name] { document->LoadFromFile(name); },
      [this, file_name](std::exception_ptr error) { OpenDone(error, file_name); });
}

QString TForm1::Explained(const QString& message, const QString& file_name) {
  const QString name = QFileInfo(file_name).fileName();
  static const struct {
    const char* engine;
    const char* plain;
  } kPlain[] = {
      {"Invalid PDF Header", wmsg::kNotPdf},
      {msg::kFileNotFound, wmsg::kNotFound},
      {msg::kTrailerError, wmsg::kBeyondRepair},
  };
  for (const auto& entry : kPlain)
    if (message.contains(Text(entry.engine))) return Text(entry.plain).arg(name, message);
  return message;
}

void TForm1::OpenDone(std::exception_ptr error, const QString& file_name) {
  QString message;
  const Outcome outcome = Examine(error, message);
  if (outcome != Outcome::kDone || !loading_doc_ || !loading_doc_->IsLoaded()) {
    // The document that was open stays, and the box names it again.
    loading_doc_.reset();
    Edit1->setText(loaded_path_);
    if (outcome == Outcome::kFailed)
      return prompts_->ShowError(this, WithWarnings(Explained(message, file_name)));
    const QString line =
        doc_->IsLoaded() ? Text(wmsg::kLogOpenCancelledKept).arg(QFileInfo(loaded_path_).fileName())
                         : Text(wmsg::kLogOpenCancelled);
    Memo1->appendPlainText(line);
    return ShowCollectedWarnings(line);
  }
  // The grid lets go of the old document before it goes.
  Pages->Model().Reset(0);
  doc_ = std::move(loading_doc_);
  loaded_path_ = file_name;
  Edit1->setText(file_name);
  Edit1->setModified(false);
  Pages->Model().Reset(doc_->PageCount());
  ClearHistory();
  // A new document: nothing written for the last one is its destination.
  Edit4->clear();
  Edit3->setText(QStringLiteral("1"));
  confirmed_destination_.clear();
  const QFileInfo source(file_name);
  proposed_destination_ =
      source.absoluteDir().filePath(source.completeBaseName() + QStringLiteral("-thumbs.pdf"));
  save_dialog_.SetFileName(proposed_destination_);
  Memo1->clear();
  Memo1->appendPlainText(
      Text(wmsg::kLogOpened).arg(source.fileName(), wmsg::Pages(doc_->PageCount())));
  UpdateAppendBox();
  UpdateTitle();
  AddRecent(file_name);
  ShowCollectedWarnings(
      Text(wmsg::kOpenedWithWarnings).arg(file_name, wmsg::Pages(doc_->PageCount())));
}

// ---- Thumbnail ----

void TForm1::Button6Click() {
  if (!prompts_->Execute(open_picture_dialog_, this)) return;
  Edit2->setText(open_picture_dialog_.FileName());
  RememberFolder(open_picture_dialog_, open_picture_dialog_.FileName(), "folders/picture");
}

void TForm1::Button1Click() {
  if (busy_) return;
  const QString picture = Edit2->text();
  if (picture.trimmed().isEmpty()) return prompts_->ShowMessage(this, Text(wmsg::kNoPicture));
  const int32_t page = StrToInt(Edit3->text().toStdString());
  ClearWarnings();
  Change change{QStringLiteral("the picture on page %1").arg(Edit3->text()), {}, 0};
  // The log shows the page box's text as typed ("007" stays "007").
  try {
    AttachPicture(page, picture, Edit3->text(), change);
  } catch (...) {
    Record(std::move(change));
    throw;
  }
  Record(std::move(change));
  ShowCollectedWarnings(Text(wmsg::kPictureWithWarnings));
  Edit2->clear();
  // 64 bits: the page box may hold the largest 32-bit number, and the
  // next number must not wrap.
  Edit3->setText(QString::number(StrToInt64(Edit3->text().toStdString()) + 1));
}

void TForm1::AttachPicture(int32_t page, const QString& file_name, const QString& page_text,
                           Change& change) {
  // The state before, taken only for a page that exists (the engine
  // refuses the others with its own message).
  const bool exists = doc_->IsLoaded() && page >= 1 && page <= doc_->PageCount();
  PageState before;
  if (exists) before = Snapshot(page);
  // The picture's kind comes from its content, not its name.
  doc_->SetThumbnailFromFile(page, file_name.toStdString());
  if (exists) change.pages.push_back(std::move(before));
  Pages->Model().SetOrigin(page, ThumbnailOrigin::kPicture);
  Memo1->appendPlainText(Text(wmsg::kLogPicture).arg(page_text, file_name));
}

// ---- Destination ----

void TForm1::Button7Click() {
  if (save_dialog_.FileName().isEmpty() && !proposed_destination_.isEmpty())
    save_dialog_.SetFileName(proposed_destination_);
  if (!prompts_->Execute(save_dialog_, this)) return;
  Edit4->setText(save_dialog_.FileName());
  RememberFolder(save_dialog_, save_dialog_.FileName(), "folders/save");
  // The dialog asked before overwriting this very name.
  confirmed_destination_ = save_dialog_.FileName();
}

void TForm1::Button2Click() {
  if (busy_) return;
  if (Edit1->text().isEmpty()) return prompts_->ShowMessage(this, Text(msg::kNoSourceFile));
  if (!QFileInfo(Edit1->text()).isFile())
    return prompts_->ShowMessage(this, Text(msg::kSourceNotFound));
  // Saving with nothing loaded would write a document of no pages and
  // report success.
  if (!doc_->IsLoaded()) return prompts_->ShowMessage(this, Text(msg::kNoDocumentLoaded));
  // The document written is the one the box names.
  if (QFileInfo(Edit1->text()).absoluteFilePath() != QFileInfo(loaded_path_).absoluteFilePath())
    return prompts_->ShowMessage(
        this, Text(wmsg::kSourceNotOpen).arg(Edit1->text(), QFileInfo(loaded_path_).fileName()));
  StartGenerate();
}

void TForm1::StartGenerate() {
  if (busy_ || !doc_->IsLoaded()) return;
  // The name in "Save To:", typed or chosen; the Save dialog when empty.
  if (Edit4->text().trimmed().isEmpty()) {
    Button7Click();
    if (Edit4->text().trimmed().isEmpty()) return;
  }
  const QString destination = Edit4->text();
  const QString written = QString::fromStdString(CompletedPdfName(destination.toStdString()));
  // Only a file confirmed for this document (by the Save dialog, or
  // written by an earlier Generate of it) is replaced without a question.
  if (QFileInfo::exists(written) && written != confirmed_destination_ &&
      !prompts_->Confirm(this, Text(wmsg::kReplaceFile).arg(written)))
    return;
  if (CheckBox2->isChecked()) doc_->SetPageMode(pmUseThumbs);
  ClearWarnings();
  progress_base_ = 0;
  progress_span_ = 1;
  const bool append = CheckBox3->isEnabled() && CheckBox3->isChecked();
  TgtPDFDocument* document = doc_.get();
  StartWork(
      WorkKind::kSave,
      [document, append, name = destination.toStdString(), full = written.toStdString()] {
        if (append)
          document->SaveIncremental(full);
        else
          document->SaveToFile(name, naUnchanged);
      },
      [this, written, append](std::exception_ptr error) { SaveDone(error, written, append); });
}

void TForm1::SaveDone(std::exception_ptr error, const QString& file_name, bool appended) {
  QString message;
  std::function<void()> after = std::move(after_save_);
  after_save_ = nullptr;
  switch (Examine(error, message)) {
    case Outcome::kDone:
      confirmed_destination_ = file_name;
      clean_position_ = static_cast<std::ptrdiff_t>(undo_.size());
      Memo1->appendPlainText(Text(appended ? wmsg::kLogAppended : wmsg::kLogSaved).arg(file_name));
      ShowCollectedWarnings(Text(wmsg::kSavedWithWarnings).arg(file_name));
      if (CheckBox1->isChecked() && !shell_->TryOpen(file_name.toStdString()))
        Memo1->appendPlainText(Text(wmsg::kLogNotOpened).arg(file_name));
      // What the user saved for runs once the window is free again.
      if (after)
        QTimer::singleShot(0, this, [this, after] {
          if (!busy_) after();
        });
      return;
    case Outcome::kCancelled:
      Memo1->appendPlainText(Text(wmsg::kLogSaveCancelled));
      return ShowCollectedWarnings(Text(wmsg::kLogSaveCancelled));
    case Outcome::kFailed:
      return prompts_->ShowError(this, WithWarnings(message));
  }
}

// ---- Help, Exit, Cancel ----

void TForm1::Button3Click() {
  const QString help = HelpPagePath();
  if (!QFileInfo(help).isFile())
    return prompts_->ShowMessage(this, Text(wmsg::kHelpMissing).arg(help));
  if (!shell_->TryOpen(help.toStdString())) ShowHelp(help);
}

void TForm1::ShowHelp(const QString& file) {
  if (!help_window_) {
    help_window_ = new QTextBrowser(this);
    help_window_->setWindowFlag(Qt::Window);
    help_window_->setObjectName(QStringLiteral("HelpWindow"));
    help_window_->setWindowTitle(QStringLiteral("Pagemint help"));
    help_window_->setOpenExternalLinks(true);
    help_window_->resize(720, 620);
    auto* close_key = new QShortcut(QKeySequence(Qt::Key_Escape), help_window_);
    connect(close_key, &QShortcut::activated, help_window_, &QWidget::close);
  }
  help_window_->setSource(QUrl::fromLocalFile(file));
  help_window_->show();
  help_window_->raise();
  help_window_->activateWindow();
}

void TForm1::Label5Click() { Button3Click(); }

void TForm1::Button4Click() { close(); }

void TForm1::PagesButtonClick() { ShowPages(Pages->isHidden()); }

void TForm1::ShowPages(bool show) {
  Pages->setVisible(show);
  PagesButton->setText(show ? QStringLiteral("Pages <<") : QStringLiteral("Pages >>"));
  setMinimumWidth(show ? kClientWidth - 16 + PagesPanel::kMinimumWidth + 12 : kClientWidth);
  if (!isMaximized() && !isFullScreen()) {
    if (show && width() < kClientWidth + kPagesPanelExtraWidth) {
      QSize wanted(kClientWidth + kPagesPanelExtraWidth, std::max(height(), 640));
      if (const QScreen* screen = QGuiApplication::primaryScreen())
        wanted = wanted.boundedTo(screen->availableGeometry().size() - QSize(40, 60))
                     .expandedTo(minimumSize());
      resize(wanted);
    } else if (!show) {
      resize(kClientWidth, height());
    }
  }
  LayOut();
}

void TForm1::CancelButtonClick() {
  if (!busy_) return;
  runner_->RequestCancel();
  CancelButton->setEnabled(false);
}

// ---- Pages panel ----

std::vector<int32_t> TForm1::AllPages() const {
  std::vector<int32_t> pages(static_cast<size_t>(std::max(doc_->PageCount(), 0)));
  std::iota(pages.begin(), pages.end(), 1);
  return pages;
}

void TForm1::SelectRange() {
  if (!doc_->IsLoaded()) return prompts_->ShowMessage(this, Text(msg::kNoDocumentLoaded));
  std::vector<int32_t> pages;
  QString error;
  if (!ParsePageRange(Pages->RangeEdit->text(), doc_->PageCount(), pages, error))
    return prompts_->ShowMessage(this, error);
  Pages->SelectPages(pages);
}

void TForm1::RenderSelectedClick() {
  const std::vector<int32_t> pages = Pages->SelectedPages();
  if (pages.empty()) return prompts_->ShowMessage(this, Text(wmsg::kNoPagesSelected));
  RenderPages(pages);
}

void TForm1::RenderAllClick() {
  if (!doc_->IsLoaded()) return prompts_->ShowMessage(this, Text(msg::kNoDocumentLoaded));
  RenderPages(AllPages());
}

void TForm1::RenderPages(std::vector<int32_t> pages) {
  if (busy_) return;
  const int32_t size = Pages->ThumbnailSize();
  doc_->SetThumbnailEncoding(Pages->Encoding());
  ClearWarnings();
  // The pages go to the engine in batches: a cancel stops the batch that
  // runs (which the engine leaves as it was) and keeps the batches done.
  struct Result {
    int32_t rendered = 0;
    size_t done = 0;  // pages of the finished batches, from the front
    bool cancelled = false;
    std::exception_ptr error;
    Change change;
    bool undo_kept = true;
  };
  auto result = std::make_shared<Result>();
  result->change.what = QStringLiteral("rendering %1").arg(wmsg::Pages(pages.size()));
  std::vector<ThumbnailOrigin> origins;
  origins.reserve(pages.size());
  for (const int32_t page : pages) origins.push_back(Pages->Model().Origin(page));
  TgtPDFDocument* document = doc_.get();
  StartWork(
      WorkKind::kRender,
      [this, document, pages, origins, size, result] {
        const size_t total = pages.size();
        const size_t batch = std::clamp<size_t>(total / 10, 8, 500);
        size_t undo_bytes = 0;
        for (size_t from = 0; from < total; from += batch) {
          const size_t to = std::min(total, from + batch);
          progress_base_ = static_cast<double>(from) / static_cast<double>(total);
          progress_span_ = static_cast<double>(to - from) / static_cast<double>(total);
          std::vector<int32_t> part(pages.begin() + static_cast<std::ptrdiff_t>(from),
                                    pages.begin() + static_cast<std::ptrdiff_t>(to));
          std::vector<PageState> before;
          if (result->undo_kept) {
            for (size_t i = from; i < to; ++i) {
              PageState state;
              state.page = pages[i];
              state.origin = origins[i];
              if (!document->Thumbnail(pages[i], false).Empty())
                state.image = document->Thumbnail(pages[i], true);
              undo_bytes += state.image.rgb.size();
              before.push_back(std::move(state));
            }
            if (undo_bytes > kUndoBudgetBytes) {
              result->undo_kept = false;
              result->change.pages.clear();
              before.clear();
            }
          }
          try {
            result->rendered += document->RenderThumbnails(part, size, 0);
          } catch (const EOperationCancelled&) {
            result->cancelled = true;
            return;
          } catch (...) {
            result->error = std::current_exception();
            return;
          }
          result->done = to;
          for (PageState& state : before) result->change.pages.push_back(std::move(state));
        }
        progress_base_ = 0;
        progress_span_ = 1;
      },
      [this, pages, size, result](std::exception_ptr error) {
        progress_base_ = 0;
        progress_span_ = 1;
        QString message;
        Outcome outcome = Examine(error, message);
        if (outcome == Outcome::kDone && result->cancelled) outcome = Outcome::kCancelled;
        if (outcome == Outcome::kDone && result->error) outcome = Examine(result->error, message);
        // The pages of the finished batches changed: those whose thumbnail
        // now has the rendered size were rendered; the rest kept theirs.
        std::vector<int32_t> rendered_pages;
        for (size_t i = 0; i < result->done; ++i) {
          const int32_t page = pages[i];
          const TgtThumbnailImage thumbnail = doc_->Thumbnail(page, false);
          if (std::max(thumbnail.width, thumbnail.height) == size)
            rendered_pages.push_back(page);
          else
            Pages->Model().Changed(page);
        }
        Pages->Model().SetOrigins(rendered_pages, ThumbnailOrigin::kRendered);
        const auto kept = static_cast<int32_t>(rendered_pages.size());
        if (result->undo_kept) {
          Record(std::move(result->change));
        } else if (result->done > 0) {
          Change lost{result->change.what, {}, 0};
          // Too large to keep: the change happened, and cannot be undone.
          Memo1->appendPlainText(Text(wmsg::kLogNoUndo).arg(lost.what));
          undo_.clear();
          redo_.clear();
          undo_bytes_ = 0;
          clean_position_ = -1;
        }
        RenderDone(outcome, message, static_cast<int32_t>(pages.size()), result->rendered, size,
                   kept);
      });
}

void TForm1::RenderDone(Outcome outcome, const QString& message, int32_t asked, int32_t rendered,
                        int32_t size, int32_t kept) {
  switch (outcome) {
    case Outcome::kDone:
      Memo1->appendPlainText(
          Text(wmsg::kLogRendered).arg(rendered).arg(wmsg::Pages(asked)).arg(size));
      return ShowCollectedWarnings(
          Text(wmsg::kRenderedWithWarnings).arg(rendered).arg(wmsg::Pages(asked)));
    case Outcome::kCancelled: {
      const QString line = Text(wmsg::kLogRenderCancelled).arg(wmsg::Pages(kept));
      Memo1->appendPlainText(line);
      return ShowCollectedWarnings(line);
    }
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
  if (!doc_->IsLoaded()) return prompts_->ShowMessage(this, Text(msg::kNoDocumentLoaded));
  RemovePages(AllPages());
}

void TForm1::RemovePages(std::vector<int32_t> pages) {
  if (busy_) return;
  Change change{QStringLiteral("removing %1").arg(wmsg::Pages(pages.size())), {}, 0};
  for (const int32_t page : pages) {
    // A page without a thumbnail does not change.
    if (doc_->Thumbnail(page, false).Empty()) continue;
    change.pages.push_back(Snapshot(page));
    doc_->RemoveThumbnail(page);
    Pages->Model().Changed(page);
  }
  Memo1->appendPlainText(Text(wmsg::kLogRemoved).arg(wmsg::Pages(pages.size())));
  Record(std::move(change));
}

void TForm1::AttachClick() {
  if (busy_) return;
  const std::vector<int32_t> pages = Pages->SelectedPages();
  if (pages.empty()) return prompts_->ShowMessage(this, Text(wmsg::kNoPagesSelected));
  if (!prompts_->Execute(open_picture_dialog_, this)) return;
  RememberFolder(open_picture_dialog_, open_picture_dialog_.FileName(), "folders/picture");
  ClearWarnings();
  Change change{QStringLiteral("the picture on %1").arg(wmsg::Pages(pages.size())), {}, 0};
  try {
    for (const int32_t page : pages)
      AttachPicture(page, open_picture_dialog_.FileName(), QString::number(page), change);
  } catch (...) {
    Record(std::move(change));
    throw;
  }
  Record(std::move(change));
  ShowCollectedWarnings(Text(wmsg::kPictureWithWarnings));
}

}  // namespace pagemint
