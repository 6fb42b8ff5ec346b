// SPDX-License-Identifier: GPL-3.0-or-later
// Everything the window asks of the user or tells the user, behind one
// interface: the file dialogs, the plain message box, the error box that
// ends a failed handler, and the password question. The window holds one;
// tests replace it with answers chosen in advance.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class QWidget;

namespace pagemint {

class TFileDialog;

// The answer to "save the changes first?".
enum class UnsavedAnswer { kSave, kDiscard, kCancel };

class Prompts {
 public:
  virtual ~Prompts() = default;
  // Shows dialog; when the user confirms, stores the chosen name in the
  // dialog and returns true. A cancelled dialog keeps its old name.
  virtual bool Execute(TFileDialog& dialog, QWidget* owner) = 0;
  // A plain message captioned with the application title, one OK button.
  virtual void ShowMessage(QWidget* owner, const QString& text) = 0;
  // The message of an exception that ended a handler.
  virtual void ShowError(QWidget* owner, const QString& text) = 0;
  // A question answered with Yes or No; true for Yes.
  virtual bool Confirm(QWidget* owner, const QString& text) = 0;
  // The result of an action and the warnings the engine raised during it.
  virtual void ShowWarnings(QWidget* owner, const QString& result, const QStringList& warnings) = 0;
  // Changes not yet generated would be lost: Save (generate first),
  // Discard or Cancel.
  virtual UnsavedAnswer AskUnsaved(QWidget* owner, const QString& text) = 0;
  // Asks for the password of file_name. tries counts the passwords already
  // refused. False when the user cancels.
  virtual bool AskPassword(QWidget* owner, const QString& file_name, int tries,
                           QString& password) = 0;
};

// Qt dialogs and message boxes.
std::unique_ptr<Prompts> MakeQtPrompts();

}  // namespace pagemint
