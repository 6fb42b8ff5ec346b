// The window's own texts beyond the engine's message table: what it says
// about pictures, destinations, long work, warnings and the help page.
// Texts with %1, %2 are filled with QString::arg.
#pragma once

namespace pagemint::wmsg {

inline constexpr const char kNoPicture[] = "No thumbnail image specified!";
inline constexpr const char kNoPagesSelected[] = "No pages selected!";
inline constexpr const char kReplaceFile[] = "%1 already exists.\nDo you want to replace it?";
inline constexpr const char kHelpMissing[] = "The help page cannot be found (%1).";

// The action's result, above the warnings it raised.
inline constexpr const char kOpenedWithWarnings[] = "%1 was opened (%2 pages) with warnings:";
inline constexpr const char kSavedWithWarnings[] = "%1 was written with warnings:";
inline constexpr const char kRenderedWithWarnings[] =
    "%1 of %2 pages got a rendered thumbnail; warnings:";
inline constexpr const char kPictureWithWarnings[] = "The picture was attached with warnings:";
inline constexpr const char kFailedWithWarnings[] = "%1\n\nWarnings before the error:";
// When more warnings came than a box can list.
inline constexpr const char kMoreWarnings[] = "... and %1 more";

// Lines of the log box.
inline constexpr const char kLogOpenCancelled[] = "Open cancelled: no document is open";
inline constexpr const char kLogSaved[] = "Saved %1";
inline constexpr const char kLogSaveCancelled[] = "Generate cancelled: nothing was written";
inline constexpr const char kLogRendered[] = "Rendered %1 of %2 pages at %3 pixels";
inline constexpr const char kLogRenderCancelled[] = "Rendering cancelled";
inline constexpr const char kLogRemoved[] = "Removed the thumbnails of %1 pages";
inline constexpr const char kLogPicture[] = "Page %1, %2";

// The progress bar's text for each kind of work.
inline constexpr const char kProgressOpen[] = "Opening %p%";
inline constexpr const char kProgressRender[] = "Rendering %p%";
inline constexpr const char kProgressSave[] = "Generating %p%";

}  // namespace pagemint::wmsg
