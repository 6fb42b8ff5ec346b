// SPDX-License-Identifier: GPL-3.0-or-later
// The command line of pagemint-cli, read into plain options.
//
//   pagemint-cli SOURCE DEST [OPTIONS]
//   pagemint-cli SOURCE --extract-thumbs DIR [OPTIONS]
//   pagemint-cli --in-place FILE... [OPTIONS]
//   pagemint-cli --output-dir DIR FILE... [OPTIONS]
//   pagemint-cli --info SOURCE [--password PW] [--verbose]
//   pagemint-cli --output-dir DIR [--keep-tree ROOT] --files-from LIST [--null] [OPTIONS]
//   pagemint-cli --help | --version
//
// OPTIONS: --password PW, --show-thumbs, --remove-thumbs[=PAGES],
// --render-thumbs[=PAGES], --thumb-size PX, --jobs N, --thumb-format F,
// --thumb-quality Q, --render-timeout S, --thumb PAGE=PICTURE,
// --extract-thumbs DIR, --incremental, --full-rewrite, --verbose; with
// --in-place or --output-dir also
// --files-from LIST, --null, --keep-tree ROOT, --report FILE, --skip-existing.
//
// Options may stand anywhere among the file names; "--" ends the options,
// so a file name may start with "-". Values follow as the next argument or
// after "=" (--password=PW, --thumb=2=cover.jpg); PAGES only after "=", as
// the next argument could be a file. Everything that can be checked without
// opening a file is checked here, so a bad command line never reads or
// writes anything.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/document/document_types.h"
#include "platform/exception.h"

namespace pagemint::cli {

// A command line that cannot be run; the caller prints the short usage.
PAGEMINT_EXCEPTION(EUsageError, Exception);

enum class TCliMode : uint8_t { Convert, Extract, Batch, Info, Help, Version };

struct TThumbRequest {
  int32_t page = 0;
  std::string picture;
};

// Pages as "1-5,8,10-": single pages and ranges, a range without an end
// running to the last page. No ranges at all means every page.
struct TPageRange {
  int32_t first = 1;
  int32_t last = 0;  // 0: to the last page
};
struct TPageSelection {
  std::vector<TPageRange> ranges;
  // The page numbers of a document of page_count pages, ascending, each
  // once. A page named outright (a single page or a range's end) beyond
  // the document raises EInvalidPageError; an open range simply stops.
  std::vector<int32_t> Pages(int32_t page_count) const;
};

struct TCliOptions {
  TCliMode mode = TCliMode::Convert;
  // Convert, Extract and Info: the one source; Batch: every file.
  std::vector<std::string> sources;
  std::string dest;        // Convert: the file to write (Extract: optional)
  std::string output_dir;  // Batch: empty means in place
  // Given on the command line, as the terminal's UTF-8.
  std::optional<std::string> password;
  bool show_thumbs = false;
  bool verbose = false;
  std::optional<TPageSelection> remove_thumbs;
  std::optional<TPageSelection> render_thumbs;
  std::optional<int32_t> thumb_size;  // when given
  int32_t jobs = 0;                   // 0: one worker per core
  // --thumb-format and --thumb-quality: how rendered thumbnails are stored.
  TgtThumbnailEncoding thumb_encoding;
  std::string extract_dir;
  bool force = false;  // --extract-thumbs replaces files that exist
  // In the order given; a page may appear more than once.
  std::vector<TThumbRequest> thumbs;
  // --incremental and --full-rewrite: how the file is saved (neither: an
  // update for a signed source, the whole file otherwise).
  bool incremental = false;
  bool full_rewrite = false;
  // --render-timeout: seconds a page may take to render (0: no limit).
  std::optional<int32_t> render_timeout;
  // Batch: more FILEs, one a line ("-": standard input), NUL-separated
  // with --null; read when the run starts.
  std::string files_from;
  bool null_separated = false;
  // Batch with output_dir: each FILE written as output_dir/(its path
  // relative to keep_tree).
  std::string keep_tree;
  // Batch: one JSON line per file into this file ("-": standard output).
  std::optional<std::string> report;
  // Batch: files already done are left alone and reported as skipped.
  bool skip_existing = false;
};

// The bounds of --jobs.
inline constexpr int32_t kMaxJobs = 64;
// The bound of --render-timeout: an hour a page.
inline constexpr int32_t kMaxRenderTimeout = 3600;

// Raises EUsageError for anything that does not fit the synopsis above.
TCliOptions ParseCommandLine(const std::vector<std::string>& args);

// "1-5,8,10-"; raises EUsageError naming option for anything else.
TPageSelection ParsePageSelection(const std::string& option, const std::string& text);

// The thumbnails that take effect: for each page only the last request,
// the survivors in the order given. A replaced picture is never loaded, so
// it leaves no orphaned image object in the written file.
std::vector<TThumbRequest> EffectiveThumbs(const std::vector<TThumbRequest>& thumbs);

}  // namespace pagemint::cli
