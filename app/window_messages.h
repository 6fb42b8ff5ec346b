// SPDX-License-Identifier: GPL-3.0-or-later
// The window's own texts beyond the engine's message table: what it says
// about pictures, destinations, long work, warnings and the help page.
// Texts with %1, %2 are filled with QString::arg.
#pragma once

#include <QString>

namespace pagemint::wmsg {

inline constexpr const char kNoPicture[] = "No thumbnail image specified!";
inline constexpr const char kNoPagesSelected[] = "No pages selected!";
inline constexpr const char kReplaceFile[] = "%1 already exists.\nDo you want to replace it?";
inline constexpr const char kHelpMissing[] = "The help page cannot be found (%1).";
inline constexpr const char kUnsaved[] =
    "The thumbnails of %1 were changed and not generated yet.\n"
    "Generate them before %2?";
inline constexpr const char kBeforeOpen[] = "opening another file";
inline constexpr const char kBeforeClose[] = "closing";
inline constexpr const char kSourceNotOpen[] =
    "\"PDF File:\" names %1, which is not the open document (%2).\n"
    "Press Enter in the box to open it.";
// Before an engine message that says nothing to a user.
inline constexpr const char kNotPdf[] = "%1 is not a PDF file (%2)";
inline constexpr const char kNotFound[] = "%1 cannot be found (%2)";
inline constexpr const char kBeyondRepair[] = "%1 is too damaged to be read (%2)";

// The action's result, above the warnings it raised.
inline constexpr const char kOpenedWithWarnings[] = "%1 was opened (%2) with warnings:";
inline constexpr const char kSavedWithWarnings[] = "%1 was written with warnings:";
inline constexpr const char kRenderedWithWarnings[] =
    "%1 of %2 got a rendered thumbnail; warnings:";
inline constexpr const char kPictureWithWarnings[] = "The picture was attached with warnings:";
inline constexpr const char kFailedWithWarnings[] = "%1\n\nWarnings before the error:";
// When more warnings came than a box can list.
inline constexpr const char kMoreWarnings[] = "... and %1 more";

// Lines of the log box.
inline constexpr const char kLogOpened[] = "Opened %1: %2";
inline constexpr const char kLogOpenCancelled[] = "Open cancelled: no document is open";
inline constexpr const char kLogOpenCancelledKept[] = "Open cancelled: %1 stays open";
inline constexpr const char kLogSaved[] = "Saved %1";
inline constexpr const char kLogAppended[] = "Saved %1 (changes appended; signatures kept)";
inline constexpr const char kLogSaveCancelled[] = "Generate cancelled: nothing was written";
inline constexpr const char kLogNotOpened[] =
    "%1 was written, but no application on this desktop opens it";
inline constexpr const char kLogRendered[] = "Rendered %1 of %2 at %3 pixels";
inline constexpr const char kLogRenderCancelled[] =
    "Rendering cancelled: %1 kept their rendered thumbnails";
inline constexpr const char kLogRemoved[] = "Removed the thumbnails of %1";
inline constexpr const char kLogPicture[] = "Page %1, %2";
inline constexpr const char kLogUndone[] = "Undone: %1";
inline constexpr const char kLogRedone[] = "Redone: %1";
inline constexpr const char kLogNoUndo[] = "%1 is too large to be undone";

// The progress bar's text for each kind of work.
inline constexpr const char kProgressOpen[] = "Opening %p%";
inline constexpr const char kProgressRender[] = "Rendering %p%";
inline constexpr const char kProgressSave[] = "Generating %p%";

// "1 page", "3 pages".
inline QString Pages(long long count) {
  return count == 1 ? QStringLiteral("1 page") : QStringLiteral("%1 pages").arg(count);
}

}  // namespace pagemint::wmsg
