// SPDX-License-Identifier: GPL-3.0-or-later
// The real-world corpus's manifest (MANIFEST.tsv beside the files): one
// row per file, its cells by column name ("path", "kind", "pages",
// "user_password", "expect", "width", ...). Every corpus test reads it here.
#pragma once

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace pagemint::corpus {

inline std::string Dir() { return PAGEMINT_CORPUS_DIR; }

class Row {
 public:
  explicit Row(std::map<std::string, std::string> cells) : cells_(std::move(cells)) {}
  // The cell of column, empty when the row or the manifest has none.
  const std::string& operator[](const std::string& column) const {
    static const std::string kEmpty;
    const auto it = cells_.find(column);
    return it == cells_.end() ? kEmpty : it->second;
  }
  int Number(const std::string& column) const { return std::atoi((*this)[column].c_str()); }
  // A password cell: "?" (unknown) reads as empty.
  std::string Password(const std::string& column) const {
    const std::string& text = (*this)[column];
    return text == "?" ? std::string() : text;
  }
  std::string File() const { return Dir() + "/" + (*this)["path"]; }

 private:
  std::map<std::string, std::string> cells_;
};

// The rows whose kind is one of kinds (all rows when kinds is empty); no
// rows when there is no corpus.
inline std::vector<Row> Rows(const std::vector<std::string>& kinds = {}) {
  std::ifstream in(Dir() + "/MANIFEST.tsv");
  const auto split = [](const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream stream(line);
    for (std::string field; std::getline(stream, field, '\t');) fields.push_back(field);
    return fields;
  };
  std::string line;
  std::getline(in, line);
  const std::vector<std::string> names = split(line);
  std::vector<Row> rows;
  while (std::getline(in, line)) {
    const std::vector<std::string> fields = split(line);
    std::map<std::string, std::string> cells;
    for (size_t i = 0; i < names.size() && i < fields.size(); ++i) cells[names[i]] = fields[i];
    Row row(std::move(cells));
    bool wanted = kinds.empty();
    for (const std::string& kind : kinds) wanted |= row["kind"] == kind;
    if (wanted) rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace pagemint::corpus
