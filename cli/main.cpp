// SPDX-License-Identifier: GPL-3.0-or-later
// pagemint-cli-main: the window's job without a window. Users start it
// through pagemint-cli (launcher_main.cpp), which may have started a
// renderer process for it.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/pagemint_cli.h"
#include "cli/terminal_prompt.h"
#include "render/page_renderer.h"

int main(int argc, char** argv) {
  pagemint::AdoptPrestartedRenderer();
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const std::unique_ptr<pagemint::cli::TPasswordPrompt> prompt =
      pagemint::cli::MakeTerminalPrompt();
  return pagemint::cli::RunCli(args, std::cout, std::cerr, prompt.get());
}
