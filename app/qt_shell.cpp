// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/qt_shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QUrl>

namespace pagemint {

namespace {

// How long the desktop's file-type database may take to answer.
constexpr int kMimeQueryMs = 3000;

// On a desktop that uses the freedesktop launcher, whether it has an
// application for files of this kind; true when that cannot be told (the
// launcher then reports for itself).
bool DesktopHasHandler(const QString& file) {
  const QString launcher = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
  const QString query = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
  // Without a launcher Qt finds nothing to start the file with either.
  if (launcher.isEmpty()) return false;
#endif
  if (query.isEmpty()) return true;
  const QString type = QMimeDatabase().mimeTypeForFile(file).name();
  QProcess process;
  process.start(query, {QStringLiteral("query"), QStringLiteral("default"), type});
  if (!process.waitForFinished(kMimeQueryMs)) {
    process.kill();
    process.waitForFinished(kMimeQueryMs);
    return true;
  }
  return !process.readAllStandardOutput().trimmed().isEmpty();
}

class QtShell final : public WindowShell {
 public:
  bool TryOpen(const std::string& target) override {
    const QString text = QString::fromStdString(target);
    // A web address has a scheme; anything else is a file name, which
    // QUrl would otherwise misread when it holds "#" or "?".
    if (text.contains(QStringLiteral("://"))) return QDesktopServices::openUrl(QUrl(text));
    const QString file = QFileInfo(text).absoluteFilePath();
    if (!DesktopHasHandler(file)) return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(file));
  }
};

}  // namespace

std::unique_ptr<WindowShell> MakeQtShell() { return std::make_unique<QtShell>(); }

}  // namespace pagemint
