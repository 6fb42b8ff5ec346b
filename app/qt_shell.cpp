#include "app/qt_shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QString>
#include <QUrl>

namespace pagemint {

namespace {

class QtShell final : public Shell {
 public:
  void Open(const std::string& target) override {
    const QString text = QString::fromStdString(target);
    // A web address has a scheme; anything else is a file name, which
    // QUrl would otherwise misread when it holds "#" or "?".
    const QUrl url = text.contains(QStringLiteral("://"))
                         ? QUrl(text)
                         : QUrl::fromLocalFile(QFileInfo(text).absoluteFilePath());
    QDesktopServices::openUrl(url);
  }
};

}  // namespace

std::unique_ptr<Shell> MakeQtShell() { return std::make_unique<QtShell>(); }

}  // namespace pagemint
