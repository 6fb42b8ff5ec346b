// SPDX-License-Identifier: GPL-3.0-or-later
// The window as built: controls, texts, geometry, tab order, fonts, the
// component's and the dialogs' settings, the footer year and the fixed
// size.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QFontInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QListView>
#include <QRegularExpression>
#include <QScreen>
#include <QSpinBox>
#include <QToolButton>

#include "app/application.h"
#include "app/pages_panel.h"
#include "app_test_support.h"
#include "pdf/security/encryption_settings.h"

namespace pagemint::testing {
namespace {

struct ControlCase {
  const char* name;
  const char* class_name;
  const char* parent;
  const char* text;
  QRect geometry;
};

QString TextOf(QWidget* widget) {
  if (auto* box = qobject_cast<QGroupBox*>(widget)) return box->title();
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text();
  if (auto* memo = qobject_cast<QPlainTextEdit*>(widget)) return memo->toPlainText();
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
  return QString();
}

TEST(Form1Layout, EveryControlHasItsNameParentTextAndGeometry) {
  const ControlCase cases[] = {
      {"GroupBox2", "QGroupBox", "Form1", "Source PDF", {32, 24, 481, 97}},
      {"Label1", "QLabel", "GroupBox2", "PDF &File:", {25, 36, 43, 13}},
      {"Edit1", "QLineEdit", "GroupBox2", "", {88, 32, 353, 21}},
      {"Button5", "QPushButton", "GroupBox2", "&Open...", {363, 64, 75, 25}},
      {"RecentButton", "QToolButton", "GroupBox2", "", {441, 64, 22, 25}},
      {"GroupBox1", "QGroupBox", "Form1", "Thumbnail", {32, 127, 481, 129}},
      {"Label2", "QLabel", "GroupBox1", "&Thumbnail:", {25, 20, 52, 13}},
      {"Edit2", "QLineEdit", "GroupBox1", "", {88, 16, 325, 21}},
      {"Button6", "QPushButton", "GroupBox1", "...", {416, 14, 25, 25}},
      {"Label3", "QLabel", "GroupBox1", "Page &No.:", {25, 56, 48, 13}},
      {"Edit3", "QLineEdit", "GroupBox1", "1", {88, 51, 81, 21}},
      {"Button1", "QPushButton", "GroupBox1", "&Add", {67, 92, 75, 25}},
      {"Memo1", "QPlainTextEdit", "GroupBox1", "", {192, 48, 249, 73}},
      {"GroupBox3", "QGroupBox", "Form1", "Destination PDF", {32, 262, 481, 117}},
      {"Label4", "QLabel", "GroupBox3", "Sa&ve To:", {25, 32, 44, 13}},
      {"Edit4", "QLineEdit", "GroupBox3", "", {88, 27, 325, 21}},
      {"Button7", "QPushButton", "GroupBox3", "...", {416, 26, 25, 25}},
      {"CheckBox1",
       "QCheckBox",
       "GroupBox3",
       "Open the generated PDF file after saving",
       {8, 64, 241, 17}},
      {"CheckBox2",
       "QCheckBox",
       "GroupBox3",
       "Show thumbnails when PDF is opened",
       {264, 64, 209, 17}},
      {"CheckBox3",
       "QCheckBox",
       "GroupBox3",
       "Append changes (keeps signatures)",
       {8, 88, 241, 17}},
      {"Button2", "QPushButton", "Form1", "&Generate", {120, 397, 75, 25}},
      {"Button3", "QPushButton", "Form1", "&Help", {248, 397, 75, 25}},
      {"Button4", "QPushButton", "Form1", "E&xit", {368, 397, 75, 25}},
      {"Label5", "QLabel", "Form1", "Copyright (c) 2009-2013 Pagemint project", {53, 437, 445, 13}},
  };
  Harness harness;
  TForm1& form = harness.form();
  for (const ControlCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto* widget = form.findChild<QWidget*>(c.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_STREQ(widget->metaObject()->className(), c.class_name);
    EXPECT_EQ(widget->parentWidget()->objectName(), c.parent);
    EXPECT_EQ(TextOf(widget), QString::fromUtf8(c.text));
    if (qobject_cast<QLabel*>(widget) && widget != form.Label5) {
      // Labels grow to fit their text in a wider font, from the same place.
      EXPECT_EQ(widget->pos(), c.geometry.topLeft());
      EXPECT_EQ(widget->height(), c.geometry.height());
      EXPECT_GE(widget->width(), c.geometry.width());
      EXPECT_GE(widget->width(), widget->sizeHint().width());
    } else {
      EXPECT_EQ(widget->geometry(), c.geometry);
    }
  }
  EXPECT_EQ(form.windowTitle(), "Pagemint " PAGEMINT_VERSION);
  EXPECT_EQ(form.size(), QSize(549, 458));
  EXPECT_TRUE(form.CheckBox1->isChecked());
  // Nothing is open: appending has nothing to append to.
  EXPECT_FALSE(form.CheckBox3->isEnabled());
  EXPECT_TRUE(form.CheckBox2->isChecked());
  EXPECT_TRUE(form.Memo1->isReadOnly());
  EXPECT_EQ(form.Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

// The groups from top to bottom, the controls of each in reading order,
// then the buttons below them and the pages panel.
TEST(Form1Layout, TabOrderFollowsGroupsTopToBottom) {
  Harness harness;
  TForm1& form = harness.form();
  harness.Click(form.PagesButton);
  const std::vector<QWidget*> expected = {form.Edit1,
                                          form.Button5,
                                          form.RecentButton,
                                          form.PagesButton,
                                          form.Edit2,
                                          form.Button6,
                                          form.Edit3,
                                          form.Button1,
                                          form.Memo1,
                                          form.Edit4,
                                          form.Button7,
                                          form.CheckBox1,
                                          form.CheckBox2,
                                          form.Button2,
                                          form.Button3,
                                          form.Button4,
                                          form.Pages->PageList,
                                          form.Pages->RangeEdit,
                                          form.Pages->ThumbSizeBox};
  std::vector<QWidget*> order = {form.Edit1};
  for (QWidget* w = form.Edit1->nextInFocusChain(); w != form.Edit1 && order.size() < 60;
       w = w->nextInFocusChain()) {
    if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(&form) && w->isEnabled() &&
        std::find(expected.begin(), expected.end(), w) != expected.end())
      order.push_back(w);
  }
  EXPECT_EQ(order, expected);
}

TEST(Form1Layout, EveryControlDrawsWithTheFormFontAndTheFooterIsBold) {
  Harness harness;
  TForm1& form = harness.form();
  const QFont font = form.font();
  EXPECT_EQ(font.pointSize(), 8);
  EXPECT_TRUE(QStringList({"MS Sans Serif", "Microsoft Sans Serif", "Arial", "Liberation Sans",
                           "Nimbus Sans", "DejaVu Sans Condensed", "DejaVu Sans"})
                  .contains(font.family()))
      << font.family().toStdString();
  int checked = 0;
  for (QWidget* control : form.findChildren<QWidget*>(QRegularExpression("^[A-Z][a-zA-Z]+\\d$"))) {
    if (control == form.Label5) continue;
    ++checked;
    SCOPED_TRACE(control->objectName().toStdString());
    EXPECT_EQ(QFontInfo(control->font()).family(), QFontInfo(font).family());
    EXPECT_EQ(control->font().pointSize(), 8);
  }
  EXPECT_EQ(checked, 22);
  const QFont footer = form.Label5->font();
  EXPECT_TRUE(footer.bold());
  EXPECT_EQ(footer.pixelSize(), 12);
}

TEST(Form1Layout, ComponentAndDialogSettings) {
  Harness harness;
  TForm1& form = harness.form();
  TgtPDFDocument& doc = form.PDFDoc();
  EXPECT_FALSE(doc.OpenAfterSave());
  EXPECT_FALSE(doc.ShowSetupDialog());
  EXPECT_EQ(doc.PDFVersion(), pvPDF14);
  EXPECT_EQ(doc.PageMode(), pmNone);
  EXPECT_EQ(doc.Encryption().Level(), el40bit);
  EXPECT_TRUE((doc.MergeOptions() == TgtMergeOptions{moIncludeOutlines, moIncludeFormFields}));

  struct DialogCase {
    TFileDialog& dialog;
    const char* title;
    const char* filter;
    const char* default_ext;
    bool overwrite_prompt;
  };
  const DialogCase cases[] = {
      {form.OpenDialog1(), "Open a PDF file", "Adobe PDF files (*.pdf)|*.pdf", "pdf", false},
      {form.SaveDialog1(), "Save PDF", "Adobe PDF files (*.pdf)|*.pdf", "pdf", true},
      // The original kinds first, as they were, then every other kind the
      // engine reads.
      {form.OpenPictureDialog1(), "Choose a thumbnail image",
       "All (*.bmp;*.jpg;*.jpeg;*.emf;*.ico;*.cur;*.dib;*.png;*.gif;*.tif;*.tiff;*.webp)|"
       "*.jpg;*.jpeg;*.bmp;*.emf;*.ico;*.cur;*.dib;*.png;*.gif;*.tif;*.tiff;*.webp|"
       "Bitmaps (*.bmp)|*.bmp|JPEG Image File (*.jpg)|*.jpg|JPEG Image File (*.jpeg)|*.jpeg|"
       "Enhanced Metafiles (*.emf)|*.emf|Icons and cursors (*.ico;*.cur)|*.ico;*.cur|"
       "Device-independent bitmaps (*.dib)|*.dib|PNG images (*.png)|*.png|"
       "GIF images (*.gif)|*.gif|TIFF images (*.tif;*.tiff)|*.tif;*.tiff|"
       "WebP images (*.webp)|*.webp|All files (*)|*",
       "", false},
  };
  for (const DialogCase& c : cases) {
    SCOPED_TRACE(c.title);
    EXPECT_EQ(c.dialog.Title(), c.title);
    EXPECT_EQ(c.dialog.Filter(), c.filter);
    EXPECT_EQ(c.dialog.DefaultExt(), c.default_ext);
    EXPECT_EQ(c.dialog.OverwritePrompt(), c.overwrite_prompt);
    EXPECT_FALSE(c.dialog.FileMustExist());
    EXPECT_TRUE(c.dialog.FileName().isEmpty());
  }
}

TEST(Form1Layout, FooterYearFollowsTheClock) {
  const struct {
    int year;
    const char* text;
  } cases[] = {
      {2012, "Copyright (c) 2009-2013 Pagemint project"},
      {2013, "Copyright (c) 2009-2013 Pagemint project"},
      {2031, "Copyright (c) 2009-2031 Pagemint project"},
  };
  for (const auto& c : cases) {
    Harness harness(c.year);
    EXPECT_EQ(harness.form().Label5->text(), c.text) << c.year;
  }
}

// The window grows: the original controls keep their places and the pages
// panel takes the room beyond them; it never gets smaller than they need.
TEST(Form1Layout, ResizingGivesTheRoomToThePagesPanel) {
  Harness harness;
  TForm1& form = harness.form();
  const QRect open_button = form.Button5->geometry();
  const QRect generate = form.Button2->geometry();
  form.resize(1000, 700);
  QTest::qWait(10);
  EXPECT_EQ(form.size(), QSize(1000, 700));
  EXPECT_TRUE(form.Pages->isVisible());
  EXPECT_EQ(form.Pages->geometry().right(), 1000 - 13);
  EXPECT_EQ(form.Pages->geometry().bottom(), 700 - 13);
  EXPECT_FALSE(form.Pages->geometry().intersects(form.GroupBox2->geometry()));
  EXPECT_EQ(form.Button5->geometry(), open_button);
  EXPECT_EQ(form.Button2->geometry(), generate);
  form.setGeometry(10, 10, 300, 200);
  EXPECT_GE(form.width(), 549);
  EXPECT_GE(form.height(), 458);
  int width = 1000;
  int height = 20;
  EXPECT_TRUE(form.FormCanResize(width, height));
  EXPECT_EQ(QSize(width, height), QSize(1000, 458));
}

TEST(Form1Layout, StartsCentredWithTheFirstControlInTabOrderFocused) {
  Harness harness;
  TForm1& form = harness.form();
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  // A few pixels off at most: the frame, where there is one, is centred.
  EXPECT_LE((form.geometry().center() - area.center()).manhattanLength(), 8)
      << form.geometry().x() << "," << form.geometry().y();
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  EXPECT_EQ(QApplication::focusWidget(), form.Edit1);
}

// Help and the footer open the help page shipped beside the program,
// through the shell; no web address is left.
TEST(Form1Layout, HelpFooterAndExitGoThroughTheShellAndClose) {
  Harness harness;
  harness.Click(harness.form().Button3);
  harness.Click(harness.form().Label5);
  const std::string help = HelpPagePath().toStdString();
  EXPECT_EQ(harness.opened(), (std::vector<std::string>{help, help}));
  EXPECT_TRUE(harness.prompts().messages.isEmpty()) << harness.prompts().messages.join("\n");
  QFile page(HelpPagePath());
  ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << help;
  const QByteArray text = page.readAll();
  for (const char* part : {"<title>Pagemint help</title>", "pagemint-cli", "password", "Evince"})
    EXPECT_TRUE(text.contains(part)) << part;
  EXPECT_FALSE(text.contains("example.org"));
  harness.Click(harness.form().Button4);
  EXPECT_FALSE(harness.form().isVisible());
}

// "Pages >>" widens the window by the pages panel and "Pages <<" takes it
// back; the original controls keep their places.
TEST(Form1Layout, PagesPanelGrowsTheWindowAndBack) {
  Harness harness;
  TForm1& form = harness.form();
  const QRect open_button = form.Button5->geometry();
  harness.Click(form.PagesButton);
  EXPECT_TRUE(form.Pages->isVisible());
  EXPECT_GT(form.width(), 549 + 200);
  EXPECT_TRUE(QRect(QPoint(0, 0), form.size()).contains(form.Pages->geometry()));
  EXPECT_FALSE(form.Pages->geometry().intersects(form.GroupBox1->geometry()));
  EXPECT_EQ(form.Button5->geometry(), open_button);
  harness.Click(form.PagesButton);
  EXPECT_FALSE(form.Pages->isVisible());
  EXPECT_EQ(form.width(), 549);
}
}  // namespace
}  // namespace pagemint::testing
