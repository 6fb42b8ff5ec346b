// SPDX-License-Identifier: GPL-3.0-or-later
// pagemint-cli: the window's job without a window.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/pagemint_cli.h"
#include "cli/terminal_prompt.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const std::unique_ptr<pagemint::cli::TPasswordPrompt> prompt =
      pagemint::cli::MakeTerminalPrompt();
  return pagemint::cli::RunCli(args, std::cout, std::cerr, prompt.get());
}
