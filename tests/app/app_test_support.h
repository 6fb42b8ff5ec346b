// SPDX-License-Identifier: GPL-3.0-or-later
// Shared pieces of the window tests: the application object, the window
// with scripted prompts and a recording shell, and fixtures made on the
// spot (PDF files, pictures, qpdf's view of a written file).
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QString>
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <cstdio>
#include <fstream>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/form1.h"
#include "app/qt_shell.h"
#include "app/scripted_prompts.h"
#include "platform/services.h"

// Texts in failure messages and expectations print as text.
inline std::ostream& operator<<(std::ostream& out, const QString& text) {
  return out << '"' << text.toStdString() << '"';
}

namespace pagemint::testing {

// One application object for the whole program, never destroyed: widgets
// may only exist while it does.
inline QApplication& TestApplication() {
  static int argc = 1;
  static char name[] = "test_app";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication* application = new QApplication(argc, argv);
  return *application;
}

// Records what the window asked the desktop to open; opens is false for a
// desktop without an application for it.
class RecordingShell final : public WindowShell {
 public:
  explicit RecordingShell(std::vector<std::string>& opened, bool opens = true)
      : opened_(opened), opens_(opens) {}
  bool TryOpen(const std::string& target) override {
    opened_.push_back(target);
    return opens_;
  }

 private:
  std::vector<std::string>& opened_;
  bool opens_;
};

class FixedClock final : public Clock {
 public:
  explicit FixedClock(int year) : year_(year) {}
  int CurrentYear() const override { return year_; }
  int64_t Now() const override { return 1700000000; }

 private:
  int year_;
};

// The window driven by clicks, with every prompt answered from a list.
class Harness {
 public:
  explicit Harness(int year = 2013, bool desktop_opens = true) {
    TestApplication();
    auto prompts = std::make_unique<ScriptedPrompts>();
    prompts_ = prompts.get();
    form_ = std::make_unique<TForm1>(TForm1::Services{
        std::move(prompts), std::make_unique<RecordingShell>(opened_, desktop_opens),
        std::make_unique<FixedClock>(year)});
    form_->show();
  }

  TForm1& form() { return *form_; }
  ScriptedPrompts& prompts() { return *prompts_; }
  const std::vector<std::string>& opened() const { return opened_; }

  // Clicks and waits until the work the click started (opening, rendering,
  // generating on the worker) has ended and its result was shown.
  void Click(QWidget* control) {
    QTest::mouseClick(control, Qt::LeftButton);
    WaitIdle();
  }
  void WaitIdle() {
    for (int i = 0; i < 6000 && form_->IsBusy(); ++i) QTest::qWait(10);
    if (form_->IsBusy()) throw std::runtime_error("the window is still busy after 60 s");
  }
  void Open(const QString& file) {
    prompts_->file_answers.push_back(file);
    Click(form_->Button5);
  }
  void ChoosePicture(const QString& file) {
    prompts_->file_answers.push_back(file);
    Click(form_->Button6);
  }
  void ChooseDestination(const QString& file) {
    prompts_->file_answers.push_back(file);
    Click(form_->Button7);
  }
  void SetPage(const QString& text) { form_->Edit3->setText(text); }
  void Add() { Click(form_->Button1); }
  void Generate() { Click(form_->Button2); }
  // The log's lines after the line each open writes ("Opened x.pdf: 3
  // pages"), which FullLog keeps.
  QStringList Log() const {
    QStringList lines = FullLog();
    if (!lines.isEmpty() && lines.first().startsWith("Opened ")) lines.removeFirst();
    return lines;
  }
  QStringList FullLog() const {
    const QString text = form_->Memo1->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(u'\n');
  }
  // Makes the window the active one, so its shortcuts take keys.
  void Activate() {
    form_->activateWindow();
    if (!QTest::qWaitForWindowActive(form_.get()))
      throw std::runtime_error("the window did not become active");
  }

 private:
  ScriptedPrompts* prompts_ = nullptr;
  std::vector<std::string> opened_;
  std::unique_ptr<TForm1> form_;
};

// A PDF of the given objects, numbered from 1, object 1 the catalog, with a
// classic cross-reference table.
inline void WritePdfObjects(const QString& path, const std::vector<std::string>& objects) {
  std::string out = "%PDF-1.4\n";
  std::vector<size_t> offsets;
  for (size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(out.size());
    out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const size_t xref = out.size();
  out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (size_t offset : offsets) {
    char entry[21];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
    out += entry;
  }
  out += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
         " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  std::ofstream(path.toStdString(), std::ios::binary) << out;
}

// A PDF of page_count empty pages with a classic cross-reference table.
inline void WritePdf(const QString& path, int page_count) {
  std::vector<std::string> objects;
  objects.push_back("<< /Type /Catalog /Pages 2 0 R >>");
  std::string kids;
  for (int i = 0; i < page_count; ++i) kids += std::to_string(3 + i) + " 0 R ";
  objects.push_back("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(page_count) +
                    " >>");
  for (int i = 0; i < page_count; ++i)
    objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 400] /Resources << >> >>");
  WritePdfObjects(path, objects);
}

// Whether the engine's thumbnail life cycle (pictures from files, render,
// remove, read back) is there yet; tests of the window's use of it skip
// until it is.
inline bool EngineHasThumbnailActions() {
  static const bool present = [] {
    QTemporaryDir dir;
    const QString pdf = dir.filePath("probe.pdf");
    const QString picture = dir.filePath("probe.bmp");
    WritePdf(pdf, 1);
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    image.save(picture, "BMP");
    TgtPDFDocument document;
    document.LoadFromFile(pdf.toStdString());
    try {
      document.SetThumbnailFromFile(1, picture.toStdString());
      document.RemoveThumbnail(1);
    } catch (const std::exception& e) {
      if (std::string(e.what()).find("not available yet") != std::string::npos) return false;
    }
    return true;
  }();
  return present;
}

#define PAGEMINT_NEEDS_THUMBNAIL_ACTIONS()               \
  if (!::pagemint::testing::EngineHasThumbnailActions()) \
  GTEST_SKIP() << "engine: thumbnail actions not there yet"

// Pictures written by Qt's own image writers, not by our toolkit.
inline void WritePicture(const QString& path, const char* format, int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(QColor(40, 120, 200));
  if (!image.save(path, format)) throw std::runtime_error("cannot write " + path.toStdString());
}

// A fixture with a temporary folder holding a three-page source and two
// pictures (a bitmap and a JPEG), and a window harness.
class WindowFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    source_ = Path("source.pdf");
    WritePdf(source_, 3);
    bmp_ = Path("cover.bmp");
    WritePicture(bmp_, "BMP", 24, 16);
    jpeg_ = Path("photo.jpg");
    WritePicture(jpeg_, "JPG", 40, 30);
  }

  QString Path(const QString& name) const { return dir_.filePath(name); }

  QTemporaryDir dir_;
  QString source_;
  QString bmp_;
  QString jpeg_;
  Harness harness_;
};

// Exit code of a program run to its end; output kept in *output if given.
inline int Run(const QString& program, const QStringList& arguments, QByteArray* output = nullptr) {
  QProcess process;
  process.start(program, arguments);
  process.waitForFinished(60000);
  if (output) *output = process.readAllStandardOutput();
  return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

inline int QpdfCheck(const QString& path, const QString& password = {}) {
  if (password.isEmpty()) return Run("qpdf", {"--check", path});
  return Run("qpdf", {"--check", "--password=" + password, path});
}

// Encrypts source with RC4 128 bits (qpdf's own writer).
inline int QpdfEncrypt(const QString& source, const QString& target, const QString& user,
                       const QString& owner) {
  return Run("qpdf", {"--allow-weak-crypto", "--encrypt", user, owner, "128", "--use-aes=n", "--",
                      source, target});
}

// qpdf's JSON view of a file: its objects by "obj:N G R" and the trailer.
class QpdfView {
 public:
  explicit QpdfView(const QString& path) {
    QByteArray json;
    Run("qpdf", {"--json", "--json-key=qpdf", path}, &json);
    objects_ = QJsonDocument::fromJson(json).object().value("qpdf").toArray().at(1).toObject();
  }

  QJsonObject Catalog() const {
    return Object(objects_.value("trailer").toObject().value("value").toObject().value("/Root"));
  }

  // The page dictionaries in document order.
  std::vector<QJsonObject> Pages() const {
    std::vector<QJsonObject> pages;
    CollectPages(Object(Catalog().value("/Pages")), pages, 0);
    return pages;
  }

  // The stream dictionary of the page's /Thumb, empty when it has none.
  QJsonObject Thumb(const QJsonObject& page) const {
    if (!page.contains("/Thumb")) return QJsonObject();
    return Object(page.value("/Thumb"));
  }

 private:
  QJsonObject Object(const QJsonValue& reference) const {
    const QJsonObject entry = objects_.value("obj:" + reference.toString()).toObject();
    if (entry.contains("stream")) return entry.value("stream").toObject().value("dict").toObject();
    return entry.value("value").toObject();
  }

  void CollectPages(const QJsonObject& node, std::vector<QJsonObject>& pages, int depth) const {
    if (depth > 32) return;
    if (node.value("/Type").toString() == "/Page") {
      pages.push_back(node);
      return;
    }
    for (const QJsonValue kid : node.value("/Kids").toArray())
      CollectPages(Object(kid), pages, depth + 1);
  }

  QJsonObject objects_;
};

}  // namespace pagemint::testing
