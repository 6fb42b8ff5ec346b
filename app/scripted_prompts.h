// SPDX-License-Identifier: GPL-3.0-or-later
// Prompts that answer from lists made in advance and remember what they
// were asked and told: the window without a user, for tests and for the
// demonstration session behind the screenshot.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <optional>
#include <vector>

#include "app/file_dialog.h"
#include "app/prompts.h"

namespace pagemint {

class ScriptedPrompts final : public Prompts {
 public:
  // Answers in the order the dialogs are shown; std::nullopt, or no answer
  // left, cancels. A file answer gets the dialog's default extension as a
  // real dialog adds it.
  std::deque<std::optional<QString>> file_answers;
  std::deque<std::optional<QString>> password_answers;
  // Yes or No, in order; no answer left is No.
  std::deque<bool> confirm_answers;
  // Save, Discard or Cancel, in order; no answer left is Discard.
  std::deque<UnsavedAnswer> unsaved_answers;

  // False once anything was asked or shown from a thread other than the
  // window's (a worker must put its questions on the window's thread).
  bool all_on_window_thread = true;

  // What was shown, in order.
  std::vector<TFileDialogKind> dialogs_shown;
  QStringList messages;
  QStringList errors;
  std::vector<int> password_tries;
  QStringList questions;
  QStringList unsaved_questions;
  struct Warnings {
    QString result;
    QStringList warnings;
  };
  std::vector<Warnings> warnings_shown;

  bool Execute(TFileDialog& dialog, QWidget* owner) override;
  void ShowMessage(QWidget* owner, const QString& text) override;
  void ShowError(QWidget* owner, const QString& text) override;
  bool Confirm(QWidget* owner, const QString& text) override;
  void ShowWarnings(QWidget* owner, const QString& result, const QStringList& warnings) override;
  UnsavedAnswer AskUnsaved(QWidget* owner, const QString& text) override;
  bool AskPassword(QWidget* owner, const QString& file_name, int tries, QString& password) override;
};

}  // namespace pagemint
