// SPDX-License-Identifier: GPL-3.0-or-later
// The window's three file dialogs as plain settings objects: title,
// filter, default extension, options and the file name of the last use.
// Showing one is the prompts' job (prompts.h), so tests answer dialogs
// without a display.
#pragma once

#include <QString>
#include <QStringList>

namespace pagemint {

enum class TFileDialogKind {
  kOpen,         // open a file
  kSave,         // choose a file to write
  kOpenPicture,  // open a picture, with a preview of the selected file
};

class TFileDialog {
 public:
  explicit TFileDialog(TFileDialogKind kind) : kind_(kind) {}

  TFileDialogKind Kind() const { return kind_; }
  const QString& Title() const { return title_; }
  void SetTitle(const QString& value) { title_ = value; }
  // Pairs of description and patterns separated by "|", the patterns of
  // one pair separated by ";": "Adobe PDF files (*.pdf)|*.pdf".
  const QString& Filter() const { return filter_; }
  void SetFilter(const QString& value) { filter_ = value; }
  // Added to a chosen name that has no extension; empty for none.
  const QString& DefaultExt() const { return default_ext_; }
  void SetDefaultExt(const QString& value) { default_ext_ = value; }
  bool OverwritePrompt() const { return overwrite_prompt_; }
  void SetOverwritePrompt(bool value) { overwrite_prompt_ = value; }
  bool FileMustExist() const { return file_must_exist_; }
  void SetFileMustExist(bool value) { file_must_exist_ = value; }
  // The name chosen at the last confirmed use; kept across uses and shown
  // again when the dialog opens.
  const QString& FileName() const { return file_name_; }
  void SetFileName(const QString& value) { file_name_ = value; }
  // The folder the dialog opens in when it has no file name (the folder
  // last used, kept across runs).
  const QString& Directory() const { return directory_; }
  void SetDirectory(const QString& value) { directory_ = value; }

 private:
  TFileDialogKind kind_;
  QString title_;
  QString filter_;
  QString default_ext_;
  bool overwrite_prompt_ = false;
  bool file_must_exist_ = false;
  QString file_name_;
  QString directory_;
};

// The filter as Qt name filters, one per pair: "All (*.jpg *.bmp)". The
// patterns in the parentheses are the pair's patterns, which Qt filters by.
QStringList QtNameFilters(const QString& filter);

// A chosen name with the default extension added when its last path
// component has no extension (nothing is added when default_ext is empty).
QString WithDefaultExt(const QString& file_name, const QString& default_ext);

}  // namespace pagemint
