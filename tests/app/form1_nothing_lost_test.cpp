// SPDX-License-Identifier: GPL-3.0-or-later
// Nothing is lost without a question: the actions that would throw away
// thumbnail changes not yet generated ask first (Save, Discard, Cancel),
// a file written for another document is not replaced silently, a
// cancelled password or render keeps what was there, and the "PDF File:"
// box is the document.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QListView>
#include <QMimeData>
#include <QSpinBox>
#include <QTextBrowser>
#include <QUrl>
#include <deque>
#include <functional>

#include "app/page_range.h"
#include "app/pages_panel.h"
#include "app_test_support.h"

namespace pagemint::testing {
namespace {

class NothingLost : public WindowFiles {
 protected:
  void SetUp() override {
    WindowFiles::SetUp();
    other_ = Path("other.pdf");
    WritePdf(other_, 5);
  }

  // Lets a continuation queued after a Generate run, then waits for the
  // work it started.
  static void Settle(Harness& harness) {
    for (int i = 0; i < 5; ++i) {
      QTest::qWait(20);
      harness.WaitIdle();
    }
  }

  static void DropFile(Harness& harness, const QString& file) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(file)});
    const QPoint at = harness.form().GroupBox3->geometry().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&harness.form(), &enter);
    QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&harness.form(), &dropped);
    harness.WaitIdle();
  }

  QString other_;
};

TEST_F(NothingLost, ActionsThatWouldLoseChangesAskFirst) {
  PAGEMINT_NEEDS_THUMBNAIL_ACTIONS();
  using Act = std::function<void(Harness&)>;
  const Act open = [this](Harness& h) {
    h.prompts().file_answers.push_back(other_);
    h.Click(h.form().Button5);
  };
  const Act drop = [this](Harness& h) { DropFile(h, other_); };
  const Act exit = [](Harness& h) { h.Click(h.form().Button4); };
  const Act close = [](Harness& h) {
    h.form().close();
    h.WaitIdle();
  };
  const Act enter = [this](Harness& h) {
    h.form().Edit1->setText(other_);
    QTest::keyClick(h.form().Edit1, Qt::Key_Return);
    h.WaitIdle();
  };
  const UnsavedAnswer kSave = UnsavedAnswer::kSave;
  const UnsavedAnswer kDiscard = UnsavedAnswer::kDiscard;
  const UnsavedAnswer kCancel = UnsavedAnswer::kCancel;
  const struct {
    const char* name;
    bool changed;
    Act act;
    std::deque<UnsavedAnswer> answers;
    int asked;
    bool other_open;  // after: the other document is the one open
    bool visible;     // after: the window is still shown
    bool saved;       // after: the changes were generated first
  } cases[] = {
      {"Open, nothing changed", false, open, {}, 0, true, true, false},
      {"Open, Cancel", true, open, {kCancel}, 1, false, true, false},
      {"Open, Discard", true, open, {kDiscard}, 1, true, true, false},
      {"Open, Save", true, open, {kSave}, 1, true, true, true},
      {"drop, Cancel", true, drop, {kCancel}, 1, false, true, false},
      {"drop, Save", true, drop, {kSave}, 1, true, true, true},
      {"Enter in PDF File, Cancel", true, enter, {kCancel}, 1, false, true, false},
      {"Enter in PDF File, nothing changed", false, enter, {}, 0, true, true, false},
      {"Exit, Cancel", true, exit, {kCancel}, 1, false, true, false},
      {"Exit, nothing changed", false, exit, {}, 0, false, false, false},
      {"close, Discard", true, close, {kDiscard}, 1, false, false, false},
      {"close, Save", true, close, {kSave}, 1, false, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h;
    h.Open(source_);
    h.form().CheckBox1->setChecked(false);
    const QString saved = Path(QString("saved-%1.pdf").arg(&c - cases));
    h.form().Edit4->setText(saved);
    if (c.changed) {
      h.ChoosePicture(bmp_);
      h.Add();
      EXPECT_TRUE(h.form().HasUnsavedChanges());
      EXPECT_TRUE(h.form().isWindowModified());
    }
    h.prompts().unsaved_answers = c.answers;
    c.act(h);
    Settle(h);
    EXPECT_EQ(h.prompts().unsaved_questions.size(), c.asked)
        << h.prompts().unsaved_questions.join("|");
    EXPECT_EQ(h.form().PDFDoc().PageCount(), c.other_open ? 5 : 3);
    EXPECT_EQ(h.form().Edit1->text(), c.other_open ? other_ : source_);
    EXPECT_EQ(h.form().isVisible(), c.visible);
    EXPECT_EQ(QFileInfo::exists(saved), c.saved);
    if (c.saved) {
      EXPECT_EQ(QpdfCheck(saved), 0);
      EXPECT_TRUE(QpdfView(saved).Thumb(QpdfView(saved).Pages().at(0)).contains("/Width"));
    }
    // A cancelled question keeps the change, still unsaved.
    if (c.answers == std::deque<UnsavedAnswer>{kCancel}) {
      EXPECT_TRUE(h.form().HasUnsavedChanges());
    }
    EXPECT_TRUE(h.prompts().errors.isEmpty()) << h.prompts().errors.join("\n");
  }
}

// Generating for B over the file written for A asks, however the name got
// into the box; a new document starts with an empty "Save To:".
TEST_F(NothingLost, FileWrittenForAnotherDocumentIsAskedAbout) {
  const QString out = Path("out.pdf");
  harness_.form().CheckBox1->setChecked(false);
  harness_.Open(source_);
  harness_.form().Edit4->setText(out);
  harness_.Generate();
  ASSERT_EQ(QpdfView(out).Pages().size(), 3u);
  EXPECT_TRUE(harness_.prompts().questions.isEmpty());

  harness_.Open(other_);
  EXPECT_TRUE(harness_.form().Edit4->text().isEmpty());
  EXPECT_EQ(harness_.form().Edit3->text(), "1");
  harness_.form().Edit4->setText(out);
  harness_.prompts().confirm_answers = {false};
  harness_.Generate();
  EXPECT_EQ(harness_.prompts().questions,
            QStringList{out + " already exists.\nDo you want to replace it?"});
  EXPECT_EQ(QpdfView(out).Pages().size(), 3u);
  harness_.prompts().confirm_answers = {true};
  harness_.Generate();
  EXPECT_EQ(QpdfView(out).Pages().size(), 5u);
  // Written for this document now: no second question.
  harness_.Generate();
  EXPECT_EQ(harness_.prompts().questions.size(), 2);
  EXPECT_EQ(harness_.FullLog().first(), "Opened other.pdf: 5 pages");
}

TEST_F(NothingLost, CancelledPasswordKeepsThePreviousDocument) {
  const QString locked = Path("locked.pdf");
  ASSERT_EQ(QpdfEncrypt(other_, locked, "USER", "OWNER"), 0);
  harness_.Open(source_);
  harness_.prompts().password_answers = {std::nullopt};
  harness_.Open(locked);
  EXPECT_EQ(harness_.prompts().password_tries, std::vector<int>{0});
  EXPECT_TRUE(harness_.form().PDFDoc().IsLoaded());
  EXPECT_EQ(harness_.form().PDFDoc().PageCount(), 3);
  EXPECT_EQ(harness_.form().Edit1->text(), source_);
  EXPECT_EQ(harness_.Log().back(), "Open cancelled: source.pdf stays open");
  EXPECT_EQ(harness_.form().windowTitle(), "source.pdf[*] - Pagemint 1.21");
  // A file that is not a PDF says so in plain words and keeps it too.
  const QString text = Path("notes.pdf");
  QFile file(text);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("not a PDF at all\n");
  file.close();
  harness_.Open(text);
  ASSERT_EQ(harness_.prompts().errors.size(), 1);
  EXPECT_TRUE(
      harness_.prompts().errors[0].startsWith("notes.pdf is not a PDF file (Invalid PDF Header"))
      << harness_.prompts().errors[0];
  EXPECT_EQ(harness_.form().PDFDoc().PageCount(), 3);
  EXPECT_EQ(harness_.form().Edit1->text(), source_);
}

// Rendering goes to the engine in batches; a cancel keeps the batches
// already done, which undo and redo then take back and give again.
TEST_F(NothingLost, CancelledRenderKeepsRenderedPagesAndUndoTakesThemBack) {
  PAGEMINT_NEEDS_THUMBNAIL_ACTIONS();
  const QString forty = Path("forty.pdf");
  WritePdf(forty, 40);
  TForm1& form = harness_.form();
  harness_.Open(forty);
  // The third batch is cancelled at its first report: a batch starts
  // where the fraction falls back from 1.
  auto report = form.PDFDoc().OnWorkProgress;
  auto batches = std::make_shared<int>(0);
  auto last = std::make_shared<double>(0);
  form.PDFDoc().OnWorkProgress = [report, batches, last](TgtCustomPDFDocument& document,
                                                         TgtWorkStep step, double fraction,
                                                         bool& cancel) {
    report(document, step, fraction, cancel);
    if (*last >= 1 && fraction < 1) ++*batches;
    *last = fraction;
    if (*batches >= 2) cancel = true;
  };
  form.Pages->ThumbSizeBox->setValue(32);
  harness_.Click(form.Pages->RenderAllButton);
  const auto rendered = [&form] {
    int count = 0;
    for (int page = 1; page <= 40; ++page)
      if (form.PDFDoc().Thumbnail(page).height == 32) ++count;
    return count;
  };
  EXPECT_EQ(rendered(), 16);
  EXPECT_EQ(harness_.Log().back(), "Rendering cancelled: 16 pages kept their rendered thumbnails");
  EXPECT_TRUE(form.HasUnsavedChanges());
  form.Undo();
  EXPECT_EQ(rendered(), 0);
  EXPECT_FALSE(form.HasUnsavedChanges());
  form.Redo();
  EXPECT_EQ(rendered(), 16);
  EXPECT_TRUE(harness_.prompts().errors.isEmpty()) << harness_.prompts().errors.join("\n");
}

// Undo gives back a thumbnail the file had; the result is what qpdf sees.
TEST_F(NothingLost, UndoRestoresRemovedAndReplacedThumbnails) {
  PAGEMINT_NEEDS_THUMBNAIL_ACTIONS();
  TForm1& form = harness_.form();
  form.CheckBox1->setChecked(false);
  harness_.Open(source_);
  harness_.ChoosePicture(bmp_);
  harness_.Add();
  harness_.ChooseDestination(Path("one.pdf"));
  harness_.Generate();
  harness_.Open(Path("one.pdf"));
  form.Pages->SelectPages({1});
  harness_.Click(form.Pages->RemoveSelectedButton);
  harness_.Activate();
  EXPECT_TRUE(form.PDFDoc().Thumbnail(1).Empty());
  QTest::keyClick(&form, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(form.PDFDoc().Thumbnail(1).width, 24);
  EXPECT_FALSE(form.HasUnsavedChanges());
  QTest::keyClick(&form, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_TRUE(form.PDFDoc().Thumbnail(1).Empty());
  form.Undo();
  const TgtThumbnailImage back = form.PDFDoc().Thumbnail(1, true);
  ASSERT_EQ(back.rgb.size(), 24u * 16 * 3);
  EXPECT_NEAR(static_cast<uint8_t>(back.rgb[0]), 40, 3);
  harness_.ChooseDestination(Path("two.pdf"));
  harness_.Generate();
  EXPECT_EQ(QpdfCheck(Path("two.pdf")), 0);
  EXPECT_EQ(
      QpdfView(Path("two.pdf")).Thumb(QpdfView(Path("two.pdf")).Pages()[0]).value("/Width").toInt(),
      24);
}

// Help opens in the window's own browser when the desktop has nothing for
// it; a generated file the desktop cannot open is reported in the log.
TEST_F(NothingLost, HelpAndOpeningWithoutADesktopHandler) {
  Harness h(2013, false);
  h.Activate();
  QTest::keyClick(&h.form(), Qt::Key_F1);
  ASSERT_NE(h.form().HelpWindow(), nullptr);
  EXPECT_TRUE(h.form().HelpWindow()->isVisible());
  EXPECT_TRUE(h.form().HelpWindow()->toPlainText().contains("pagemint-cli"));
  h.Open(source_);
  h.form().Edit4->setText(Path("shown.pdf"));
  h.Generate();
  EXPECT_EQ(h.Log().back(),
            Path("shown.pdf") + " was written, but no application on this desktop opens it");
}

TEST(PageRange, TypedRangesAndTheirMistakes) {
  const struct {
    const char* text;
    int32_t count;
    std::vector<int32_t> pages;  // empty: refused
  } cases[] = {
      {"1-3,5", 6, {1, 2, 3, 5}},
      {" 5 - , 1 ", 6, {1, 5, 6}},
      {"-2", 6, {1, 2}},
      {"3,3,2-3", 6, {2, 3}},
      {"6", 6, {6}},
      {"7", 6, {}},
      {"0", 6, {}},
      {"4-2", 6, {}},
      {"1-99999999999", 6, {}},
      {"a", 6, {}},
      {"1--2", 6, {}},
      {"", 6, {}},
      {"1-", 0, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<int32_t> pages;
    QString error;
    EXPECT_EQ(ParsePageRange(c.text, c.count, pages, error), !c.pages.empty());
    EXPECT_EQ(pages, c.pages);
    EXPECT_EQ(error.isEmpty(), !c.pages.empty());
  }
}

}  // namespace
}  // namespace pagemint::testing
