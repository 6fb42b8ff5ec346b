// SPDX-License-Identifier: GPL-3.0-or-later
// What a run of many files reports: one outcome per file, written as one
// JSON object a line (--report), and the counts behind the summary line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pagemint::cli {

enum class TFileStatus : uint8_t { Written, Unchanged, Skipped, Failed };

struct TFileOutcome {
  std::string source;
  std::string destination;
  TFileStatus status = TFileStatus::Failed;
  // Why a file failed or was skipped; empty otherwise.
  std::string reason;
  std::optional<int32_t> pages;  // once the file is open
  // Pages whose thumbnail is new (or replaced), gone, or left as it was.
  int32_t thumbnails_added = 0;
  int32_t thumbnails_removed = 0;
  int32_t thumbnails_kept = 0;
  std::optional<uintmax_t> bytes_before;
  std::optional<uintmax_t> bytes_after;
  double seconds = 0;
  std::vector<std::string> warnings;
};

const char* StatusName(TFileStatus status);

// The outcome as one line of JSON, without the newline. Text that is not
// UTF-8 (file names are bytes) has its stray bytes replaced by U+FFFD, so
// the line is always valid JSON.
std::string ReportLine(const TFileOutcome& outcome);

// seconds with the given number of decimals, always with ".".
std::string SecondsText(double seconds, int decimals);

}  // namespace pagemint::cli
