// SPDX-License-Identifier: GPL-3.0-or-later
// The preview pane of the picture dialog: the selected file drawn by our
// own picture toolkit, so metafiles preview exactly as they will be
// attached.
#pragma once

#include <QImage>
#include <QLabel>
#include <QSize>
#include <QString>

namespace pagemint {

// The picture in file_name drawn to fit box (never enlarged), of whichever
// kind the engine reads, recognised as the engine recognises it (by
// content, else by name). A null image when the file is no picture or
// cannot be read; description then says why, else it gives the picture's
// size in pixels.
QImage RenderPreview(const QString& file_name, QSize box, QString& description);

class PicturePreview : public QWidget {
  Q_OBJECT

 public:
  explicit PicturePreview(QWidget* parent = nullptr);
  void ShowFile(const QString& file_name);

 private:
  QLabel* picture_;
  QLabel* caption_;
};

}  // namespace pagemint
