// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pages_panel.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>
#include <type_traits>

namespace pagemint {

namespace {

// Decoding runs in slices this long, so that a scroll is never held up
// by more than one slice.
constexpr int kDecodeSliceMs = 8;
// Pages waiting for their picture: only the newest (the cells drawn last,
// those in view) are kept; the rest are asked again when drawn again.
constexpr size_t kMaxWaiting = 400;

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

// The thumbnail's samples as an image of their own (the samples are
// copied; the thumbnail goes away).
QImage PictureOf(const TgtThumbnailImage& thumbnail) {
  const size_t needed = static_cast<size_t>(thumbnail.width) * thumbnail.height * 3;
  if (thumbnail.Empty() || thumbnail.rgb.size() < needed) return QImage();
  const QImage samples(reinterpret_cast<const uchar*>(thumbnail.rgb.data()), thumbnail.width,
                       thumbnail.height, thumbnail.width * 3, QImage::Format_RGB888);
  QImage picture = samples.convertToFormat(QImage::Format_RGB32);
  if (std::max(picture.width(), picture.height()) > PageListModel::kMaxCellSide)
    picture = picture.scaled(PageListModel::kMaxCellSide, PageListModel::kMaxCellSide,
                             Qt::KeepAspectRatio, Qt::SmoothTransformation);
  return picture;
}

// One cell of the grid: the picture centred in a square of the cell side,
// at its real size (scaled down only when larger), framed so a white page
// shows where it ends; below it the page number and where it came from.
class CellDelegate final : public QStyledItemDelegate {
 public:
  CellDelegate(PageListModel& model, QObject* parent)
      : QStyledItemDelegate(parent), model_(model) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    painter->save();
    const QRect cell = option.rect.adjusted(2, 2, -2, -2);
    const bool selected = option.state & QStyle::State_Selected;
    if (selected) painter->fillRect(cell, option.palette.highlight());
    if (option.state & QStyle::State_HasFocus) {
      painter->setPen(QPen(option.palette.highlight().color().darker(130), 1, Qt::DotLine));
      painter->drawRect(cell.adjusted(0, 0, -1, -1));
    }
    const int side = model_.CellSide();
    const QRect square(cell.x() + (cell.width() - side) / 2, cell.y() + 3, side, side);
    const QString text = index.data(Qt::DisplayRole).toString();
    const bool none = text.contains(QStringLiteral("no thumbnail"));
    const QImage picture = index.data(PageListModel::kPictureRole).value<QImage>();
    if (!picture.isNull()) {
      QSize size = picture.size();
      if (size.width() > side || size.height() > side) size.scale(side, side, Qt::KeepAspectRatio);
      const QRect at(square.x() + (side - size.width()) / 2,
                     square.y() + (side - size.height()) / 2, size.width(), size.height());
      painter->setRenderHint(QPainter::SmoothPixmapTransform, size != picture.size());
      painter->drawImage(at, picture);
      painter->setPen(QColor(150, 150, 150));
      painter->drawRect(at.adjusted(-1, -1, 0, 0));
    } else {
      // Waiting for its picture, or none at all.
      painter->setPen(QPen(QColor(170, 170, 170), 1, none ? Qt::DashLine : Qt::SolidLine));
      const QRect box = square.adjusted(side / 6, side / 10, -side / 6, -side / 10);
      if (!none) painter->fillRect(box, QColor(236, 236, 236));
      painter->drawRect(box);
    }
    painter->setPen(selected ? option.palette.highlightedText().color()
                             : option.palette.text().color());
    painter->setFont(option.font);
    const QRect lines(cell.x() + 2, square.bottom() + 3, cell.width() - 4,
                      cell.bottom() - square.bottom() - 3);
    const QStringList parts = text.split(u'\n');
    const QFontMetrics metrics(option.font);
    int y = lines.y();
    for (const QString& part : parts) {
      painter->drawText(QRect(lines.x(), y, lines.width(), metrics.height()),
                        Qt::AlignHCenter | Qt::AlignTop,
                        metrics.elidedText(part, Qt::ElideRight, lines.width()));
      y += metrics.height();
    }
    painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
    const int side = model_.CellSide();
    return QSize(std::max(side, 96) + 12, side + 2 * QFontMetrics(option.font).height() + 12);
  }

 private:
  PageListModel& model_;
};

template <typename Control>
Control* Make(QWidget* parent, const char* name, const QString& text, const QFont& font) {
  auto* control = new Control(parent);
  control->setObjectName(QString::fromLatin1(name));
  if constexpr (std::is_base_of_v<QAbstractButton, Control> || std::is_same_v<Control, QLabel>)
    control->setText(text);
  control->setFont(font);
  return control;
}

}  // namespace

PageListModel::PageListModel(ThumbnailSource source, QObject* parent)
    : QAbstractListModel(parent), source_(std::move(source)) {
  decode_timer_.setSingleShot(true);
  decode_timer_.setInterval(0);
  connect(&decode_timer_, &QTimer::timeout, this, [this] { DecodeSome(); });
}

void PageListModel::Reset(int32_t page_count) {
  beginResetModel();
  origins_.assign(static_cast<size_t>(std::max(page_count, 0)), ThumbnailOrigin::kSource);
  cache_.clear();
  waiting_.clear();
  waiting_set_.clear();
  endResetModel();
}

ThumbnailOrigin PageListModel::Origin(int32_t page) const {
  if (page < 1 || page > PageCount()) return ThumbnailOrigin::kSource;
  return origins_[static_cast<size_t>(page - 1)];
}

void PageListModel::SetOrigin(int32_t page, ThumbnailOrigin origin) {
  if (page < 1 || page > PageCount()) return;
  origins_[static_cast<size_t>(page - 1)] = origin;
  Changed(page);
}

void PageListModel::SetOrigins(const std::vector<int32_t>& pages, ThumbnailOrigin origin) {
  if (pages.empty()) return;
  for (const int32_t page : pages) {
    if (page < 1 || page > PageCount()) continue;
    origins_[static_cast<size_t>(page - 1)] = origin;
    cache_.remove(page);
  }
  emit dataChanged(index(std::max(pages.front(), 1) - 1),
                   index(std::min(pages.back(), PageCount()) - 1));
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

void PageListModel::SetFrozen(bool frozen) {
  frozen_ = frozen;
  if (!frozen_ && !waiting_.empty()) decode_timer_.start();
}

void PageListModel::SetCellSide(int side) {
  side = std::clamp(side, 32, kMaxCellSide);
  if (side == cell_side_) return;
  cell_side_ = side;
  // The cells change size: the view lays them out again.
  if (PageCount() > 0) emit layoutChanged();
}

int PageListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : PageCount();
}

Qt::ItemFlags PageListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::ItemIsDropEnabled;
  return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDropEnabled;
}

PageListModel::Entry* PageListModel::Lookup(int32_t page, bool decode) const {
  Entry* entry = cache_.object(page);
  if (entry && (entry->decoded || !decode)) return entry;
  if (frozen_ || !source_) return entry;
  try {
    if (!entry) {
      auto made = std::make_unique<Entry>();
      const TgtThumbnailImage thumbnail = source_(page, false);
      made->width = thumbnail.width;
      made->height = thumbnail.height;
      made->form = thumbnail.form;
      // A page without a thumbnail has nothing to decode.
      made->decoded = thumbnail.Empty();
      entry = made.get();
      cache_.insert(page, made.release());
    }
    if (decode && !entry->decoded) {
      entry->picture = PictureOf(source_(page, true));
      entry->decoded = true;
    }
  } catch (const std::exception&) {
    // A thumbnail that cannot be read is shown as none.
    if (entry) entry->decoded = true;
  }
  return entry;
}

void PageListModel::DecodeSome() {
  if (frozen_) return;
  QElapsedTimer slice;
  slice.start();
  while (!waiting_.empty() && slice.elapsed() < kDecodeSliceMs) {
    const int32_t page = waiting_.back();
    waiting_.pop_back();
    waiting_set_.remove(page);
    if (page < 1 || page > PageCount()) continue;
    Lookup(page, true);
    const QModelIndex row = index(page - 1);
    emit dataChanged(row, row, {kPictureRole});
  }
  if (!waiting_.empty()) decode_timer_.start();
}

QVariant PageListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= PageCount()) return QVariant();
  const int32_t page = index.row() + 1;
  if (role == Qt::DisplayRole) {
    QString text = QStringLiteral("Page %1").arg(page);
    const Entry* entry = Lookup(page, false);
    if (!entry) return text;
    if (entry->width <= 0 || entry->height <= 0) return text + QStringLiteral("\nno thumbnail");
    return text +
           QStringLiteral("\n%1 x %2, %3")
               .arg(entry->width)
               .arg(entry->height)
               .arg(QString::fromLatin1(OriginText(origins_[static_cast<size_t>(page - 1)])));
  }
  if (role == Qt::ToolTipRole) {
    const Entry* entry = Lookup(page, false);
    QString text = data(index, Qt::DisplayRole).toString().replace(u'\n', QStringLiteral(": "));
    if (entry && !entry->form.empty())
      text += QStringLiteral(", stored as %1").arg(QString::fromStdString(entry->form));
    return text;
  }
  if (role == kPictureRole) {
    const Entry* entry = cache_.object(page);
    if (entry && entry->decoded) return entry->picture;
    if (!waiting_set_.contains(page)) {
      waiting_.push_back(page);
      waiting_set_.insert(page);
      if (waiting_.size() > kMaxWaiting) {
        const size_t drop = waiting_.size() - kMaxWaiting;
        for (size_t i = 0; i < drop; ++i) waiting_set_.remove(waiting_[i]);
        waiting_.erase(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(drop));
      }
    }
    if (!frozen_ && !decode_timer_.isActive()) const_cast<QTimer&>(decode_timer_).start();
    return QImage();
  }
  if (role == Qt::DecorationRole) {
    const Entry* entry = Lookup(page, true);
    if (!entry || entry->picture.isNull()) return QPixmap();
    return QPixmap::fromImage(entry->picture);
  }
  if (role == Qt::UserRole) return page;
  return QVariant();
}

PagesPanel::PagesPanel(PageListModel::ThumbnailSource source, const QFont& font, QWidget* parent)
    : QGroupBox(QStringLiteral("Pages"), parent),
      model_(new PageListModel(std::move(source), this)) {
  setObjectName(QStringLiteral("PagesPanel"));
  setFont(font);
  PageList = Make<QListView>(this, "PageList", QString(), font);
  PageList->setModel(model_);
  PageList->setItemDelegate(new CellDelegate(*model_, PageList));
  PageList->setViewMode(QListView::ListMode);
  PageList->setFlow(QListView::LeftToRight);
  PageList->setWrapping(true);
  PageList->setResizeMode(QListView::Adjust);
  PageList->setUniformItemSizes(true);
  PageList->setMovement(QListView::Static);
  PageList->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  PageList->setSelectionMode(QAbstractItemView::ExtendedSelection);
  PageList->setEditTriggers(QAbstractItemView::NoEditTriggers);
  PageList->viewport()->setAcceptDrops(true);

  RangeLabel = Make<QLabel>(this, "RangeLabel", QStringLiteral("&Range:"), font);
  RangeEdit = Make<QLineEdit>(this, "RangeEdit", QString(), font);
  RangeEdit->setPlaceholderText(QStringLiteral("1-5,8,10-  (Enter selects)"));
  RangeEdit->setToolTip(
      QStringLiteral("Pages to select for rendering or removal: 1-5,8,10- (10- is 10 to the "
                     "last page)"));
  RangeLabel->setBuddy(RangeEdit);

  SizeLabel = Make<QLabel>(this, "SizeLabel", QStringLiteral("Si&ze (pixels):"), font);
  ThumbSizeBox = Make<QSpinBox>(this, "ThumbSizeBox", QString(), font);
  ThumbSizeBox->setRange(16, 1024);
  ThumbSizeBox->setValue(128);
  SizeLabel->setBuddy(ThumbSizeBox);
  FormLabel = Make<QLabel>(this, "FormLabel", QStringLiteral("Stored a&s:"), font);
  FormBox = Make<QComboBox>(this, "FormBox", QString(), font);
  FormBox->addItem(QStringLiteral("Smallest faithful"), static_cast<int>(TgtThumbnailFormat::Auto));
  FormBox->addItem(QStringLiteral("Lossless"), static_cast<int>(TgtThumbnailFormat::Lossless));
  FormBox->addItem(QStringLiteral("JPEG"), static_cast<int>(TgtThumbnailFormat::Jpeg));
  FormBox->setToolTip(
      QStringLiteral("How rendered thumbnails are stored: the smallest form that stays faithful "
                     "(gray, JPEG, Flate or indexed, per page), exact samples only, or JPEG"));
  FormLabel->setBuddy(FormBox);
  QualityBox = Make<QSpinBox>(this, "QualityBox", QString(), font);
  QualityBox->setRange(1, 100);
  QualityBox->setValue(TgtThumbnailEncoding{}.quality);
  QualityBox->setPrefix(QStringLiteral("q "));
  QualityBox->setToolTip(QStringLiteral("JPEG quality (1 to 100)"));
  const auto quality_used = [this] {
    QualityBox->setEnabled(FormBox->currentData().toInt() !=
                           static_cast<int>(TgtThumbnailFormat::Lossless));
  };
  connect(FormBox, &QComboBox::currentIndexChanged, this, quality_used);

  RenderSelectedButton =
      Make<QPushButton>(this, "RenderSelectedButton", QStringLiteral("Ren&der selected"), font);
  RenderAllButton = Make<QPushButton>(this, "RenderAllButton", QStringLiteral("Render a&ll"), font);
  RemoveSelectedButton =
      Make<QPushButton>(this, "RemoveSelectedButton", QStringLiteral("Re&move selected"), font);
  RemoveAllButton = Make<QPushButton>(this, "RemoveAllButton", QStringLiteral("Remove all"), font);
  AttachButton =
      Make<QPushButton>(this, "AttachButton", QStringLiteral("Attach &picture..."), font);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 14, 8, 8);
  layout->setSpacing(6);
  layout->addWidget(PageList, 1);
  auto* grid = new QGridLayout();
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(4);
  grid->addWidget(RangeLabel, 0, 0);
  grid->addWidget(RangeEdit, 0, 1, 1, 4);
  grid->addWidget(SizeLabel, 1, 0);
  grid->addWidget(ThumbSizeBox, 1, 1);
  grid->addWidget(FormLabel, 1, 2);
  grid->addWidget(FormBox, 1, 3);
  grid->addWidget(QualityBox, 1, 4);
  grid->addWidget(RenderSelectedButton, 2, 0, 1, 2);
  grid->addWidget(RenderAllButton, 2, 2, 1, 1);
  grid->addWidget(AttachButton, 2, 3, 1, 2);
  grid->addWidget(RemoveSelectedButton, 3, 0, 1, 2);
  grid->addWidget(RemoveAllButton, 3, 2, 1, 1);
  grid->setColumnStretch(3, 1);
  layout->addLayout(grid);
  connect(ThumbSizeBox, &QSpinBox::valueChanged, this, [this] { UpdateGrid(); });
  UpdateGrid();
  setMinimumWidth(kMinimumWidth);
}

void PagesPanel::UpdateGrid() {
  model_->SetCellSide(ThumbSizeBox->value());
  const int side = model_->CellSide();
  PageList->setGridSize(
      QSize(std::max(side, 96) + 12, side + 2 * QFontMetrics(PageList->font()).height() + 12));
}

std::vector<int32_t> PagesPanel::SelectedPages() const {
  std::vector<int32_t> pages;
  // By ranges: selecting every page of a large document is one range.
  for (const QItemSelectionRange& range : PageList->selectionModel()->selection())
    for (int row = range.top(); row <= range.bottom(); ++row) pages.push_back(row + 1);
  std::sort(pages.begin(), pages.end());
  pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
  return pages;
}

void PagesPanel::SelectPages(const std::vector<int32_t>& pages) {
  QItemSelection selection;
  // Runs of consecutive pages become one range each.
  for (size_t i = 0; i < pages.size();) {
    size_t j = i;
    while (j + 1 < pages.size() && pages[j + 1] == pages[j] + 1) ++j;
    selection.select(model_->index(pages[i] - 1), model_->index(pages[j] - 1));
    i = j + 1;
  }
  PageList->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
  if (!pages.empty()) {
    PageList->selectionModel()->setCurrentIndex(model_->index(pages.front() - 1),
                                                QItemSelectionModel::NoUpdate);
    PageList->scrollTo(model_->index(pages.front() - 1));
  }
}

int32_t PagesPanel::ThumbnailSize() const { return ThumbSizeBox->value(); }

TgtThumbnailEncoding PagesPanel::Encoding() const {
  TgtThumbnailEncoding encoding;
  encoding.format = static_cast<TgtThumbnailFormat>(FormBox->currentData().toInt());
  encoding.quality = QualityBox->value();
  return encoding;
}

}  // namespace pagemint
