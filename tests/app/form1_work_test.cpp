// SPDX-License-Identifier: GPL-3.0-or-later
// The window's long work and what grew around it: progress on the bar
// with the controls disabled, Cancel that writes nothing, warnings shown
// with the result, the pages panel, and dropped files.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QListView>
#include <QMimeData>
#include <QProgressBar>
#include <QSpinBox>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "app/pages_panel.h"
#include "app_test_support.h"

namespace pagemint::testing {
namespace {

class Form1Work : public WindowFiles {
 protected:
  static QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
  }

  // The pages panel's rows as the user reads them.
  static QStringList Rows(TForm1& form) {
    QStringList rows;
    const PageListModel& model = form.Pages->Model();
    for (int row = 0; row < model.rowCount(); ++row)
      rows << model.data(model.index(row), Qt::DisplayRole).toString();
    return rows;
  }

  static void Select(TForm1& form, std::initializer_list<int> pages) {
    QItemSelectionModel* selection = form.Pages->PageList->selectionModel();
    selection->clearSelection();
    for (int page : pages)
      selection->select(form.Pages->Model().index(page - 1), QItemSelectionModel::Select);
  }
};

// What each progress value found when it reached the bar.
struct Sample {
  int value;
  bool generate_enabled;
  bool open_enabled;
  bool cancel_visible;
  Qt::CursorShape cursor;
};

void RecordProgress(TForm1& form, std::vector<Sample>& samples) {
  QObject::connect(form.WorkProgress, &QProgressBar::valueChanged, [&form, &samples](int value) {
    samples.push_back({value, form.Button2->isEnabled(), form.Button5->isEnabled(),
                       form.CancelButton->isVisible(), form.cursor().shape()});
  });
}

TEST_F(Form1Work, ProgressReachesTheBarWhileTheControlsAreDisabled) {
  const QString big = Path("big.pdf");
  WritePdf(big, 8000);
  std::vector<Sample> samples;
  RecordProgress(harness_.form(), samples);
  TForm1& form = harness_.form();

  harness_.Open(big);
  ASSERT_TRUE(harness_.prompts().errors.isEmpty()) << harness_.prompts().errors.join("\n");
  ASSERT_EQ(form.PDFDoc().PageCount(), 8000);
  const size_t open_samples = samples.size();
  form.Edit4->setText(Path("big-out.pdf"));
  form.CheckBox1->setChecked(false);
  harness_.Generate();
  ASSERT_TRUE(harness_.prompts().errors.isEmpty()) << harness_.prompts().errors.join("\n");
  EXPECT_EQ(QpdfCheck(Path("big-out.pdf")), 0);

  // Each action starts the bar at 0 with the controls already disabled.
  const auto starts_at_zero = [&](size_t from, size_t to) {
    for (size_t i = from; i < to; ++i)
      if (samples[i].value == 0) return true;
    return false;
  };
  EXPECT_TRUE(starts_at_zero(0, open_samples));
  EXPECT_TRUE(starts_at_zero(open_samples, samples.size()));
  for (const Sample& sample : samples) {
    SCOPED_TRACE(sample.value);
    EXPECT_FALSE(sample.generate_enabled);
    EXPECT_FALSE(sample.open_enabled);
    EXPECT_TRUE(sample.cancel_visible);
    EXPECT_EQ(sample.cursor, Qt::BusyCursor);
  }
  // Enabled again after, the bar and Cancel gone.
  EXPECT_TRUE(form.Button2->isEnabled());
  EXPECT_TRUE(form.Button5->isEnabled());
  EXPECT_TRUE(form.GroupBox1->isEnabled());
  EXPECT_FALSE(form.CancelButton->isVisible());
  EXPECT_FALSE(form.WorkProgress->isVisible());
  EXPECT_EQ(form.cursor().shape(), Qt::ArrowCursor);

  const auto moved = [&](size_t from, size_t to) {
    int largest = 0;
    for (size_t i = from; i < to; ++i) largest = std::max(largest, samples[i].value);
    return largest;
  };
  EXPECT_GT(moved(0, open_samples), 0) << "opening";
  EXPECT_GT(moved(open_samples, samples.size()), 0) << "generating";
}

// Holds the window's job once, at the first progress report that moves the
// bar past 0, until released is set (at most 10 s), so that a cancel given
// by the test reaches a job that is still running however fast the build
// is.
void HoldJobUntil(TForm1& form, const std::atomic<bool>& released) {
  auto report = form.PDFDoc().OnWorkProgress;
  auto held = std::make_shared<bool>(false);
  form.PDFDoc().OnWorkProgress = [report, held, &released](TgtCustomPDFDocument& document,
                                                           TgtWorkStep step, double fraction,
                                                           bool& cancel) {
    report(document, step, fraction, cancel);
    // The bar shows thousandths.
    if (*held || fraction * 1000 < 1 || cancel) return;
    *held = true;
    for (int i = 0; i < 1000 && !released.load(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    report(document, step, fraction, cancel);
  };
}

// Cancel during Generate writes nothing and leaves the file that was there;
// closing the window during work cancels it too. Cancel during Open leaves
// no document.
TEST_F(Form1Work, CancelWritesNothingAndOpensNothing) {
  const QString big = Path("big.pdf");
  WritePdf(big, 8000);
  TForm1& form = harness_.form();
  harness_.Open(big);
  ASSERT_TRUE(form.PDFDoc().IsLoaded());

  std::atomic<bool> cancelled = false;
  HoldJobUntil(form, cancelled);
  QObject::connect(form.WorkProgress, &QProgressBar::valueChanged, [&](int value) {
    if (value > 0 && !cancelled) {
      form.CancelButton->click();
      cancelled = true;
    }
  });
  const QString existing = Path("existing.pdf");
  QFile file(existing);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("keep me");
  file.close();
  const QStringList before = QDir(dir_.path()).entryList(QDir::Files);
  form.Edit4->setText(existing);
  harness_.prompts().confirm_answers = {true};
  harness_.Generate();
  ASSERT_TRUE(cancelled.load()) << "the bar never moved while generating";
  EXPECT_EQ(Contents(existing), "keep me");
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), before);
  EXPECT_EQ(harness_.Log().back(), "Generate cancelled: nothing was written");
  EXPECT_TRUE(harness_.opened().empty());
  EXPECT_TRUE(harness_.prompts().errors.isEmpty()) << harness_.prompts().errors.join("\n");
  EXPECT_TRUE(form.PDFDoc().IsLoaded());

  // Closing while generating: the work stops first, then the window closes.
  // The bar no longer cancels by itself; the job is held until the window
  // has been asked to close.
  std::atomic<bool> closing = false;
  HoldJobUntil(form, closing);
  harness_.prompts().confirm_answers = {true};
  form.Button2->click();
  ASSERT_TRUE(form.IsBusy());
  form.close();
  closing = true;
  EXPECT_TRUE(form.isVisible());
  harness_.WaitIdle();
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(Contents(existing), "keep me");

  Harness opening;
  std::atomic<bool> open_cancelled = false;
  HoldJobUntil(opening.form(), open_cancelled);
  QObject::connect(opening.form().WorkProgress, &QProgressBar::valueChanged, [&](int value) {
    if (value > 0 && !open_cancelled) {
      opening.form().CancelButton->click();
      open_cancelled = true;
    }
  });
  opening.Open(big);
  ASSERT_TRUE(open_cancelled.load()) << "the bar never moved while opening";
  EXPECT_FALSE(opening.form().PDFDoc().IsLoaded());
  EXPECT_EQ(opening.Log(), QStringList{"Open cancelled: no document is open"});
  EXPECT_TRUE(opening.prompts().errors.isEmpty()) << opening.prompts().errors.join("\n");
}

// A source whose outline loops (the last item's /Next is itself) and whose
// outline item points at a page by its index, not by reference: the
// reader warns of the first, the writer of the second; each is shown with
// the result of its action.
TEST_F(Form1Work, WarningsAreListedWithTheResult) {
  const QString damaged = Path("damaged.pdf");
  WritePdfObjects(damaged, {"<< /Type /Catalog /Pages 2 0 R /Outlines 4 0 R >>",
                            "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                            "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 400] >>",
                            "<< /Type /Outlines /First 5 0 R /Last 5 0 R /Count 1 >>",
                            "<< /Title (Loop) /Parent 4 0 R /Next 5 0 R /Dest [0 /Fit] >>"});
  harness_.Open(damaged);
  ASSERT_TRUE(harness_.prompts().errors.isEmpty()) << harness_.prompts().errors.join("\n");
  ASSERT_EQ(harness_.prompts().warnings_shown.size(), 1u);
  const auto& opened = harness_.prompts().warnings_shown[0];
  EXPECT_EQ(opened.result, damaged + " was opened (1 page) with warnings:");
  EXPECT_TRUE(opened.warnings.contains(
      "Outline item 5 is reached more than once; the outline is cut there"))
      << opened.warnings.join("\n");

  harness_.form().Edit4->setText(Path("out.pdf"));
  harness_.Generate();
  ASSERT_TRUE(harness_.prompts().errors.isEmpty()) << harness_.prompts().errors.join("\n");
  EXPECT_EQ(QpdfCheck(Path("out.pdf")), 0);
  ASSERT_EQ(harness_.prompts().warnings_shown.size(), 2u);
  const auto& saved = harness_.prompts().warnings_shown[1];
  EXPECT_EQ(saved.result, Path("out.pdf") + " was written with warnings:");
  EXPECT_TRUE(saved.warnings.contains("Expected Page Indirect Reference in Outline Destination!"))
      << saved.warnings.join("\n");
  // A clean action shows no box.
  harness_.Open(source_);
  EXPECT_EQ(harness_.prompts().warnings_shown.size(), 2u);
}

// The panel lists each page with its thumbnail as it will be written: the
// source's own, a picture attached, a rendered one, or none; rendering,
// removing and attaching act on the selected pages or on all, and the
// written file has exactly what the panel showed.
TEST_F(Form1Work, PagesViewShowsSourceAddedRenderedAndRemovedThumbnails) {
  PAGEMINT_NEEDS_THUMBNAIL_ACTIONS();
  const QString thumbs = Path("thumbs.pdf");
  {
    Harness maker;
    maker.Open(source_);
    maker.ChoosePicture(bmp_);
    maker.Add();
    maker.SetPage("3");
    maker.ChoosePicture(jpeg_);
    maker.Add();
    maker.form().CheckBox1->setChecked(false);
    maker.form().Edit4->setText(thumbs);
    maker.Generate();
    ASSERT_EQ(QpdfCheck(thumbs), 0);
  }
  TForm1& form = harness_.form();
  harness_.Open(thumbs);
  harness_.Click(form.PagesButton);
  EXPECT_EQ(Rows(form), (QStringList{"Page 1\n24 x 16, from the file", "Page 2\nno thumbnail",
                                     "Page 3\n40 x 30, from the file"}));
  // Drawn at its real size, in the picture's colour.
  const QPixmap icon =
      form.Pages->Model().data(form.Pages->Model().index(0), Qt::DecorationRole).value<QPixmap>();
  ASSERT_EQ(icon.size(), QSize(24, 16));
  const QColor middle = icon.toImage().pixelColor(12, 8);
  EXPECT_NEAR(middle.red(), 40, 3);
  EXPECT_NEAR(middle.green(), 120, 3);
  EXPECT_NEAR(middle.blue(), 200, 3);

  // Attach with nothing selected, then to page 2.
  harness_.Click(form.Pages->AttachButton);
  EXPECT_EQ(harness_.prompts().messages, QStringList{"No pages selected!"});
  const QString png = Path("mark.png");
  WritePicture(png, "PNG", 10, 12);
  Select(form, {2});
  harness_.prompts().file_answers.push_back(png);
  harness_.Click(form.Pages->AttachButton);
  EXPECT_EQ(Rows(form)[1], "Page 2\n10 x 12, picture");
  EXPECT_EQ(harness_.Log().back(), "Page 2, " + png);

  // Render all at 64 pixels: the 300 x 400 pages give 48 x 64.
  form.Pages->ThumbSizeBox->setValue(64);
  harness_.Click(form.Pages->RenderAllButton);
  ASSERT_TRUE(harness_.prompts().errors.isEmpty()) << harness_.prompts().errors.join("\n");
  EXPECT_EQ(Rows(form), (QStringList{"Page 1\n48 x 64, rendered", "Page 2\n48 x 64, rendered",
                                     "Page 3\n48 x 64, rendered"}));
  EXPECT_EQ(harness_.Log().back(), "Rendered 3 of 3 pages at 64 pixels");
  // Selected only, at 32.
  form.Pages->ThumbSizeBox->setValue(32);
  Select(form, {1});
  harness_.Click(form.Pages->RenderSelectedButton);
  EXPECT_EQ(Rows(form)[0], "Page 1\n24 x 32, rendered");
  EXPECT_EQ(Rows(form)[1], "Page 2\n48 x 64, rendered");

  Select(form, {3});
  harness_.Click(form.Pages->RemoveSelectedButton);
  EXPECT_EQ(Rows(form)[2], "Page 3\nno thumbnail");
  EXPECT_EQ(harness_.Log().back(), "Removed the thumbnails of 1 page");
  harness_.form().Edit4->setText(Path("mixed.pdf"));
  harness_.Generate();
  {
    const QpdfView view(Path("mixed.pdf"));
    const std::vector<QJsonObject> pages = view.Pages();
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(view.Thumb(pages[0]).value("/Height").toInt(), 32);
    EXPECT_EQ(view.Thumb(pages[1]).value("/Height").toInt(), 64);
    EXPECT_TRUE(view.Thumb(pages[2]).isEmpty());
  }

  harness_.Click(form.Pages->RemoveAllButton);
  EXPECT_EQ(Rows(form),
            (QStringList{"Page 1\nno thumbnail", "Page 2\nno thumbnail", "Page 3\nno thumbnail"}));
  harness_.form().Edit4->setText(Path("bare.pdf"));
  harness_.Generate();
  EXPECT_EQ(QpdfCheck(Path("bare.pdf")), 0);
  EXPECT_FALSE(Contents(Path("bare.pdf")).contains("/Thumb"));
  EXPECT_TRUE(harness_.prompts().errors.isEmpty()) << harness_.prompts().errors.join("\n");
}

// A PDF dropped anywhere opens (recognised by its header when its name
// does not say); a picture dropped on the thumbnail group fills
// "Thumbnail:", and anywhere else is refused.
TEST_F(Form1Work, DroppedFilesOpenOrFillThePictureBox) {
  TForm1& form = harness_.form();
  const QString unnamed = Path("scan.dat");
  ASSERT_TRUE(QFile::copy(source_, unnamed));
  const auto drop = [&](QWidget* target, QPoint at, const QString& file) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(file)});
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropped);
    harness_.WaitIdle();
    return dropped.isAccepted();
  };
  const QPoint thumbnail_group = form.GroupBox1->geometry().center();
  const QPoint destination_group = form.GroupBox3->geometry().center();
  const struct {
    const char* name;
    QWidget* target;
    QPoint at;
    QString file;
    bool accepted;
    QString source;   // Edit1 after
    QString picture;  // Edit2 after
  } cases[] = {
      {"PDF on the window", &form, destination_group, source_, true, source_, ""},
      {"PDF by its header", &form, thumbnail_group, unnamed, true, unnamed, ""},
      {"picture on the group", &form, thumbnail_group, bmp_, true, unnamed, bmp_},
      {"picture on the box", form.Edit2, QPoint(5, 5), jpeg_, true, unnamed, jpeg_},
      {"picture elsewhere", &form, destination_group, bmp_, false, unnamed, jpeg_},
      {"missing file", &form, thumbnail_group, Path("gone.bmp"), false, unnamed, jpeg_},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(drop(c.target, c.at, c.file), c.accepted);
    EXPECT_EQ(form.Edit1->text(), c.source);
    EXPECT_EQ(form.Edit2->text(), c.picture);
  }
  EXPECT_EQ(form.PDFDoc().PageCount(), 3);
  EXPECT_TRUE(harness_.prompts().errors.isEmpty()) << harness_.prompts().errors.join("\n");

  // A picture dropped on a page of the grid is that page's thumbnail, and
  // can be undone.
  if (!EngineHasThumbnailActions()) return;
  harness_.Click(form.PagesButton);
  QTest::qWait(20);
  QWidget* grid = form.Pages->PageList->viewport();
  const QPoint page2 = form.Pages->PageList->visualRect(form.Pages->Model().index(1)).center();
  EXPECT_TRUE(drop(grid, page2, bmp_));
  EXPECT_EQ(form.PDFDoc().Thumbnail(2).width, 24);
  EXPECT_TRUE(form.PDFDoc().Thumbnail(1).Empty());
  EXPECT_TRUE(form.HasUnsavedChanges());
  form.Undo();
  EXPECT_TRUE(form.PDFDoc().Thumbnail(2).Empty());
}

}  // namespace
}  // namespace pagemint::testing
