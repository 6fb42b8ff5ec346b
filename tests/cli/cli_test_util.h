// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the pagemint-cli program (PAGEMINT_CLI) and the qpdf oracle, and
// makes the little files the command-line tests need.
#pragma once

#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "pdf/reader/pdf_test_builder.h"

namespace pagemint::testing {

struct CliResult {
  int status = -1;  // the exit status; -1 when the program did not exit normally
  std::string out;
  std::string err;
};

// Runs the program with args and no input (so it never waits for a
// password), collecting both output streams.
inline CliResult RunCli(const std::vector<std::string>& args) {
  const TempDir capture;
  const std::string out = capture.File("stdout");
  const std::string err = capture.File("stderr");
  std::string command = ShellQuote(PAGEMINT_CLI);
  for (const std::string& arg : args) command += " " + ShellQuote(arg);
  command += " </dev/null >" + ShellQuote(out) + " 2>" + ShellQuote(err);
  const int raw = std::system(command.c_str());
  CliResult result;
  result.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = ReadFile(out);
  result.err = ReadFile(err);
  return result;
}

struct QpdfCheck {
  bool clean = false;  // exit status 0: no error and no warning
  std::string log;
};

// qpdf --check; password is given to qpdf when not empty.
inline QpdfCheck CheckWithQpdf(const std::string& file, const std::string& password = "") {
  int status = 0;
  const std::string option = password.empty() ? "" : " --password=" + ShellQuote(password);
  QpdfCheck check;
  check.log = RunCommand("qpdf --check" + option + " " + ShellQuote(file) + " 2>&1", &status);
  check.clean = status == 0 && check.log.find("WARNING") == std::string::npos;
  return check;
}

// One object as qpdf shows it, with the file's streams decoded.
inline std::string QpdfObject(const std::string& file, const std::string& object,
                              const std::string& password = "") {
  const std::string option = password.empty() ? "" : " --password=" + ShellQuote(password);
  return RunCommand("qpdf" + option + " --show-object=" + object + " " + ShellQuote(file) +
                    " 2>&1");
}

// A 24-bit Windows bitmap, bottom-up, of pixels given top row first as
// 0xRRGGBB.
inline std::string BitmapFile(int width, int height, const std::vector<uint32_t>& pixels) {
  const int row = (width * 3 + 3) / 4 * 4;
  std::string bytes;
  auto put = [&bytes](uint32_t value, int size) {
    for (int i = 0; i < size; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
  };
  bytes += "BM";
  put(static_cast<uint32_t>(54 + row * height), 4);
  put(0, 4);
  put(54, 4);
  put(40, 4);
  put(static_cast<uint32_t>(width), 4);
  put(static_cast<uint32_t>(height), 4);
  put(1, 2);
  put(24, 2);
  for (int i = 0; i < 6; ++i) put(0, 4);
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t rgb = pixels[static_cast<size_t>(y * width + x)];
      bytes += static_cast<char>(rgb & 0xFF);
      bytes += static_cast<char>((rgb >> 8) & 0xFF);
      bytes += static_cast<char>((rgb >> 16) & 0xFF);
    }
    bytes.append(static_cast<size_t>(row - width * 3), '\0');
  }
  return bytes;
}

// An enhanced metafile of one rectangle, its frame 24 pixels square at
// 96 pixels per inch.
inline std::string MetafileFile() {
  std::string records;
  auto put = [](std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
  };
  put(records, 43);  // EMR_RECTANGLE
  put(records, 24);
  for (const uint32_t v : {2u, 2u, 20u, 20u}) put(records, v);
  put(records, 14);  // EMR_EOF
  put(records, 20);
  for (int i = 0; i < 3; ++i) put(records, 0);
  std::string header;
  put(header, 1);  // EMR_HEADER
  put(header, 88);
  for (int i = 0; i < 4; ++i) put(header, i < 2 ? 0 : 24);   // bounds
  for (int i = 0; i < 4; ++i) put(header, i < 2 ? 0 : 635);  // frame, 0.01 mm
  put(header, 0x464D4520);                                   // " EMF"
  put(header, 0x10000);
  put(header, static_cast<uint32_t>(88 + records.size()));
  put(header, 3);  // records
  put(header, 1);  // handles
  put(header, 0);
  put(header, 0);
  put(header, 0);
  for (const uint32_t v : {960u, 960u, 254u, 254u}) put(header, v);
  return header + records;
}

// Four pages sharing one content stream (object 3), pages 1 and 3 with the
// same 1 x 1 red thumbnail (object 8); catalog_entries go into the
// catalog, media_box is the page tree's.
inline std::string FourPagesWithThumbs(PdfBuilder b, const std::string& catalog_entries,
                                       const std::string& media_box, const std::string& content) {
  b.Add(1, "<< /Type /Catalog /Pages 2 0 R" + catalog_entries + " >>");
  b.Add(2, "<< /Type /Pages /Kids [4 0 R 5 0 R 6 0 R 7 0 R] /Count 4 /MediaBox " + media_box +
               " >>");
  b.AddStream(3, "", content);
  b.Add(4, "<< /Type /Page /Parent 2 0 R /Contents 3 0 R /Thumb 8 0 R >>");
  b.Add(5, "<< /Type /Page /Parent 2 0 R /Contents 3 0 R >>");
  b.Add(6, "<< /Type /Page /Parent 2 0 R /Contents 3 0 R /Thumb 8 0 R >>");
  b.Add(7, "<< /Type /Page /Parent 2 0 R /Contents 3 0 R >>");
  b.AddStream(8, "/Width 1 /Height 1 /ColorSpace /DeviceRGB /BitsPerComponent 8",
              std::string("\xFF\x00\x00", 3));
  return b.Build();
}

}  // namespace pagemint::testing
