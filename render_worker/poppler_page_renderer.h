// SPDX-License-Identifier: GPL-3.0-or-later
// The renderer itself: TPageRenderer over Poppler in this process. The
// renderer program (worker_main.cpp) serves it to clients over a socket;
// nothing outside this folder links Poppler.
#pragma once

#include <memory>
#include <string_view>

#include "render/page_renderer.h"

namespace pagemint {

// Opens source in this process; raises ERenderError when it cannot be
// opened. Drawing a page stops at source.timeout_ms (where Poppler checks
// between drawing operations) and the page then fails; source.memory_limit
// is the caller's business.
std::unique_ptr<TPageRenderer> OpenPopplerRenderer(const TRenderSource& source);

// Sets up what Poppler creates for the process with its first open
// document (its global settings and tables: about a millisecond and a few
// hundred pages of memory) and keeps it, by keeping document (bytes that
// live as long as the process) open for the life of the process. Once
// done, documents opened later (here or in copies of this process) skip
// that work; later calls do nothing.
void KeepRendererSettings(std::string_view document);

}  // namespace pagemint
