// SPDX-License-Identifier: GPL-3.0-or-later
// The window's shell: the desktop opens files and web addresses through
// QDesktopServices, which knows the user's default applications. Unlike
// the engine's shell it says whether the desktop took the file, so the
// window can offer its own help window or say that nothing opened.
#pragma once

#include <memory>
#include <string>

#include "platform/services.h"

namespace pagemint {

class WindowShell : public Shell {
 public:
  // True when the desktop has an application for target and was asked to
  // open it.
  virtual bool TryOpen(const std::string& target) = 0;
  void Open(const std::string& target) override { TryOpen(target); }
};

std::unique_ptr<WindowShell> MakeQtShell();

}  // namespace pagemint
