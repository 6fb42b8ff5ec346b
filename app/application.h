// The names the window shows for the application.
#pragma once

namespace pagemint {

// The caption of every message box.
inline constexpr const char kApplicationTitle[] = "Pagemint";
// The main window's caption.
inline constexpr const char kWindowCaption[] = "Pagemint 1.21";

}  // namespace pagemint
