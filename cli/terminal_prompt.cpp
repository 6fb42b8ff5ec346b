// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/terminal_prompt.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/messages.h"

namespace pagemint::cli {

namespace {

// The terminal's settings while echo is off, for the signal handler that
// puts them back when the user interrupts the question.
struct termios g_saved_terminal;

extern "C" void RestoreTerminalAndDie(int signal_number) {
  ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_saved_terminal);
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

class TerminalPrompt final : public TPasswordPrompt {
 public:
  std::optional<std::string> Ask(const std::string& file_name, int32_t attempt) override {
    const std::string label = attempt <= 1 ? Format(msg::kCliPasswordPrompt, file_name.c_str())
                                           : std::string(msg::kCliPasswordRetry);
    std::fputs(label.c_str(), stderr);
    std::fflush(stderr);

    const bool quiet = ::tcgetattr(STDIN_FILENO, &g_saved_terminal) == 0;
    struct sigaction old_int {
    }, old_term{}, restore{};
    if (quiet) {
      restore.sa_handler = RestoreTerminalAndDie;
      ::sigemptyset(&restore.sa_mask);
      ::sigaction(SIGINT, &restore, &old_int);
      ::sigaction(SIGTERM, &restore, &old_term);
      struct termios silent = g_saved_terminal;
      silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
      ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    std::string line;
    for (int c = std::fgetc(stdin); c != EOF && c != '\n'; c = std::fgetc(stdin))
      line += static_cast<char>(c);
    if (quiet) {
      ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_saved_terminal);
      ::sigaction(SIGINT, &old_int, nullptr);
      ::sigaction(SIGTERM, &old_term, nullptr);
    }
    std::fputc('\n', stderr);
    // The empty password was tried before anyone was asked, so an empty
    // answer (or the end of input) means giving up.
    if (line.empty()) return std::nullopt;
    return line;
  }
};

}  // namespace

std::unique_ptr<TPasswordPrompt> MakeTerminalPrompt() {
  if (!::isatty(STDIN_FILENO) || !::isatty(STDERR_FILENO)) return nullptr;
  return std::make_unique<TerminalPrompt>();
}

}  // namespace pagemint::cli
