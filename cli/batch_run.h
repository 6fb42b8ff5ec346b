// SPDX-License-Identifier: GPL-3.0-or-later
// Runs of many files (--in-place, --output-dir): the file list, where each
// file goes, which files are already done, files worked on side by side,
// and the report. What is done to one file is the caller's (TFileEditor).
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/report.h"

namespace pagemint::cli {

// One file as the run hands it over.
struct TBatchItem {
  std::string source;
  std::string target;  // empty: written in place
  int32_t page_jobs = 1;
  // In place with --skip-existing: a file whose every page has a
  // thumbnail is left alone (the editor sets status Skipped).
  bool skip_complete = false;
};

// Opens, edits and saves one file. Fills destination, pages, the
// thumbnail counts, warnings and status (Written, Unchanged or Skipped);
// raises for a file that fails. err takes that file's messages; it is
// written out whole when the file is done, so the messages of files worked
// on side by side never mix. May be called from several threads at once.
using TFileEditor =
    std::function<void(const TBatchItem& item, TFileOutcome& outcome, std::ostream& err)>;

// The file names in list ("-": standard input), one a line or NUL-separated.
// Empty names are passed over. Raises EFileError when the list cannot be read.
std::vector<std::string> ReadFileList(const std::string& list, bool null_separated);

// How many files are worked on at once and how many render workers each
// gets: jobs (0: one per core) in all, never more files than there are.
struct TJobSplit {
  int32_t files = 1;
  int32_t pages_per_file = 1;
};
TJobSplit SplitJobs(int32_t jobs, size_t file_count);

// Runs options.sources and the files of options.files_from through edit;
// returns the exit status (1 when any file failed). A file that fails is
// reported and the others go on.
int RunBatch(const TCliOptions& options, std::ostream& out, std::ostream& err,
             const TFileEditor& edit);

}  // namespace pagemint::cli
