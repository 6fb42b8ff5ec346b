// SPDX-License-Identifier: GPL-3.0-or-later
// Asking for a password on the terminal, without echo.
#pragma once

#include <memory>

#include "cli/pagemint_cli.h"

namespace pagemint::cli {

// A prompt on standard error that reads standard input; null when standard
// input or standard error is not a terminal, so scripts never hang on a
// question nobody can answer.
std::unique_ptr<TPasswordPrompt> MakeTerminalPrompt();

}  // namespace pagemint::cli
