// SPDX-License-Identifier: GPL-3.0-or-later
// pagemint-cli as the user starts it: a small program that links no
// picture or window library, and so starts in about a millisecond. When
// the command draws pages, it starts the renderer process first, then
// execs the tool itself (pagemint-cli-main, installed in lib/pagemint/):
// the renderer loads its libraries while the tool loads its own, instead
// of after it, which is most of what a run on a small document costs.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/messages.h"
#include "render/page_renderer.h"

namespace {

// Whether the arguments ask for pages to be drawn.
bool DrawsPages(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") break;
    if (arg == "--help" || arg == "-h") return false;
    if (arg == "--render-thumbs" || arg.starts_with("--render-thumbs=")) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  std::string tried;
  const std::string program = pagemint::PagemintProgramPath("pagemint-cli-main", &tried);
  // Kept until exec: putenv keeps the string itself.
  static std::string started;
  if (!program.empty() && argc > 0 && DrawsPages(argc, argv)) {
    started = pagemint::PrestartPageRenderer();
    if (!started.empty()) putenv(started.data());
  }
  if (!program.empty()) execv(program.c_str(), argv);
  const int error = program.empty() ? ENOENT : errno;
  const std::string message = pagemint::Format(pagemint::msg::kCliProgramMissing,
                                               (program.empty() ? tried : program).c_str(),
                                               std::strerror(error));
  std::fprintf(stderr, pagemint::msg::kCliError, message.c_str());
  std::fputc('\n', stderr);
  return 2;
}
