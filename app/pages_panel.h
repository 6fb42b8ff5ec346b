// SPDX-License-Identifier: GPL-3.0-or-later
// The "Pages" panel: every page of the open document as a grid of
// thumbnails at their real size (up to the thumbnail size), each with its
// page number and where its thumbnail came from, and the controls that
// render, remove and attach thumbnails, a page range box and the form
// rendered thumbnails are stored in. It takes whatever room the window
// gives it.
//
// The grid is a model over the document, asked lazily: a cell shows its
// picture once it has been decoded, and decoding happens in short slices
// on the window's thread for the cells in view only, so scrolling through
// 100,000 pages never waits for pictures. Decoded pictures are kept in a
// bounded cache. While work runs the model does not touch the document
// (see work_runner.h) and shows what it has cached.
#pragma once

#include <QAbstractListModel>
#include <QCache>
#include <QGroupBox>
#include <QImage>
#include <QPixmap>
#include <QSet>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <vector>

#include "pdf/document/document_types.h"

class QComboBox;
class QLabel;
class QLineEdit;
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

  // The picture of a page as the grid draws it: decoded at its real size,
  // or a null image while it waits for its turn (QImage).
  static constexpr int kPictureRole = Qt::UserRole + 1;
  // Largest side of the pictures the grid shows; larger thumbnails are
  // drawn scaled down.
  static constexpr int kMaxCellSide = 256;

  explicit PageListModel(ThumbnailSource source, QObject* parent = nullptr);

  // A new document of page_count pages (0: none), every thumbnail its own.
  void Reset(int32_t page_count);
  int32_t PageCount() const { return static_cast<int32_t>(origins_.size()); }
  ThumbnailOrigin Origin(int32_t page) const;
  // The page's thumbnail changed (came from origin, or was removed).
  void SetOrigin(int32_t page, ThumbnailOrigin origin);
  // The same for many pages, with one change reported for all of them
  // (thousands of rows reported one by one would keep the view busy).
  void SetOrigins(const std::vector<int32_t>& pages, ThumbnailOrigin origin);
  void Changed(int32_t page);
  void ChangedAll();
  // While frozen the document is not asked; rows show what is cached.
  void SetFrozen(bool frozen);
  // The side pictures are drawn at most (the thumbnail size chosen).
  void SetCellSide(int side);
  int CellSide() const { return cell_side_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  struct Entry {
    int32_t width = 0;
    int32_t height = 0;
    std::string form;
    bool decoded = false;
    QImage picture;
  };
  // The cached entry of page, with its size read (samples when decode);
  // nullptr when the model may not ask.
  Entry* Lookup(int32_t page, bool decode) const;
  // Decodes waiting pictures for a few milliseconds, then yields.
  void DecodeSome();

  ThumbnailSource source_;
  std::vector<ThumbnailOrigin> origins_;
  bool frozen_ = false;
  int cell_side_ = 128;
  // Up to this many rows are kept; a grid shows a few dozen at a time.
  mutable QCache<int32_t, Entry> cache_{3000};
  // Pages whose cells were drawn without their picture, newest last.
  mutable std::vector<int32_t> waiting_;
  mutable QSet<int32_t> waiting_set_;
  QTimer decode_timer_;
};

class PagesPanel : public QGroupBox {
  Q_OBJECT

 public:
  // The least room the panel needs beside the window's own controls.
  static constexpr int kMinimumWidth = 300;

  // Every control draws with font (the window's style sheet stops fonts
  // from passing down).
  PagesPanel(PageListModel::ThumbnailSource source, const QFont& font, QWidget* parent);

  PageListModel& Model() { return *model_; }
  // The selected pages in ascending order (pages count from 1).
  std::vector<int32_t> SelectedPages() const;
  // Selects pages (ascending) and shows the first.
  void SelectPages(const std::vector<int32_t>& pages);
  int32_t ThumbnailSize() const;
  TgtThumbnailEncoding Encoding() const;
  // The grid follows the thumbnail size.
  void UpdateGrid();

  QListView* PageList = nullptr;
  QLabel* RangeLabel = nullptr;
  QLineEdit* RangeEdit = nullptr;
  QLabel* SizeLabel = nullptr;
  QSpinBox* ThumbSizeBox = nullptr;
  QLabel* FormLabel = nullptr;
  QComboBox* FormBox = nullptr;
  QSpinBox* QualityBox = nullptr;
  QPushButton* RenderSelectedButton = nullptr;
  QPushButton* RenderAllButton = nullptr;
  QPushButton* RemoveSelectedButton = nullptr;
  QPushButton* RemoveAllButton = nullptr;
  QPushButton* AttachButton = nullptr;

 private:
  PageListModel* model_;
};

}  // namespace pagemint
