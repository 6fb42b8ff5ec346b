// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/scripted_prompts.h"

#include <QCoreApplication>
#include <QThread>

namespace pagemint {

namespace {

// Takes the next answer; false when it cancels or none is left. The answer
// is copied out rather than moved into a local optional, which GCC's
// optimiser misreads as used before it is set.
void CheckThread(bool& all_on_window_thread) {
  if (QThread::currentThread() != QCoreApplication::instance()->thread())
    all_on_window_thread = false;
}

bool Next(std::deque<std::optional<QString>>& answers, QString& answer) {
  if (answers.empty()) return false;
  const bool given = answers.front().has_value();
  if (given) answer = *answers.front();
  answers.pop_front();
  return given;
}

}  // namespace

bool ScriptedPrompts::Execute(TFileDialog& dialog, QWidget*) {
  CheckThread(all_on_window_thread);
  dialogs_shown.push_back(dialog.Kind());
  QString answer;
  if (!Next(file_answers, answer)) return false;
  dialog.SetFileName(WithDefaultExt(answer, dialog.DefaultExt()));
  return true;
}

void ScriptedPrompts::ShowMessage(QWidget*, const QString& text) {
  CheckThread(all_on_window_thread);
  messages << text;
}

void ScriptedPrompts::ShowError(QWidget*, const QString& text) {
  CheckThread(all_on_window_thread);
  errors << text;
}

bool ScriptedPrompts::Confirm(QWidget*, const QString& text) {
  CheckThread(all_on_window_thread);
  questions << text;
  if (confirm_answers.empty()) return false;
  const bool answer = confirm_answers.front();
  confirm_answers.pop_front();
  return answer;
}

UnsavedAnswer ScriptedPrompts::AskUnsaved(QWidget*, const QString& text) {
  CheckThread(all_on_window_thread);
  unsaved_questions << text;
  if (unsaved_answers.empty()) return UnsavedAnswer::kDiscard;
  const UnsavedAnswer answer = unsaved_answers.front();
  unsaved_answers.pop_front();
  return answer;
}

void ScriptedPrompts::ShowWarnings(QWidget*, const QString& result, const QStringList& warnings) {
  CheckThread(all_on_window_thread);
  warnings_shown.push_back({result, warnings});
}

bool ScriptedPrompts::AskPassword(QWidget*, const QString&, int tries, QString& password) {
  CheckThread(all_on_window_thread);
  password_tries.push_back(tries);
  QString answer;
  if (!Next(password_answers, answer)) return false;
  password = answer;
  return true;
}

}  // namespace pagemint
