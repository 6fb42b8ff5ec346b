// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt side of the prompts, on the window's own three dialogs: what the
// user sees (titles, filters, default extensions, the overwrite question,
// the picture preview, the name remembered from the last use), the message
// boxes' caption and icon, and the password question. A timer answers each
// modal dialog once it is up, as a user would.
#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <functional>

#include "app/picture_preview.h"
#include "app/prompts.h"
#include "app_test_support.h"
#include "platform/messages.h"

namespace pagemint::testing {
namespace {

// Answers modal dialogs as a user would: WhenShown calls act with the next
// modal dialog of type Dialog once it is showing. A different dialog, or
// none within a few seconds, is a failure; whatever is open is then
// rejected so that the test never hangs. An answer still waiting when the
// test step ends was never needed: that is a failure too, and it is
// dropped so that it cannot answer a later step's dialog.
class DialogAnswers {
 public:
  ~DialogAnswers() { ExpectAllUsed(); }

  template <typename Dialog>
  void WhenShown(std::function<void(Dialog&)> act) {
    auto* timer = new QTimer;
    timers_.push_back(timer);
    auto waited = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, waited, act] {
      QWidget* modal = QApplication::activeModalWidget();
      auto* dialog = qobject_cast<Dialog*>(modal);
      if (!dialog && ++*waited < 300) return;
      timer->stop();
      timer->deleteLater();
      if (dialog) return act(*dialog);
      ADD_FAILURE() << "expected dialog " << Dialog::staticMetaObject.className() << ", found "
                    << (modal ? modal->metaObject()->className() : "none");
      if (auto* other = qobject_cast<QDialog*>(modal)) other->reject();
    });
    timer->start(10);
  }

  void ExpectAllUsed() {
    for (const QPointer<QTimer>& timer : timers_) {
      if (!timer || !timer->isActive()) continue;
      ADD_FAILURE() << "a dialog answer was never used";
      timer->stop();
      timer->deleteLater();
    }
    timers_.clear();
  }

 private:
  std::vector<QPointer<QTimer>> timers_;
};

// Types name into the file dialog's name box and presses its OK button.
void TypeAndAccept(QFileDialog& dialog, const QString& name) {
  auto* edit = dialog.findChild<QLineEdit*>("fileNameEdit");
  ASSERT_NE(edit, nullptr);
  edit->setText(name);
  auto* buttons = dialog.findChild<QDialogButtonBox*>("buttonBox");
  ASSERT_NE(buttons, nullptr);
  for (QAbstractButton* button : buttons->buttons()) {
    if (buttons->buttonRole(button) == QDialogButtonBox::AcceptRole) return button->click();
  }
  ADD_FAILURE() << "no accept button";
}

QString NameBoxText(QFileDialog& dialog) {
  auto* edit = dialog.findChild<QLineEdit*>("fileNameEdit");
  return edit ? edit->text() : QString("(no name box)");
}

class QtPromptsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApplication();
    ASSERT_TRUE(dir_.isValid());
  }
  QString Path(const QString& name) const { return dir_.filePath(name); }

  template <typename Dialog>
  void WhenShown(std::function<void(Dialog&)> act) {
    answers_.WhenShown<Dialog>(std::move(act));
  }

  QTemporaryDir dir_;
  DialogAnswers answers_;
  std::unique_ptr<Prompts> prompts_ = MakeQtPrompts();
  Harness harness_;  // the window whose dialogs are shown
};

TEST_F(QtPromptsTest, FileDialogsShowTheirSettingsAndRememberTheLastName) {
  TForm1& form = harness_.form();
  WritePicture(Path("cover.bmp"), "BMP", 30, 20);
  const struct {
    const char* name;
    TFileDialog& dialog;
    QString title;
    QStringList name_filters;
    QString default_suffix;
    QFileDialog::AcceptMode accept_mode;
    bool asks_before_overwrite;
    bool has_preview;
    QString typed;
    QString chosen;
  } cases[] = {
      {"open",
       form.OpenDialog1(),
       "Open a PDF file",
       {"Adobe PDF files (*.pdf)"},
       "pdf",
       QFileDialog::AcceptOpen,
       false,
       false,
       Path("report"),
       Path("report.pdf")},
      {"save",
       form.SaveDialog1(),
       "Save PDF",
       {"Adobe PDF files (*.pdf)"},
       "pdf",
       QFileDialog::AcceptSave,
       true,
       false,
       Path("out.txt"),
       Path("out.txt")},
      {"picture",
       form.OpenPictureDialog1(),
       "Choose a thumbnail image",
       {"All (*.jpg *.jpeg *.bmp *.emf *.ico *.cur *.dib *.png *.gif *.tif *.tiff *.webp)",
        "Bitmaps (*.bmp)", "JPEG Image File (*.jpg)", "JPEG Image File (*.jpeg)",
        "Enhanced Metafiles (*.emf)", "Icons and cursors (*.ico *.cur)",
        "Device-independent bitmaps (*.dib)", "PNG images (*.png)", "GIF images (*.gif)",
        "TIFF images (*.tif *.tiff)", "WebP images (*.webp)", "All files (*)"},
       "",
       QFileDialog::AcceptOpen,
       false,
       true,
       Path("cover.bmp"),
       Path("cover.bmp")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WhenShown<QFileDialog>([&](QFileDialog& qt) {
      EXPECT_EQ(qt.windowTitle(), c.title);
      EXPECT_EQ(qt.nameFilters(), c.name_filters);
      EXPECT_EQ(qt.defaultSuffix(), c.default_suffix);
      EXPECT_EQ(qt.acceptMode(), c.accept_mode);
      // Neither open dialog insists that the chosen file exists.
      EXPECT_EQ(qt.fileMode(), QFileDialog::AnyFile);
      EXPECT_EQ(qt.testOption(QFileDialog::DontConfirmOverwrite), !c.asks_before_overwrite);
      EXPECT_EQ(qt.findChild<PicturePreview*>() != nullptr, c.has_preview);
      EXPECT_TRUE(qt.isSizeGripEnabled());
      TypeAndAccept(qt, c.typed);
    });
    ASSERT_TRUE(prompts_->Execute(c.dialog, &form));
    answers_.ExpectAllUsed();
    EXPECT_EQ(c.dialog.FileName(), c.chosen);

    // Shown again, the dialog offers the last name; cancelling keeps it.
    WhenShown<QFileDialog>([&](QFileDialog& qt) {
      EXPECT_EQ(NameBoxText(qt), QFileInfo(c.chosen).fileName());
      EXPECT_EQ(qt.directory().absolutePath(), QFileInfo(c.chosen).absolutePath());
      qt.reject();
    });
    EXPECT_FALSE(prompts_->Execute(c.dialog, &form));
    answers_.ExpectAllUsed();
    EXPECT_EQ(c.dialog.FileName(), c.chosen);
  }
}

TEST_F(QtPromptsTest, SaveDialogAsksBeforeOverwritingAnExistingFile) {
  TFileDialog& dialog = harness_.form().SaveDialog1();
  const QString existing = Path("exists.pdf");
  WritePdf(existing, 1);
  const struct {
    QMessageBox::StandardButton answer;
    bool chosen;
  } cases[] = {{QMessageBox::No, false}, {QMessageBox::Yes, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.chosen);
    dialog.SetFileName(QString());
    bool asked = false;
    WhenShown<QFileDialog>([&](QFileDialog& qt) {
      WhenShown<QMessageBox>([&](QMessageBox& question) {
        asked = true;
        EXPECT_TRUE(question.text().contains("exists.pdf")) << question.text();
        question.button(c.answer)->click();
      });
      TypeAndAccept(qt, existing);
      // Refusing leaves the Save dialog open, for another name.
      if (qt.isVisible()) qt.reject();
    });
    EXPECT_EQ(prompts_->Execute(dialog, &harness_.form()), c.chosen);
    answers_.ExpectAllUsed();
    EXPECT_TRUE(asked);
    EXPECT_EQ(dialog.FileName(), c.chosen ? existing : QString());
  }
}

TEST_F(QtPromptsTest, PicturePreviewFollowsTheSelection) {
  TFileDialog& dialog = harness_.form().OpenPictureDialog1();
  WritePicture(Path("cover.bmp"), "BMP", 30, 20);
  WritePicture(Path("photo.jpg"), "JPG", 64, 48);
  dialog.SetFileName(Path("cover.bmp"));
  QStringList captions;
  bool drawn = false;
  WhenShown<QFileDialog>([&](QFileDialog& qt) {
    auto* preview = qt.findChild<PicturePreview*>();
    ASSERT_NE(preview, nullptr);
    const QList<QLabel*> labels = preview->findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 2);
    drawn = !labels[0]->pixmap().isNull();
    captions << labels[1]->text();
    emit qt.currentChanged(Path("photo.jpg"));
    captions << labels[1]->text();
    emit qt.currentChanged(Path("notes.txt"));
    captions << labels[1]->text();
    qt.reject();
  });
  EXPECT_FALSE(prompts_->Execute(dialog, &harness_.form()));
  EXPECT_TRUE(drawn);
  EXPECT_EQ(captions, (QStringList{"30 x 20", "64 x 48", msg::kPreviewNone}));
}

TEST_F(QtPromptsTest, MessageBoxesAreCaptionedWithTheApplicationTitle) {
  const struct {
    const char* name;
    std::function<void(Prompts&, QWidget*)> show;
    QMessageBox::Icon icon;
  } cases[] = {
      {"message", [](Prompts& p, QWidget* w) { p.ShowMessage(w, msg::kNoSourceFile); },
       QMessageBox::NoIcon},
      {"error", [](Prompts& p, QWidget* w) { p.ShowError(w, msg::kNoSourceFile); },
       QMessageBox::Critical},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bool shown = false;
    WhenShown<QMessageBox>([&](QMessageBox& box) {
      shown = true;
      EXPECT_EQ(box.windowTitle(), "Pagemint");
      EXPECT_EQ(box.text(), msg::kNoSourceFile);
      EXPECT_EQ(box.icon(), c.icon);
      EXPECT_EQ(box.standardButtons(), QMessageBox::Ok);
      box.button(QMessageBox::Ok)->click();
    });
    c.show(*prompts_, &harness_.form());
    answers_.ExpectAllUsed();
    EXPECT_TRUE(shown);
  }
}

// The replace question defaults to No, so Enter keeps the file; the
// warnings box lists a dozen warnings and keeps every one in its details.
TEST_F(QtPromptsTest, ReplaceQuestionAndWarningsBox) {
  const struct {
    QMessageBox::StandardButton pressed;
    bool answer;
  } questions[] = {{QMessageBox::Yes, true}, {QMessageBox::No, false}};
  for (const auto& c : questions) {
    WhenShown<QMessageBox>([&](QMessageBox& box) {
      EXPECT_EQ(box.windowTitle(), "Pagemint");
      EXPECT_EQ(box.icon(), QMessageBox::Question);
      EXPECT_EQ(box.standardButtons(), QMessageBox::Yes | QMessageBox::No);
      EXPECT_EQ(box.defaultButton(), box.button(QMessageBox::No));
      box.button(c.pressed)->click();
    });
    EXPECT_EQ(prompts_->Confirm(&harness_.form(), "replace?"), c.answer);
    answers_.ExpectAllUsed();
  }

  QStringList warnings;
  for (int i = 1; i <= 30; ++i) warnings << QString("warning %1").arg(i);
  for (const int count : {2, 30}) {
    SCOPED_TRACE(count);
    WhenShown<QMessageBox>([&](QMessageBox& box) {
      EXPECT_EQ(box.icon(), QMessageBox::Warning);
      EXPECT_EQ(box.text(), "a.pdf was opened (1 pages) with warnings:");
      EXPECT_EQ(box.informativeText(), warnings.mid(0, std::min(count, 12)).join("\n"));
      EXPECT_EQ(box.detailedText(), count > 12 ? warnings.join("\n") : QString());
      box.button(QMessageBox::Ok)->click();
    });
    prompts_->ShowWarnings(&harness_.form(), "a.pdf was opened (1 pages) with warnings:",
                           warnings.mid(0, count));
    answers_.ExpectAllUsed();
  }
}

TEST_F(QtPromptsTest, PasswordQuestionHidesTheTypingAndCanBeCancelled) {
  const struct {
    int tries;
    bool confirm;
    const char* label;
  } cases[] = {
      {0, true, "/docs/locked.pdf is protected by a password.\n\nPassword:"},
      {2, true, "The password is not correct.\n\nPassword (attempt 3):"},
      {0, false, "/docs/locked.pdf is protected by a password.\n\nPassword:"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tries);
    WhenShown<QInputDialog>([&](QInputDialog& question) {
      EXPECT_EQ(question.windowTitle(), "Pagemint");
      EXPECT_EQ(question.labelText(), c.label);
      EXPECT_EQ(question.textEchoMode(), QLineEdit::Password);
      EXPECT_TRUE(question.textValue().isEmpty());
      question.setTextValue("s3cret");
      c.confirm ? question.accept() : question.reject();
    });
    QString password = "kept";
    EXPECT_EQ(prompts_->AskPassword(&harness_.form(), "/docs/locked.pdf", c.tries, password),
              c.confirm);
    answers_.ExpectAllUsed();
    EXPECT_EQ(password, c.confirm ? "s3cret" : "kept");
  }
}

}  // namespace
}  // namespace pagemint::testing
