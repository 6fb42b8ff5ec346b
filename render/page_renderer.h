// SPDX-License-Identifier: GPL-3.0-or-later
// Pages drawn as pictures, behind an interface of our own so that nothing
// above this folder sees the rendering library's types and another
// renderer could stand in.
//
// The renderer runs in a process of its own (pagemint-render, built from
// render_worker/): a page that crashes it, exhausts its memory limit or runs
// past its time budget costs that page, never the caller. A TPageRenderer
// here is the client of one such process, which opens the document itself;
// a process that fails is replaced for the next page. The processes are
// copies of one kept idle, so that only the first pays for loading the
// rendering libraries.
//
// A renderer holds one open document and is used by one thread at a time;
// rendering in parallel means one renderer per thread, each opened on the
// same source.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/exception.h"

namespace pagemint {

// The document cannot be opened for rendering at all.
PAGEMINT_EXCEPTION(ERenderError, Exception);

// Where the document comes from: the bytes as they were loaded when there
// are any (they must outlive every renderer opened on them), else the file.
struct TRenderSource {
  std::string file_name;
  std::string_view bytes;
  // The password that opened the document, as the bytes the security
  // handler took; empty for none.
  std::string password;
  // The time opening the document or drawing one page may take, in
  // milliseconds (0: no budget); past it the page fails and the process
  // drawing it is replaced.
  int32_t timeout_ms = 10000;
  // The address space the process drawing the pages may use, in bytes
  // (0: no limit). A hostile page (a decompression bomb, a table claiming
  // millions of entries) ends there instead of taking the machine's memory.
  int64_t memory_limit = int64_t{2} << 30;
  // How many processes the first renderer opened on this source starts at
  // once, its own and one for each renderer the caller will open next in
  // parallel, so that their start-up (loading the libraries, reading the
  // font configuration) overlaps. Renderers opened beyond them start their
  // own when opened.
  int32_t processes = 1;
};

// One rendered page: 8-bit red, green, blue samples, rows from the top,
// packed (width * 3 bytes a row).
struct TRenderedPage {
  int32_t width = 0;
  int32_t height = 0;
  std::string rgb;
  // Damage the renderer read past while drawing the page: how many reports
  // it made and the first of them; the picture may then be incomplete.
  int32_t trouble_count = 0;
  std::string trouble;
};

class TPageRenderer {
 public:
  virtual ~TPageRenderer() = default;
  virtual int32_t PageCount() const = 0;
  // Draws page index (from 0) as a viewer shows it: its crop box, its
  // rotation, white paper, anti-aliased, annotations' appearances, scaled so
  // that its longer side is longer_side pixels. False when the page cannot
  // be drawn; why is then in LastError(), with the renderer's own report
  // when it made one.
  virtual bool Render(int32_t index, int32_t longer_side, TRenderedPage& page) = 0;
  // Says which page the next Render call will ask for, so that it can be
  // drawn while the caller is still busy with the last one (a renderer
  // process starts on it at once). Only a hint: a Render call for another
  // page is answered as without it.
  virtual void Prefetch(int32_t /*index*/, int32_t /*longer_side*/) {}
  virtual const std::string& LastError() const = 0;
  // True when the last failure was the page running past its time budget.
  // The same page drawn again from another copy of the document would most
  // likely spend the whole budget again (a decompression bomb is copied
  // as it is), so callers do not try it twice.
  virtual bool LastFailureTimedOut() const { return false; }
};

// Starts a renderer process on source; raises ERenderError when the
// document cannot be opened (damaged beyond the renderer's repair, the
// password does not open it, the process cannot be started or fails while
// opening).
std::unique_ptr<TPageRenderer> OpenPageRenderer(const TRenderSource& source);

// The renderer program: $PAGEMINT_RENDER_WORKER when set, else
// pagemint-render beside the running program, else in ../lib/pagemint/
// from it (where it is installed, and where the build tree puts it).
// Empty when none of these exists; tried holds the places looked at.
std::string RenderWorkerPath(std::string* tried = nullptr);

// A program of ours found like the renderer: beside the running program,
// else in ../lib/pagemint/ from it. Empty when neither exists.
std::string PagemintProgramPath(const std::string& name, std::string* tried = nullptr);

// For a small program about to exec the one that draws pages: starts a
// renderer process with no document yet, so that loading its libraries
// overlaps the other program's loading of its own. Returns the entry to
// put in the other program's environment ("PAGEMINT_RENDER_STARTED=
// pid:descriptor"; the descriptor stays open across exec), or empty when
// no process could be started.
std::string PrestartPageRenderer();

// In the program exec'd: takes the process the environment names, once,
// before it starts threads, as the template every renderer process is
// then copied from; unused, it ends with this program.
void AdoptPrestartedRenderer();

// Ends the idle renderer process kept for starting the others quickly
// (it otherwise lives as long as this program) and waits until it is
// gone; the next renderer opened starts a new one.
void EndIdleRenderer();

}  // namespace pagemint
