// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt side of the prompts: QFileDialog, QMessageBox and QInputDialog.
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

#include "app/application.h"
#include "app/file_dialog.h"
#include "app/picture_preview.h"
#include "app/prompts.h"
#include "platform/messages.h"

namespace pagemint {

namespace {

constexpr int kPictureDialogWidth = 780;
constexpr int kPictureDialogHeight = 440;
// Warnings listed in the box itself; all of them are in its details.
constexpr int kWarningsInText = 12;

void Configure(QFileDialog& qt, const TFileDialog& dialog) {
  qt.setWindowTitle(dialog.Title());
  qt.setNameFilters(QtNameFilters(dialog.Filter()));
  qt.setDefaultSuffix(dialog.DefaultExt());
  qt.setSizeGripEnabled(true);
  if (dialog.Kind() == TFileDialogKind::kSave) {
    qt.setAcceptMode(QFileDialog::AcceptSave);
    qt.setFileMode(QFileDialog::AnyFile);
  } else {
    qt.setAcceptMode(QFileDialog::AcceptOpen);
    qt.setFileMode(dialog.FileMustExist() ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  }
  qt.setOption(QFileDialog::DontConfirmOverwrite, !dialog.OverwritePrompt());
  if (!dialog.Directory().isEmpty()) qt.setDirectory(dialog.Directory());
  if (!dialog.FileName().isEmpty()) qt.selectFile(dialog.FileName());
}

// The platform's own dialog cannot host a widget, so the picture dialog is
// always Qt's, with the preview in a column right of the file list.
void AddPreview(QFileDialog& qt, const QString& file_name) {
  qt.setOption(QFileDialog::DontUseNativeDialog, true);
  auto* grid = qobject_cast<QGridLayout*>(qt.layout());
  if (!grid) return;
  auto* preview = new PicturePreview(&qt);
  grid->addWidget(preview, 0, grid->columnCount(), grid->rowCount(), 1);
  QObject::connect(&qt, &QFileDialog::currentChanged, preview, &PicturePreview::ShowFile);
  // The picture chosen last time is selected again but not "changed to".
  preview->ShowFile(file_name);
  // Room for the file list beside the preview.
  qt.resize(qt.sizeHint().expandedTo(QSize(kPictureDialogWidth, kPictureDialogHeight)));
}

class QtPrompts final : public Prompts {
 public:
  bool Execute(TFileDialog& dialog, QWidget* owner) override {
    QFileDialog qt(owner);
    Configure(qt, dialog);
    if (dialog.Kind() == TFileDialogKind::kOpenPicture) AddPreview(qt, dialog.FileName());
    if (qt.exec() != QDialog::Accepted) return false;
    const QStringList files = qt.selectedFiles();
    if (files.isEmpty()) return false;
    dialog.SetFileName(QDir::toNativeSeparators(files.first()));
    return true;
  }

  void ShowMessage(QWidget* owner, const QString& text) override {
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kApplicationTitle), text,
                    QMessageBox::Ok, owner);
    box.exec();
  }

  void ShowError(QWidget* owner, const QString& text) override {
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kApplicationTitle), text,
                    QMessageBox::Ok, owner);
    box.exec();
  }

  bool Confirm(QWidget* owner, const QString& text) override {
    QMessageBox box(QMessageBox::Question, QString::fromUtf8(kApplicationTitle), text,
                    QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
  }

  UnsavedAnswer AskUnsaved(QWidget* owner, const QString& text) override {
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kApplicationTitle), text,
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, owner);
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
      case QMessageBox::Save:
        return UnsavedAnswer::kSave;
      case QMessageBox::Discard:
        return UnsavedAnswer::kDiscard;
      default:
        return UnsavedAnswer::kCancel;
    }
  }

  // The result above, the warnings one per line in a scrolling box below:
  // a damaged file can raise hundreds.
  void ShowWarnings(QWidget* owner, const QString& result, const QStringList& warnings) override {
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kApplicationTitle), result,
                    QMessageBox::Ok, owner);
    box.setInformativeText(warnings.mid(0, kWarningsInText).join(u'\n'));
    if (warnings.size() > kWarningsInText) box.setDetailedText(warnings.join(u'\n'));
    box.exec();
  }

  bool AskPassword(QWidget* owner, const QString& file_name, int tries,
                   QString& password) override {
    const std::string label = tries == 0
                                  ? Format(msg::kPasswordPrompt, file_name.toStdString().c_str())
                                  : Format(msg::kPasswordRetry, tries + 1);
    bool ok = false;
    const QString answer =
        QInputDialog::getText(owner, QString::fromUtf8(kApplicationTitle),
                              QString::fromStdString(label), QLineEdit::Password, QString(), &ok);
    if (!ok) return false;
    password = answer;
    return true;
  }
};

}  // namespace

std::unique_ptr<Prompts> MakeQtPrompts() { return std::make_unique<QtPrompts>(); }

}  // namespace pagemint
