// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/file_dialog.h"

#include <QFileInfo>

namespace pagemint {

QStringList QtNameFilters(const QString& filter) {
  const QStringList parts = filter.split(u'|');
  QStringList result;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString description = parts[i];
    // The description usually names its patterns in parentheses already;
    // Qt reads the patterns from there, so they are replaced by the pair's
    // own patterns written the way Qt splits them (by spaces).
    const qsizetype open = description.lastIndexOf(u'(');
    if (open >= 0 && description.endsWith(u')')) description.truncate(open);
    const QString patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts).join(u' ');
    result << description.trimmed() + QStringLiteral(" (") + patterns + u')';
  }
  return result;
}

QString WithDefaultExt(const QString& file_name, const QString& default_ext) {
  if (file_name.isEmpty() || default_ext.isEmpty()) return file_name;
  if (QFileInfo(file_name).fileName().contains(u'.')) return file_name;
  return file_name + u'.' + default_ext;
}

}  // namespace pagemint
