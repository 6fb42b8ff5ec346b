// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/command_line.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <set>
#include <utility>

#include "pdf/document/thumbnail.h"
#include "pdf/objects/pdf_exceptions.h"
#include "platform/messages.h"

namespace pagemint::cli {

namespace {

// The value of an option: the text after "=", or else the next argument.
std::string TakeValue(const std::string& name, std::optional<std::string>& attached,
                      const std::vector<std::string>& args, size_t& i) {
  if (attached) return *std::exchange(attached, std::nullopt);
  if (i + 1 >= args.size()) throw EUsageError(Format(msg::kCliMissingValue, name.c_str()));
  return args[++i];
}

// A page number as the engine takes it: decimal digits only, at most the
// largest 32-bit number. Whether the page exists is the document's call.
std::optional<int32_t> ParsePage(std::string_view text) {
  if (text.empty()) return std::nullopt;
  for (const char c : text)
    if (c < '0' || c > '9') return std::nullopt;
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() ||
      value > std::numeric_limits<int32_t>::max())
    return std::nullopt;
  return static_cast<int32_t>(value);
}

TThumbRequest ParseThumb(const std::string& value) {
  const size_t eq = value.find('=');
  const std::optional<int32_t> page =
      eq == std::string::npos ? std::nullopt : ParsePage(std::string_view(value).substr(0, eq));
  if (!page || eq + 1 >= value.size()) throw EUsageError(Format(msg::kCliBadThumb, value.c_str()));
  return TThumbRequest{*page, value.substr(eq + 1)};
}

int32_t ParseNumber(const std::string& name, const std::string& text, int32_t low, int32_t high) {
  const std::optional<int32_t> value = ParsePage(text);
  if (!value || *value < low || *value > high)
    throw EUsageError(Format(msg::kCliBadNumber, name.c_str(), low, high, text.c_str()));
  return *value;
}

void CheckNoValue(const std::string& name, const std::optional<std::string>& attached) {
  if (attached) throw EUsageError(Format(msg::kCliNoValueWanted, name.c_str()));
}

// The options that shape a run of many files need --in-place or
// --output-dir; --null and --keep-tree qualify another option.
void CheckBatchOptions(const TCliOptions& options, bool in_place) {
  const bool batch = in_place || !options.output_dir.empty();
  const char* batch_only = !options.files_from.empty() ? "--files-from"
                           : options.report            ? "--report"
                           : options.skip_existing     ? "--skip-existing"
                                                       : nullptr;
  if (!batch && batch_only) throw EUsageError(Format(msg::kCliBatchOnly, batch_only));
  if (options.null_separated && options.files_from.empty())
    throw EUsageError(Format(msg::kCliNeedsOption, "--null", "--files-from"));
  if (!options.keep_tree.empty() && options.output_dir.empty())
    throw EUsageError(Format(msg::kCliNeedsOption, "--keep-tree", "--output-dir"));
}

}  // namespace

TPageSelection ParsePageSelection(const std::string& option, const std::string& text) {
  TPageSelection selection;
  auto bad = [&] { return EUsageError(Format(msg::kCliBadPages, option.c_str(), text.c_str())); };
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    const std::string_view item = std::string_view(text).substr(start, comma - start);
    const size_t dash = item.find('-');
    TPageRange range;
    const std::optional<int32_t> first = ParsePage(item.substr(0, dash));
    if (!first || *first < 1) throw bad();
    range.first = *first;
    if (dash == std::string_view::npos) {
      range.last = *first;
    } else if (dash + 1 < item.size()) {
      const std::optional<int32_t> last = ParsePage(item.substr(dash + 1));
      if (!last || *last < *first) throw bad();
      range.last = *last;
    }
    selection.ranges.push_back(range);
    start = comma + 1;
  }
  return selection;
}

std::vector<int32_t> TPageSelection::Pages(int32_t page_count) const {
  std::vector<int32_t> pages;
  if (ranges.empty()) {
    for (int32_t page = 1; page <= page_count; ++page) pages.push_back(page);
    return pages;
  }
  for (const TPageRange& range : ranges) {
    // A closed range names its last page; an open one ("11-") its first,
    // which must exist as well.
    const int32_t named = range.last > 0 ? range.last : range.first;
    if (named > page_count)
      throw EInvalidPageError(Format(msg::kInvalidPageNumber, named));
    const int32_t last = range.last > 0 ? range.last : page_count;
    for (int32_t page = range.first; page <= last; ++page) pages.push_back(page);
  }
  std::sort(pages.begin(), pages.end());
  pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
  return pages;
}

TCliOptions ParseCommandLine(const std::vector<std::string>& args) {
  TCliOptions options;
  std::vector<std::string> files;
  bool info = false;
  bool in_place = false;
  bool options_done = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_done || arg.size() < 2 || arg[0] != '-') {
      files.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_done = true;
      continue;
    }
    std::string name = arg;
    std::optional<std::string> attached;
    if (const size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos) {
      name = arg.substr(0, eq);
      attached = arg.substr(eq + 1);
    }
    if (name == "--help" || name == "-h") {
      options.mode = TCliMode::Help;
      return options;
    }
    if (name == "--version") {
      options.mode = TCliMode::Version;
      return options;
    }
    if (name == "--info") {
      CheckNoValue(name, attached);
      info = true;
    } else if (name == "--show-thumbs") {
      CheckNoValue(name, attached);
      options.show_thumbs = true;
    } else if (name == "--verbose" || name == "-v") {
      CheckNoValue(name, attached);
      options.verbose = true;
    } else if (name == "--password") {
      options.password = TakeValue(name, attached, args, i);
    } else if (name == "--thumb") {
      options.thumbs.push_back(ParseThumb(TakeValue(name, attached, args, i)));
    } else if (name == "--render-thumbs" || name == "--remove-thumbs") {
      std::optional<TPageSelection>& target =
          name == "--render-thumbs" ? options.render_thumbs : options.remove_thumbs;
      target = attached ? ParsePageSelection(name, *attached) : TPageSelection();
    } else if (name == "--thumb-size") {
      options.thumb_size = ParseNumber(name, TakeValue(name, attached, args, i), kMinThumbnailSize,
                                       kMaxThumbnailSize);
    } else if (name == "--thumb-format") {
      const std::string value = TakeValue(name, attached, args, i);
      if (value == "auto")
        options.thumb_encoding.format = TgtThumbnailFormat::Auto;
      else if (value == "lossless")
        options.thumb_encoding.format = TgtThumbnailFormat::Lossless;
      else if (value == "jpeg")
        options.thumb_encoding.format = TgtThumbnailFormat::Jpeg;
      else
        throw EUsageError(Format(msg::kCliBadThumbFormat, value.c_str()));
    } else if (name == "--thumb-quality") {
      options.thumb_encoding.quality = ParseNumber(name, TakeValue(name, attached, args, i), 1, 100);
    } else if (name == "--jobs") {
      options.jobs = ParseNumber(name, TakeValue(name, attached, args, i), 1, kMaxJobs);
    } else if (name == "--render-timeout") {
      options.render_timeout =
          ParseNumber(name, TakeValue(name, attached, args, i), 0, kMaxRenderTimeout);
    } else if (name == "--extract-thumbs") {
      options.extract_dir = TakeValue(name, attached, args, i);
    } else if (name == "--in-place") {
      CheckNoValue(name, attached);
      in_place = true;
    } else if (name == "--output-dir") {
      options.output_dir = TakeValue(name, attached, args, i);
    } else if (name == "--incremental" || name == "--full-rewrite") {
      CheckNoValue(name, attached);
      (name == "--incremental" ? options.incremental : options.full_rewrite) = true;
    } else if (name == "--files-from") {
      options.files_from = TakeValue(name, attached, args, i);
      if (options.files_from.empty()) throw EUsageError(Format(msg::kCliMissingValue, "--files-from"));
    } else if (name == "--null") {
      CheckNoValue(name, attached);
      options.null_separated = true;
    } else if (name == "--keep-tree") {
      options.keep_tree = TakeValue(name, attached, args, i);
      if (options.keep_tree.empty()) throw EUsageError(Format(msg::kCliMissingValue, "--keep-tree"));
    } else if (name == "--report") {
      options.report = TakeValue(name, attached, args, i);
      if (options.report->empty()) throw EUsageError(Format(msg::kCliMissingValue, "--report"));
    } else if (name == "--skip-existing") {
      CheckNoValue(name, attached);
      options.skip_existing = true;
    } else if (name == "--force") {
      CheckNoValue(name, attached);
      options.force = true;
    } else {
      throw EUsageError(Format(msg::kCliUnknownOption, arg.c_str()));
    }
  }

  if (options.incremental && options.full_rewrite)
    throw EUsageError(Format(msg::kCliNotTogether, "--incremental", "--full-rewrite"));
  CheckBatchOptions(options, in_place);
  if (info) {
    options.mode = TCliMode::Info;
    const char* editing = options.show_thumbs            ? "--show-thumbs"
                          : !options.thumbs.empty()      ? "--thumb"
                          : options.render_thumbs        ? "--render-thumbs"
                          : options.remove_thumbs        ? "--remove-thumbs"
                          : !options.extract_dir.empty() ? "--extract-thumbs"
                          : in_place                     ? "--in-place"
                          : !options.output_dir.empty()  ? "--output-dir"
                                                         : nullptr;
    if (editing) throw EUsageError(Format(msg::kCliNotWithInfo, editing));
    if (files.empty()) throw EUsageError(msg::kCliMissingSource);
    if (files.size() > 1) throw EUsageError(Format(msg::kCliExtraFile, files[1].c_str()));
    options.sources = files;
    return options;
  }
  if (in_place || !options.output_dir.empty()) {
    if (in_place && !options.output_dir.empty())
      throw EUsageError(Format(msg::kCliNotTogether, "--in-place", "--output-dir"));
    if (!options.extract_dir.empty())
      throw EUsageError(Format(msg::kCliNotTogether, "--extract-thumbs",
                               in_place ? "--in-place" : "--output-dir"));
    if (files.empty() && options.files_from.empty()) throw EUsageError(msg::kCliMissingSource);
    options.mode = TCliMode::Batch;
    options.sources = files;
    return options;
  }
  if (files.empty()) throw EUsageError(msg::kCliMissingSource);
  if (!options.extract_dir.empty()) {
    if (files.size() > 2) throw EUsageError(Format(msg::kCliExtraFile, files[2].c_str()));
    options.mode = TCliMode::Extract;
    options.sources = {files[0]};
    if (files.size() == 2) options.dest = files[1];
    if (files.size() == 2 && files[1].empty()) throw EUsageError(msg::kCliEmptyFileName);
    return options;
  }
  if (files.size() < 2) throw EUsageError(msg::kCliMissingDest);
  if (files.size() > 2) throw EUsageError(Format(msg::kCliExtraFile, files[2].c_str()));
  options.sources = {files[0]};
  options.dest = files[1];
  // An empty DEST would do all the work and write nothing.
  if (options.dest.empty()) throw EUsageError(msg::kCliEmptyFileName);
  return options;
}

std::vector<TThumbRequest> EffectiveThumbs(const std::vector<TThumbRequest>& thumbs) {
  std::vector<TThumbRequest> kept;
  std::set<int32_t> later_pages;
  // Walk from the end: the first request seen for a page is its last one.
  for (auto it = thumbs.rbegin(); it != thumbs.rend(); ++it)
    if (later_pages.insert(it->page).second) kept.insert(kept.begin(), *it);
  return kept;
}

}  // namespace pagemint::cli
