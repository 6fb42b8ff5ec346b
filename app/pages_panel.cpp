#include "app/pages_panel.h"

#include <QAbstractButton>
#include <QImage>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <algorithm>
#include <memory>
#include <type_traits>

namespace pagemint {

namespace {

// The thumbnail's samples drawn into a square icon, centred, on white, with
// a thin frame so that a white page still shows where it ends.
QPixmap IconOf(const TgtThumbnailImage& thumbnail) {
  const int side = PageListModel::kIconSide;
  QImage icon(side, side, QImage::Format_RGB32);
  icon.fill(Qt::white);
  const size_t needed = static_cast<size_t>(thumbnail.width) * thumbnail.height * 3;
  if (thumbnail.Empty() || thumbnail.rgb.size() < needed) return QPixmap::fromImage(icon);
  const QImage samples(reinterpret_cast<const uchar*>(thumbnail.rgb.data()), thumbnail.width,
                       thumbnail.height, thumbnail.width * 3, QImage::Format_RGB888);
  const QImage scaled =
      samples.scaled(side - 2, side - 2, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  QPainter painter(&icon);
  const QPoint at((side - scaled.width()) / 2, (side - scaled.height()) / 2);
  painter.drawImage(at, scaled);
  painter.setPen(QColor(160, 160, 160));
  painter.drawRect(QRect(at - QPoint(1, 1), scaled.size() + QSize(1, 1)));
  return QPixmap::fromImage(icon);
}

const char* OriginText(ThumbnailOrigin origin) {
  switch (origin) {
    case ThumbnailOrigin::kSource:
      return "from the file";
    case ThumbnailOrigin::kPicture:
      return "picture";
    case ThumbnailOrigin::kRendered:
      return "rendered";
  }
  return "";
}

template <typename Control>
Control* Make(QWidget* parent, const char* name, const QString& text, const QFont& font,
              QRect geometry) {
  auto* control = new Control(parent);
  control->setObjectName(QString::fromLatin1(name));
  if constexpr (std::is_base_of_v<QAbstractButton, Control> || std::is_same_v<Control, QLabel>)
    control->setText(text);
  control->setFont(font);
  control->setGeometry(geometry);
  return control;
}

}  // namespace

PageListModel::PageListModel(ThumbnailSource source, QObject* parent)
    : QAbstractListModel(parent), source_(std::move(source)) {}

void PageListModel::Reset(int32_t page_count) {
  beginResetModel();
  origins_.assign(static_cast<size_t>(std::max(page_count, 0)), ThumbnailOrigin::kSource);
  cache_.clear();
  endResetModel();
}

void PageListModel::SetOrigin(int32_t page, ThumbnailOrigin origin) {
  if (page < 1 || page > PageCount()) return;
  origins_[static_cast<size_t>(page - 1)] = origin;
  Changed(page);
}

void PageListModel::Changed(int32_t page) {
  if (page < 1 || page > PageCount()) return;
  cache_.remove(page);
  const QModelIndex row = index(page - 1);
  emit dataChanged(row, row);
}

void PageListModel::ChangedAll() {
  cache_.clear();
  if (PageCount() > 0) emit dataChanged(index(0), index(PageCount() - 1));
}

void PageListModel::SetFrozen(bool frozen) { frozen_ = frozen; }

int PageListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : PageCount();
}

const PageListModel::Entry* PageListModel::Lookup(int32_t page) const {
  if (const Entry* entry = cache_.object(page)) return entry;
  if (frozen_ || !source_) return nullptr;
  auto entry = std::make_unique<Entry>();
  try {
    const TgtThumbnailImage thumbnail = source_(page, true);
    entry->width = thumbnail.width;
    entry->height = thumbnail.height;
    if (!thumbnail.Empty()) entry->icon = IconOf(thumbnail);
  } catch (const std::exception&) {
    // A thumbnail that cannot be read is shown as none.
  }
  const Entry* kept = entry.get();
  cache_.insert(page, entry.release());
  return kept;
}

QVariant PageListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= PageCount()) return QVariant();
  const int32_t page = index.row() + 1;
  if (role == Qt::DisplayRole) {
    QString text = QStringLiteral("Page %1").arg(page);
    const Entry* entry = Lookup(page);
    if (!entry) return text;
    if (entry->width <= 0 || entry->height <= 0) return text + QStringLiteral("\nno thumbnail");
    return text +
           QStringLiteral("\n%1 x %2, %3")
               .arg(entry->width)
               .arg(entry->height)
               .arg(QString::fromLatin1(OriginText(origins_[static_cast<size_t>(page - 1)])));
  }
  if (role == Qt::DecorationRole) {
    const Entry* entry = Lookup(page);
    if (!entry || entry->icon.isNull()) {
      QPixmap blank(kIconSide, kIconSide);
      blank.fill(Qt::transparent);
      return blank;
    }
    return entry->icon;
  }
  if (role == Qt::UserRole) return page;
  return QVariant();
}

PagesPanel::PagesPanel(PageListModel::ThumbnailSource source, const QFont& font, QWidget* parent)
    : QGroupBox(QStringLiteral("Pages"), parent),
      model_(new PageListModel(std::move(source), this)) {
  setObjectName(QStringLiteral("PagesPanel"));
  setFont(font);
  PageList = Make<QListView>(this, "PageList", QString(), font, QRect(12, 20, 256, 230));
  PageList->setModel(model_);
  PageList->setIconSize(QSize(PageListModel::kIconSide, PageListModel::kIconSide));
  PageList->setUniformItemSizes(true);
  PageList->setSelectionMode(QAbstractItemView::ExtendedSelection);
  PageList->setEditTriggers(QAbstractItemView::NoEditTriggers);
  PageList->setSpacing(1);

  SizeLabel = Make<QLabel>(this, "SizeLabel", QStringLiteral("Size (pixels):"), font,
                           QRect(12, 262, 80, 13));
  ThumbSizeBox = Make<QSpinBox>(this, "ThumbSizeBox", QString(), font, QRect(100, 258, 70, 21));
  ThumbSizeBox->setRange(16, 1024);
  ThumbSizeBox->setValue(128);

  RenderSelectedButton =
      Make<QPushButton>(this, "RenderSelectedButton", QStringLiteral("Render selected"), font,
                        QRect(12, 286, 124, 25));
  RenderAllButton = Make<QPushButton>(this, "RenderAllButton", QStringLiteral("Render all"), font,
                                      QRect(144, 286, 124, 25));
  RemoveSelectedButton =
      Make<QPushButton>(this, "RemoveSelectedButton", QStringLiteral("Remove selected"), font,
                        QRect(12, 316, 124, 25));
  RemoveAllButton = Make<QPushButton>(this, "RemoveAllButton", QStringLiteral("Remove all"), font,
                                      QRect(144, 316, 124, 25));
  AttachButton = Make<QPushButton>(this, "AttachButton", QStringLiteral("Attach picture..."), font,
                                   QRect(12, 346, 124, 25));
  resize(kWidth, kHeight);
}

std::vector<int32_t> PagesPanel::SelectedPages() const {
  std::vector<int32_t> pages;
  for (const QModelIndex& index : PageList->selectionModel()->selectedIndexes())
    pages.push_back(index.row() + 1);
  std::sort(pages.begin(), pages.end());
  pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
  return pages;
}

int32_t PagesPanel::ThumbnailSize() const { return ThumbSizeBox->value(); }

}  // namespace pagemint
