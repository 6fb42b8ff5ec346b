#include "app/scripted_prompts.h"

namespace pagemint {

namespace {

std::optional<QString> Next(std::deque<std::optional<QString>>& answers) {
  if (answers.empty()) return std::nullopt;
  std::optional<QString> answer = std::move(answers.front());
  answers.pop_front();
  return answer;
}

}  // namespace

bool ScriptedPrompts::Execute(TFileDialog& dialog, QWidget*) {
  dialogs_shown.push_back(dialog.Kind());
  const std::optional<QString> answer = Next(file_answers);
  if (!answer) return false;
  dialog.SetFileName(WithDefaultExt(*answer, dialog.DefaultExt()));
  return true;
}

void ScriptedPrompts::ShowMessage(QWidget*, const QString& text) { messages << text; }

void ScriptedPrompts::ShowError(QWidget*, const QString& text) { errors << text; }

bool ScriptedPrompts::AskPassword(QWidget*, const QString&, int tries, QString& password) {
  password_tries.push_back(tries);
  const std::optional<QString> answer = Next(password_answers);
  if (!answer) return false;
  password = *answer;
  return true;
}

}  // namespace pagemint
