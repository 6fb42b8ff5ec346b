// SPDX-License-Identifier: GPL-3.0-or-later
// Builds small PDF files in memory for the reader and document tests:
// numbered objects, a classic cross-reference table (with a choice of
// entry line ends), incremental updates, and qpdf runs over temp files.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace pagemint::testing {

class PdfBuilder {
 public:
  explicit PdfBuilder(std::string header = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n")
      : header_(std::move(header)) {}

  // body is the object's content: "<< /Type /Catalog /Pages 2 0 R >>".
  PdfBuilder& Add(int number, const std::string& body, int generation = 0) {
    objects_[number] = {generation, body};
    return *this;
  }
  // A stream object with a direct /Length; dict_entries go inside << >>.
  PdfBuilder& AddStream(int number, const std::string& dict_entries, const std::string& data) {
    return Add(number, "<< " + dict_entries + " /Length " + std::to_string(data.size()) +
                           " >>\nstream\n" + data + "\nendstream");
  }

  // The whole file: header, objects, one classic table from object 0 and
  // the trailer. entry_end is what follows each entry's type letter:
  // " \n" or "\r\n" give 20-byte entries, "\n" 19 and " \r\n" 21.
  std::string Build(const std::string& trailer_entries = "/Root 1 0 R",
                    const std::string& entry_end = "\r\n") const {
    std::string out = header_;
    std::map<int, long> offsets;
    AppendObjects(out, offsets);
    const int size = objects_.empty() ? 1 : objects_.rbegin()->first + 1;
    const long xref = static_cast<long>(out.size());
    out += "xref\n0 " + std::to_string(size) + "\n";
    for (int n = 0; n < size; ++n) {
      const auto it = offsets.find(n);
      out += Entry(it == offsets.end() ? 0 : it->second, n == 0 ? 65535 : 0,
                   it == offsets.end() ? 'f' : 'n', entry_end);
    }
    out += "trailer\n<< /Size " + std::to_string(size) + " " + trailer_entries + " >>\n";
    out += "startxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return out;
  }

  // Appends this builder's objects to base as an incremental update whose
  // trailer has /Prev pointing at base's last section.
  std::string BuildUpdate(const std::string& base, const std::string& trailer_entries) const {
    std::string out = base;
    std::map<int, long> offsets;
    AppendObjects(out, offsets);
    const long xref = static_cast<long>(out.size());
    out += "xref\n";
    for (const auto& [number, offset] : offsets) {
      out += std::to_string(number) + " 1\n";
      out += Entry(offset, 0, 'n', "\r\n");
    }
    out += "trailer\n<< /Size " + std::to_string(objects_.rbegin()->first + 1) + " /Prev " +
           std::to_string(StartXRef(base)) + " " + trailer_entries + " >>\n";
    out += "startxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return out;
  }

  // The whole file with a cross-reference stream (object max + 1, no
  // filter, /W [1 4 2]) instead of a classic table.
  std::string BuildWithXRefStream(const std::string& trailer_entries = "/Root 1 0 R") const {
    std::string out = header_;
    std::map<int, long> offsets;
    AppendObjects(out, offsets);
    const int self = objects_.empty() ? 1 : objects_.rbegin()->first + 1;
    offsets[self] = static_cast<long>(out.size());
    std::string data;
    for (int n = 0; n <= self; ++n) {
      const auto it = offsets.find(n);
      const long value = it == offsets.end() ? 0 : it->second;
      data += static_cast<char>(it == offsets.end() ? 0 : 1);
      for (int shift = 24; shift >= 0; shift -= 8)
        data += static_cast<char>((value >> shift) & 0xFF);
      data += std::string(2, '\0');
    }
    out += std::to_string(self) + " 0 obj\n<< /Type /XRef /Size " + std::to_string(self + 1) +
           " /W [1 4 2] " + trailer_entries + " /Length " + std::to_string(data.size()) +
           " >>\nstream\n" + data + "\nendstream\nendobj\n";
    out += "startxref\n" + std::to_string(offsets[self]) + "\n%%EOF\n";
    return out;
  }

  static long StartXRef(const std::string& file) {
    const size_t at = file.rfind("startxref");
    return std::stol(file.substr(at + 9));
  }

  static std::string Entry(long offset, int generation, char type, const std::string& end) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%010ld %05d %c", offset, generation, type);
    return buffer + end;
  }

 private:
  struct Object {
    int generation;
    std::string body;
  };

  void AppendObjects(std::string& out, std::map<int, long>& offsets) const {
    for (const auto& [number, object] : objects_) {
      offsets[number] = static_cast<long>(out.size());
      out += std::to_string(number) + " " + std::to_string(object.generation) + " obj\n" +
             object.body + "\nendobj\n";
    }
  }

  std::string header_;
  std::map<int, Object> objects_;
};

// A document of n pages under one /Pages node: catalog 1, page tree 2,
// pages 3.. with one shared content stream.
inline PdfBuilder SimpleDocument(int pages, const std::string& catalog_extra = "") {
  PdfBuilder builder;
  builder.Add(1, "<< /Type /Catalog /Pages 2 0 R " + catalog_extra + " >>");
  std::string kids;
  for (int i = 0; i < pages; ++i) kids += std::to_string(4 + i) + " 0 R ";
  builder.Add(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) +
                     " /MediaBox [0 0 612 792] >>");
  builder.AddStream(3, "", "BT /F1 12 Tf 72 720 Td (Hello) Tj ET");
  for (int i = 0; i < pages; ++i)
    builder.Add(4 + i, "<< /Type /Page /Parent 2 0 R /Contents 3 0 R >>");
  return builder;
}

// A scratch directory for one test, removed with the object.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/pagemint-reader-XXXXXX";
    path_ = ::mkdtemp(pattern);
  }
  ~TempDir() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(File(name), std::ios::binary) << bytes;
    return File(name);
  }

 private:
  std::filesystem::path path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// Runs a shell command; its standard output, and the exit status in status.
inline std::string RunCommand(const std::string& command, int* status = nullptr) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return output;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  const int rc = ::pclose(pipe);
  if (status) *status = rc;
  return output;
}

// text quoted for a POSIX shell.
inline std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// qpdf --check's complaints about file (opened with password), or empty
// when it finds nothing at all, not even a warning.
inline std::string QpdfCheckProblems(const std::string& file, const std::string& password = "") {
  int status = 0;
  const std::string option = password.empty() ? "" : " --password=" + ShellQuote(password);
  const std::string output =
      RunCommand("qpdf --check" + option + " " + ShellQuote(file) + " 2>&1", &status);
  if (status == 0 && output.find("WARNING") == std::string::npos &&
      output.find("No syntax or stream encoding errors found") != std::string::npos)
    return {};
  return output.empty() ? "qpdf failed to run" : output;
}

}  // namespace pagemint::testing
