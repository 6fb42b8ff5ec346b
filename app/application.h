// SPDX-License-Identifier: GPL-3.0-or-later
// The names the window shows for the application.
#pragma once

#include "platform/version.h"

namespace pagemint {

// The caption of every message box.
inline constexpr const char kApplicationTitle[] = "Pagemint";
// The main window's caption.
inline constexpr const char kWindowCaption[] = "Pagemint " PAGEMINT_VERSION;

}  // namespace pagemint
