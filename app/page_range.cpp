// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/page_range.h"

#include <QStringList>
#include <algorithm>

namespace pagemint {

namespace {

// A page number of the range: digits only, within 1 to page_count.
bool PageNumber(const QString& text, int32_t page_count, int32_t& page) {
  if (text.isEmpty() || text.size() > 10) return false;
  for (const QChar c : text)
    if (c < u'0' || c > u'9') return false;
  const qint64 value = text.toLongLong();
  if (value < 1 || value > page_count) return false;
  page = static_cast<int32_t>(value);
  return true;
}

}  // namespace

bool ParsePageRange(const QString& text, int32_t page_count, std::vector<int32_t>& pages,
                    QString& error) {
  pages.clear();
  // Marks per page rather than a list of every range's pages, so that
  // "1-100000,1-100000" costs one pass.
  std::vector<bool> chosen(static_cast<size_t>(std::max(page_count, 0)) + 1, false);
  const QStringList parts = text.split(u',');
  for (const QString& raw : parts) {
    const QString part = raw.trimmed();
    if (part.isEmpty()) continue;
    const qsizetype dash = part.indexOf(u'-');
    int32_t first = 0;
    int32_t last = 0;
    bool ok = false;
    if (dash < 0) {
      ok = PageNumber(part, page_count, first);
      last = first;
    } else {
      const QString from = part.left(dash).trimmed();
      const QString to = part.mid(dash + 1).trimmed();
      ok = (from.isEmpty() ? (first = 1, page_count >= 1) : PageNumber(from, page_count, first)) &&
           (to.isEmpty() ? (last = page_count, page_count >= 1)
                         : PageNumber(to, page_count, last)) &&
           first <= last;
    }
    if (!ok) {
      error = QStringLiteral("\"%1\" is not a page range of this document (pages 1 to %2)")
                  .arg(part)
                  .arg(page_count);
      return false;
    }
    for (int32_t page = first; page <= last; ++page) chosen[static_cast<size_t>(page)] = true;
  }
  for (int32_t page = 1; page <= page_count; ++page)
    if (chosen[static_cast<size_t>(page)]) pages.push_back(page);
  if (pages.empty()) {
    error = QStringLiteral("No pages are named; type pages as 1-5,8,10-");
    return false;
  }
  return true;
}

}  // namespace pagemint
