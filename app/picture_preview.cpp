// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/picture_preview.h"

#include <QFile>
#include <QFileInfo>
#include <QVBoxLayout>
#include <memory>

#include "picture/graphic.h"
#include "picture/metafile.h"
#include "picture/picture_file.h"
#include "platform/messages.h"

namespace pagemint {

namespace {

// The preview box; large enough to judge a thumbnail, small enough to sit
// beside the file list.
constexpr int kPreviewSide = 200;
// Enough of a file's head to show its kind (a metafile's signature sits at
// byte 40).
constexpr qint64 kSniffBytes = 64;

// The picture's kind as the engine will take it: by its first bytes, by
// its name where they do not say. Unknown for a file that is no picture.
TPictureKind KindOf(const QString& file_name) {
  QFile file(file_name);
  if (!file.open(QIODevice::ReadOnly)) return TPictureKind::Unknown;
  const QByteArray head = file.read(kSniffBytes);
  return DetectPictureKind(std::string_view(head.constData(), static_cast<size_t>(head.size())),
                           file_name.toStdString());
}

QSize FitInto(QSize size, QSize box) {
  if (size.width() <= box.width() && size.height() <= box.height()) return size;
  return size.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

QImage Draw(const TGraphic& picture, QSize box) {
  const QSize fitted = FitInto(QSize(picture.Width(), picture.Height()), box);
  TBitmap canvas;
  // A metafile plays straight into the fitted size, so a huge frame never
  // needs a bitmap of its own size.
  if (const auto* metafile = dynamic_cast<const TMetafile*>(&picture)) {
    canvas.SetSize(fitted.width(), fitted.height());
    metafile->StretchDraw(canvas, QRect(QPoint(0, 0), fitted));
    return canvas.Image().copy();
  }
  canvas.SetSize(picture.Width(), picture.Height());
  picture.Draw(canvas, 0, 0);
  if (fitted == QSize(picture.Width(), picture.Height())) return canvas.Image().copy();
  return canvas.Image().scaled(fitted, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

}  // namespace

QImage RenderPreview(const QString& file_name, QSize box, QString& description) {
  description = QString::fromUtf8(msg::kPreviewNone);
  if (!QFileInfo(file_name).isFile() || KindOf(file_name) == TPictureKind::Unknown) return QImage();
  try {
    const std::unique_ptr<TGraphic> picture = LoadPictureFile(file_name.toStdString());
    if (picture->Width() < 1 || picture->Height() < 1) return QImage();
    QImage image = Draw(*picture, box);
    description = QStringLiteral("%1 x %2").arg(picture->Width()).arg(picture->Height());
    return image;
  } catch (const std::exception& e) {
    description = QString::fromStdString(e.what());
    return QImage();
  }
}

PicturePreview::PicturePreview(QWidget* parent)
    : QWidget(parent), picture_(new QLabel(this)), caption_(new QLabel(this)) {
  setObjectName(QStringLiteral("PicturePreview"));
  picture_->setFixedSize(kPreviewSide, kPreviewSide);
  picture_->setAlignment(Qt::AlignCenter);
  picture_->setFrameShape(QFrame::StyledPanel);
  caption_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  caption_->setWordWrap(true);
  caption_->setFixedWidth(kPreviewSide);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(picture_);
  layout->addWidget(caption_);
  layout->addStretch();
  ShowFile(QString());
}

void PicturePreview::ShowFile(const QString& file_name) {
  QString description;
  const QSize box = picture_->contentsRect().size();
  const QImage image = RenderPreview(file_name, box, description);
  picture_->setPixmap(image.isNull() ? QPixmap() : QPixmap::fromImage(image));
  caption_->setText(description);
}

}  // namespace pagemint
