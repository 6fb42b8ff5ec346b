// The window's shell: the desktop opens files and web addresses through
// QDesktopServices, which knows the user's default applications.
#pragma once

#include <memory>

#include "platform/services.h"

namespace pagemint {

std::unique_ptr<Shell> MakeQtShell();

}  // namespace pagemint
