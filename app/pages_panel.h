// The "Pages" panel the window grows into: every page of the open
// document with its thumbnail as it will be written, drawn small beside the
// page number, and the buttons that render, remove and attach thumbnails.
//
// The list is a model over the document, asked lazily: a page's thumbnail
// is decoded only when its row is drawn, and kept in a bounded cache, so a
// document of 100,000 pages costs little until the user scrolls through it.
// While work runs the model does not touch the document (see work_runner.h)
// and shows what it has cached.
#pragma once

#include <QAbstractListModel>
#include <QCache>
#include <QGroupBox>
#include <QPixmap>
#include <cstdint>
#include <functional>
#include <vector>

#include "pdf/document/document_types.h"

class QLabel;
class QListView;
class QPushButton;
class QSpinBox;

namespace pagemint {

// Where a page's thumbnail came from, as far as the window knows.
enum class ThumbnailOrigin : uint8_t { kSource, kPicture, kRendered };

class PageListModel : public QAbstractListModel {
 public:
  // The page's thumbnail (pages count from 1), asked only while the model
  // is not frozen.
  using ThumbnailSource = std::function<TgtThumbnailImage(int32_t page, bool with_samples)>;

  // The side of the small pictures in the list.
  static constexpr int kIconSide = 48;

  explicit PageListModel(ThumbnailSource source, QObject* parent = nullptr);

  // A new document of page_count pages (0: none), every thumbnail its own.
  void Reset(int32_t page_count);
  int32_t PageCount() const { return static_cast<int32_t>(origins_.size()); }
  // The page's thumbnail changed (came from origin, or was removed).
  void SetOrigin(int32_t page, ThumbnailOrigin origin);
  void Changed(int32_t page);
  void ChangedAll();
  // While frozen the document is not asked; rows show what is cached.
  void SetFrozen(bool frozen);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  struct Entry {
    int32_t width = 0;
    int32_t height = 0;
    QPixmap icon;
  };
  // The cached entry of page, made when the model may ask; nullptr else.
  const Entry* Lookup(int32_t page) const;

  ThumbnailSource source_;
  std::vector<ThumbnailOrigin> origins_;
  bool frozen_ = false;
  // Up to this many decoded rows are kept; a list shows a few dozen.
  mutable QCache<int32_t, Entry> cache_{2000};
};

class PagesPanel : public QGroupBox {
  Q_OBJECT

 public:
  static constexpr int kWidth = 280;
  static constexpr int kHeight = 378;

  // Every control draws with font (the window's style sheet stops fonts
  // from passing down).
  PagesPanel(PageListModel::ThumbnailSource source, const QFont& font, QWidget* parent);

  PageListModel& Model() { return *model_; }
  // The selected pages in ascending order (pages count from 1).
  std::vector<int32_t> SelectedPages() const;
  int32_t ThumbnailSize() const;

  QListView* PageList = nullptr;
  QLabel* SizeLabel = nullptr;
  QSpinBox* ThumbSizeBox = nullptr;
  QPushButton* RenderSelectedButton = nullptr;
  QPushButton* RenderAllButton = nullptr;
  QPushButton* RemoveSelectedButton = nullptr;
  QPushButton* RemoveAllButton = nullptr;
  QPushButton* AttachButton = nullptr;

 private:
  PageListModel* model_;
};

}  // namespace pagemint
