// The command line of pagemint-cli, read into plain options.
//
//   pagemint-cli SOURCE DEST [--password PW] [--show-thumbs]
//                [--thumb PAGE=PICTURE]... [--verbose]
//   pagemint-cli --info SOURCE [--password PW] [--verbose]
//   pagemint-cli --help
//
// Options may stand anywhere among the file names; "--" ends the options,
// so a file name may start with "-". Values follow as the next argument or
// after "=" (--password=PW, --thumb=2=cover.jpg). Everything that can be
// checked without opening a file is checked here, so a bad command line
// never reads or writes anything.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/exception.h"

namespace pagemint::cli {

// A command line that cannot be run; the caller prints the short usage.
PAGEMINT_EXCEPTION(EUsageError, Exception);

enum class TCliMode : uint8_t { Convert, Info, Help };

// The picture classes a thumbnail can come from.
enum class TThumbKind : uint8_t { Bitmap, Jpeg, Metafile, Icon };

struct TThumbRequest {
  int32_t page = 0;
  std::string picture;
  TThumbKind kind = TThumbKind::Bitmap;
};

struct TCliOptions {
  TCliMode mode = TCliMode::Convert;
  std::string source;
  std::string dest;
  // Given on the command line, as the terminal's UTF-8.
  std::optional<std::string> password;
  bool show_thumbs = false;
  bool verbose = false;
  // In the order given; a page may appear more than once.
  std::vector<TThumbRequest> thumbs;
};

// Raises EUsageError for anything that does not fit the synopsis above.
TCliOptions ParseCommandLine(const std::vector<std::string>& args);

// The picture kind that the file name's extension names, compared without
// regard to case: .bmp, .jpg, .jpeg, .emf, .ico. Nothing for any other.
std::optional<TThumbKind> ThumbKindOf(std::string_view file_name);

// The thumbnails that take effect: for each page only the last request,
// the survivors in the order given. A replaced picture is never loaded, so
// it leaves no orphaned image object in the written file.
std::vector<TThumbRequest> EffectiveThumbs(const std::vector<TThumbRequest>& thumbs);

}  // namespace pagemint::cli
