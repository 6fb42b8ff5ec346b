#include "cli/command_line.h"

#include <charconv>
#include <limits>
#include <set>
#include <utility>

#include "platform/codepage.h"
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
  TThumbRequest request;
  request.page = *page;
  request.picture = value.substr(eq + 1);
  const std::optional<TThumbKind> kind = ThumbKindOf(request.picture);
  if (!kind) throw EUsageError(Format(msg::kCliBadPictureType, request.picture.c_str()));
  request.kind = *kind;
  return request;
}

void CheckNoValue(const std::string& name, const std::optional<std::string>& attached) {
  if (attached) throw EUsageError(Format(msg::kCliNoValueWanted, name.c_str()));
}

}  // namespace

std::optional<TThumbKind> ThumbKindOf(std::string_view file_name) {
  const size_t slash = file_name.find_last_of('/');
  const std::string_view base =
      slash == std::string_view::npos ? file_name : file_name.substr(slash + 1);
  const size_t dot = base.rfind('.');
  if (dot == std::string_view::npos) return std::nullopt;
  const std::string extension = LowerCase(base.substr(dot));
  if (extension == ".bmp") return TThumbKind::Bitmap;
  if (extension == ".jpg" || extension == ".jpeg") return TThumbKind::Jpeg;
  if (extension == ".emf") return TThumbKind::Metafile;
  if (extension == ".ico") return TThumbKind::Icon;
  return std::nullopt;
}

TCliOptions ParseCommandLine(const std::vector<std::string>& args) {
  TCliOptions options;
  std::vector<std::string> files;
  bool info = false;
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
    } else {
      throw EUsageError(Format(msg::kCliUnknownOption, arg.c_str()));
    }
  }

  if (info) {
    options.mode = TCliMode::Info;
    if (options.show_thumbs) throw EUsageError(Format(msg::kCliNotWithInfo, "--show-thumbs"));
    if (!options.thumbs.empty()) throw EUsageError(Format(msg::kCliNotWithInfo, "--thumb"));
    if (files.empty()) throw EUsageError(msg::kCliMissingSource);
    if (files.size() > 1) throw EUsageError(Format(msg::kCliExtraFile, files[1].c_str()));
    options.source = files[0];
    return options;
  }
  if (files.empty()) throw EUsageError(msg::kCliMissingSource);
  if (files.size() < 2) throw EUsageError(msg::kCliMissingDest);
  if (files.size() > 2) throw EUsageError(Format(msg::kCliExtraFile, files[2].c_str()));
  options.source = files[0];
  options.dest = files[1];
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
