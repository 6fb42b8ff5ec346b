// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/pagemint_cli.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>
#include <QString>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <memory>
#include <new>
#include <ostream>
#include <mutex>
#include <set>
#include <tuple>

#include "cli/batch_run.h"
#include "cli/command_line.h"
#include "pdf/document/pdf_document.h"
#include "pdf/document/thumbnail.h"
#include "pdf/security/encryption_settings.h"
#include "picture/graphic.h"
#include "picture/picture_file.h"
#include "platform/codepage.h"
#include "platform/messages.h"
#include "platform/replace_file.h"
#include "platform/version.h"

namespace pagemint::cli {

namespace {

// The process ends as soon as the tool is done, and the system takes back
// the memory of a document at once; freeing 300,000 objects one by one
// took a sixth of the time of a large round trip. A successful run
// therefore leaves its document to the end of the process. Builds with
// AddressSanitizer free it as usual, so the leak checker still sees every
// allocation the engine makes.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kFreeDocumentWhenDone = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kFreeDocumentWhenDone = true;
#else
constexpr bool kFreeDocumentWhenDone = false;
#endif
#else
constexpr bool kFreeDocumentWhenDone = false;
#endif

// The progress line appears once work has taken this long, and is drawn
// again at most this often.
constexpr std::chrono::milliseconds kProgressDelay(1000);
constexpr std::chrono::milliseconds kProgressRedraw(100);

void Done(std::unique_ptr<TgtPDFDocument>& document) {
  if (!kFreeDocumentWhenDone) static_cast<void>(document.release());
}

const char* VersionText(TgtPDFVersion version) {
  static constexpr const char* kTexts[] = {"1.0", "1.1", "1.2", "1.3", "1.4",
                                           "1.5", "1.6", "1.7", "2.0"};
  return version < std::size(kTexts) ? kTexts[version] : "1.4";
}

// The catalog name without its slash: "UseThumbs", "TwoColumnLeft".
template <size_t N>
const char* NameText(const char* const (&names)[N], size_t value) {
  return value < N ? names[value] + 1 : "unknown";
}

// A page mode or layout as --info shows it: the source's own name when it
// is outside the table (source_name "/UseOC" gives "UseOC").
template <size_t N>
std::string ModeText(const char* const (&names)[N], size_t value, const std::string& source_name) {
  return source_name.size() > 1 ? source_name.substr(1) : NameText(names, value);
}

// What the source is encrypted with: "rc4-40", "rc4-128", "aes-128",
// "aes-256" or "none".
const char* EncryptionText(const TgtPDFDocument& document) {
  if (!document.IsEncrypted()) return "none";
  return CipherName(document.Encryption().Cipher());
}

bool HasThumb(const TgtPDFDocument& document, size_t index) {
  return document.PageDict(static_cast<int32_t>(index + 1)).Lookup("/Thumb") != nullptr;
}

std::string ThumbnailPages(const TgtPDFDocument& document) {
  std::string pages;
  for (size_t i = 0; i < static_cast<size_t>(document.PageCount()); ++i) {
    if (!HasThumb(document, i)) continue;
    if (!pages.empty()) pages += ' ';
    pages += std::to_string(i + 1);
  }
  return pages.empty() ? "none" : pages;
}

// "1=128x96 3=?": each page with a thumbnail and its size, "?" where the
// entry is not an image whose size can be read.
std::string ThumbnailSizes(const TgtPDFDocument& document) {
  std::string sizes;
  for (size_t i = 0; i < static_cast<size_t>(document.PageCount()); ++i) {
    if (!HasThumb(document, i)) continue;
    const TgtThumbnailImage image = document.Thumbnail(static_cast<int32_t>(i + 1));
    if (!sizes.empty()) sizes += ' ';
    sizes += std::to_string(i + 1) + '=';
    sizes += image.Empty() ? "?" : std::to_string(image.width) + 'x' + std::to_string(image.height);
  }
  return sizes.empty() ? "none" : sizes;
}

// "1=JPEG 3=Gray": each page with a thumbnail and how it is stored, "?"
// where that cannot be told.
std::string ThumbnailForms(const TgtPDFDocument& document) {
  std::string forms;
  for (size_t i = 0; i < static_cast<size_t>(document.PageCount()); ++i) {
    if (!HasThumb(document, i)) continue;
    const TgtThumbnailImage image = document.Thumbnail(static_cast<int32_t>(i + 1));
    if (!forms.empty()) forms += ' ';
    forms += std::to_string(i + 1) + '=' + (image.form.empty() ? "?" : image.form);
  }
  return forms.empty() ? "none" : forms;
}

// A line on standard error that shows how far long work has come, drawn
// only on a terminal and only once the work has taken a second.
class ProgressLine {
 public:
  ProgressLine(std::ostream& err, bool terminal) : err_(err), terminal_(terminal) {}
  ~ProgressLine() { Clear(); }
  void Begin(std::string label) {
    label_ = std::move(label);
    started_ = std::chrono::steady_clock::now();
  }
  void Show(double fraction) {
    if (!terminal_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - started_ < kProgressDelay || (drawn_ && now - last_ < kProgressRedraw)) return;
    last_ = now;
    drawn_ = true;
    const int percent = static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 100);
    err_ << '\r' << label_ << ": " << percent << "%\x1B[K" << std::flush;
  }
  void Clear() {
    if (!drawn_) return;
    err_ << "\r\x1B[K" << std::flush;
    drawn_ = false;
  }

 private:
  std::ostream& err_;
  bool terminal_;
  std::string label_;
  std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point last_;
  bool drawn_ = false;
};

// Opens the source as the window does: the password from the command line
// (or the empty one) first, then, on a terminal, what the user types.
// warnings, when given, collects the warnings too.
void OpenSource(TgtPDFDocument& document, const std::string& source, const TCliOptions& options,
                std::ostream& err, TPasswordPrompt* prompt, ProgressLine& progress,
                std::vector<std::string>* warnings = nullptr) {
  document.SetShowSetupDialog(false);
  document.SetOpenAfterSave(false);
  if (options.verbose)
    document.OnStatusMessage = [&err](TgtCustomPDFDocument&, const std::string& message) {
      err << message << '\n';
    };
  document.OnWarning = [&err, &progress, warnings](TgtCustomPDFDocument&,
                                                   const std::string& warning) {
    if (warnings != nullptr) warnings->push_back(warning);
    progress.Clear();
    err << Format(msg::kCliWarning, warning.c_str()) << '\n';
  };
  document.OnIOProgress = [&progress](TgtCustomPDFDocument&, int32_t percentage) {
    progress.Show(percentage / 100.0);
  };
  document.OnWorkProgress = [&progress](TgtCustomPDFDocument&, TgtWorkStep, double fraction,
                                        bool&) { progress.Show(fraction); };
  std::string file_name = source;
  bool typed = false;  // the user typed a password on the terminal
  document.OnPassword = [&](TgtCustomPDFDocument& sender, std::string& password, bool& go_on,
                            int32_t tries) {
    file_name = sender.WorkFileName();
    if (tries == 0) {
      password = options.password ? PasswordBytes(*options.password) : std::string();
      return;
    }
    if (!options.password && prompt != nullptr && tries <= kPromptAttempts) {
      progress.Clear();
      if (const std::optional<std::string> answer = prompt->Ask(file_name, tries)) {
        password = PasswordBytes(*answer);
        typed = true;
        return;
      }
    }
    go_on = false;
  };
  progress.Begin(Format(msg::kCliProgressReading, source.c_str()));
  // False only when the password loop gave up; every other failure raises.
  if (!document.LoadFromFile(source))
    throw Exception(
        Format(options.password || typed ? msg::kCliPasswordWrong : msg::kCliPasswordNeeded,
               file_name.c_str()));
  progress.Clear();
}

// The given pictures, loaded once (before any source is read, so a bad
// picture is reported first) and drawn as the thumbnails they become.
struct Pictures {
  std::vector<TThumbRequest> thumbs;
  std::vector<std::unique_ptr<TGraphic>> bitmaps;
};

Pictures LoadPictures(const TCliOptions& options, std::ostream& err) {
  Pictures pictures;
  pictures.thumbs = EffectiveThumbs(options.thumbs);
  for (const TThumbRequest& thumb : pictures.thumbs) {
    std::unique_ptr<TGraphic> bitmap =
        LoadThumbnailPicture(thumb.picture, options.thumb_size.value_or(0));
    if (bitmap->Width() > kLargeThumbnailSide || bitmap->Height() > kLargeThumbnailSide)
      err << Format(msg::kCliWarning, Format(msg::kPictureLargeThumbnail, thumb.picture.c_str(),
                                             bitmap->Width(), bitmap->Height(), kLargeThumbnailSide)
                                          .c_str())
          << '\n';
    pictures.bitmaps.push_back(std::move(bitmap));
  }
  return pictures;
}

// The edits, in their order: removal, rendering, then the given pictures,
// which win over rendered thumbnails for their pages (those pages are not
// rendered at all).
void EditDocument(TgtPDFDocument& document, const TCliOptions& options, const Pictures& pictures,
                  std::ostream& err, ProgressLine& progress) {
  const int32_t count = document.PageCount();
  if (options.remove_thumbs)
    for (const int32_t page : options.remove_thumbs->Pages(count)) document.RemoveThumbnail(page);
  if (options.render_thumbs) {
    std::set<int32_t> given;
    for (const TThumbRequest& thumb : pictures.thumbs) given.insert(thumb.page);
    std::vector<int32_t> pages;
    for (const int32_t page : options.render_thumbs->Pages(count))
      if (!given.contains(page)) pages.push_back(page);
    if (!pages.empty()) {
      document.SetThumbnailEncoding(options.thumb_encoding);
      progress.Begin(msg::kCliProgressRendering);
      if (options.render_timeout) document.SetRenderTimeout(*options.render_timeout * 1000);
      const int32_t rendered = document.RenderThumbnails(
          pages, options.thumb_size.value_or(kDefaultThumbnailSize), options.jobs);
      progress.Clear();
      if (options.verbose)
        err << Format(msg::kCliRendered, rendered, static_cast<int32_t>(pages.size())) << '\n';
    }
  }
  for (size_t i = 0; i < pictures.thumbs.size(); ++i) {
    document.SetThumbnail(pictures.thumbs[i].page, *pictures.bitmaps[i]);
    if (options.verbose)
      err << Format(msg::kCliThumbAttached, pictures.thumbs[i].page,
                    pictures.thumbs[i].picture.c_str())
          << '\n';
  }
  if (options.show_thumbs) document.SetPageMode(pmUseThumbs);
}

// Whether the document is saved as an update appended to its source: when
// asked for, and by default for a signed source, whose signatures a full
// rewrite would break. A source that cannot take an update is written in
// full, with a warning that says why.
bool SaveAsUpdate(TgtPDFDocument& document, const TCliOptions& options, std::ostream& err) {
  if (options.full_rewrite || (!options.incremental && !document.HasSignatures())) return false;
  const std::string blocker = document.IncrementalUpdateBlocker();
  if (blocker.empty()) return true;
  err << Format(msg::kCliWarning,
                Format(msg::kCliSavingInFull,
                       Format(msg::kIncrementalNotPossible, blocker.c_str()).c_str())
                    .c_str())
      << '\n';
  return false;
}

// Whether the source is read only as far as an update needs
// (SetReadForUpdate): an update is asked for and no edit needs the pages'
// contents (nothing rendered, no thumbnails extracted). A source that
// cannot take an update after all is read whole by the engine.
bool ReadForUpdateOnly(const TCliOptions& options) {
  return options.incremental && !options.full_rewrite && !options.render_thumbs &&
         options.extract_dir.empty();
}

void Save(TgtPDFDocument& document, const std::string& dest, ProgressLine& progress,
          bool as_update = false) {
  progress.Begin(Format(msg::kCliProgressWriting, dest.c_str()));
  if (as_update)
    document.SaveIncremental(dest);
  else
    document.SaveToFile(dest, naUnchanged);
  progress.Clear();
}

// Writes the document over target under exactly that name. The writer
// completes names without ".pdf", so such a target is written under a
// completed temporary name beside it (atomically, by the writer) and then
// renamed over the target, keeping the target's permissions.
// As an update, the file itself is appended to (and cut back on failure).
void SaveInPlace(TgtPDFDocument& document, const std::string& target, ProgressLine& progress,
                 bool as_update) {
  if (as_update || TgtCustomPDFDocument::CompletedSaveName(target) == target) {
    Save(document, target, progress, as_update);
    return;
  }
  progress.Begin(Format(msg::kCliProgressWriting, target.c_str()));
  ReplaceFile(target, [&document](TStream& file) { document.SaveToStream(file); });
  progress.Clear();
}

// Writes bytes as the new file path, never through a link: the bytes go
// to a file created in the same folder (O_EXCL, so nothing there is
// followed), which is then linked under path (failing if anything, even a
// dangling link, is there) or, with replace, renamed over it (which
// replaces a link itself, not what it points to). False when path exists
// and replace is not given.
bool WriteNewFile(const std::string& path, const QByteArray& bytes, bool replace) {
  std::string temporary = path + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  auto failed = [&](int code) {
    throw EFileError(Format(msg::kCannotCreateFile, path.c_str(), std::strerror(code)));
  };
  if (fd < 0) failed(errno);
  const char* data = bytes.constData();
  size_t left = static_cast<size_t>(bytes.size());
  while (left > 0) {
    const ssize_t n = ::write(fd, data, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int code = errno;
      ::close(fd);
      ::unlink(temporary.c_str());
      failed(code);
    }
    data += n;
    left -= static_cast<size_t>(n);
  }
  if (::close(fd) != 0) {
    const int code = errno;
    ::unlink(temporary.c_str());
    failed(code);
  }
  // mkstemp makes the file private; an extracted picture is an ordinary
  // file, readable as the umask allows.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::chmod(temporary.c_str(), 0666 & ~mask);
  if (replace) {
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
      const int code = errno;
      ::unlink(temporary.c_str());
      failed(code);
    }
    return true;
  }
  const int linked = ::link(temporary.c_str(), path.c_str());
  const int code = errno;
  ::unlink(temporary.c_str());
  if (linked == 0) return true;
  if (code == EEXIST) return false;
  failed(code);
  return false;
}

// page-N.png in folder for every page with a thumbnail; each file written
// whole under a temporary name first. A file already there is replaced
// only with --force; otherwise it is reported and left, the other pages go
// on, and the result is false.
bool ExtractThumbnails(const TgtPDFDocument& document, const std::string& folder,
                       const TCliOptions& options, std::ostream& err) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (!std::filesystem::is_directory(folder))
    throw EFileError(Format(msg::kCliNoFolder, folder.c_str()));
  bool all = true;
  for (int32_t page = 1; page <= document.PageCount(); ++page) {
    if (!HasThumb(document, static_cast<size_t>(page - 1))) continue;
    const TgtThumbnailImage thumb = document.Thumbnail(page, true);
    if (thumb.Empty()) {
      err << Format(msg::kCliWarning, Format(msg::kCliCannotExtract, page).c_str()) << '\n';
      continue;
    }
    const QImage image(reinterpret_cast<const uchar*>(thumb.rgb.data()), thumb.width, thumb.height,
                       static_cast<qsizetype>(thumb.width) * 3, QImage::Format_RGB888);
    const std::string name =
        (std::filesystem::path(folder) / ("page-" + std::to_string(page) + ".png")).string();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image))
      throw EFileError(Format(msg::kCannotCreateFile, name.c_str(),
                              writer.errorString().toStdString().c_str()));
    if (!WriteNewFile(name, png, options.force)) {
      err << Format(msg::kCliError, Format(msg::kCliExtractExists, name.c_str()).c_str()) << '\n';
      all = false;
      continue;
    }
    if (options.verbose) err << Format(msg::kCliExtracted, page, name.c_str()) << '\n';
  }
  return all;
}

int RunInfo(const TCliOptions& options, std::ostream& out, std::ostream& err,
            TPasswordPrompt* prompt, ProgressLine& progress) {
  auto owned = std::make_unique<TgtPDFDocument>();
  TgtPDFDocument& document = *owned;
  OpenSource(document, options.sources[0], options, err, prompt, progress);
  out << "pages: " << document.PageCount() << '\n'
      << "version: " << VersionText(document.PDFVersion()) << '\n'
      << "encryption: " << EncryptionText(document) << '\n'
      << "owner: " << (document.IsOwner() ? "yes" : "no") << '\n'
      << "page_mode: " << ModeText(kPageModeNames, document.PageMode(), document.PageModeName())
      << '\n'
      << "page_layout: "
      << ModeText(kPageLayoutNames, document.PageLayout(), document.PageLayoutName()) << '\n'
      << "thumbnails: " << ThumbnailPages(document) << '\n'
      << "thumbnail_sizes: " << ThumbnailSizes(document) << '\n'
      << "thumbnail_forms: " << ThumbnailForms(document) << '\n';
  Done(owned);
  return kExitOk;
}

// One source and one destination (or a folder of extracted thumbnails).
int RunOne(const TCliOptions& options, std::ostream& err, TPasswordPrompt* prompt,
           ProgressLine& progress) {
  const Pictures pictures = LoadPictures(options, err);
  auto owned = std::make_unique<TgtPDFDocument>();
  TgtPDFDocument& document = *owned;
  document.SetReadForUpdate(ReadForUpdateOnly(options));
  OpenSource(document, options.sources[0], options, err, prompt, progress);
  EditDocument(document, options, pictures, err, progress);
  if (!options.dest.empty())
    Save(document, options.dest, progress, SaveAsUpdate(document, options, err));
  const bool extracted =
      options.extract_dir.empty() || ExtractThumbnails(document, options.extract_dir, options, err);
  Done(owned);
  return extracted ? kExitOk : kExitFailure;
}

// Which object each page's /Thumb refers to, nothing for a page without
// one. A thumbnail made by this run is always a new object, and the old
// ones stay in the store, so equal keys mean the thumbnail was kept.
using ThumbKey = std::optional<std::tuple<uint32_t, int32_t, uint16_t>>;
std::vector<ThumbKey> ThumbKeys(const TgtPDFDocument& document) {
  std::vector<ThumbKey> keys;
  for (int32_t page = 1; page <= document.PageCount(); ++page) {
    const TgtPDFObject* thumb = document.PageDict(page).Lookup("/Thumb");
    if (thumb == nullptr) {
      keys.emplace_back();
    } else if (thumb->IsReference()) {
      const TgtPDFIndirectReference& reference = thumb->AsReference();
      keys.emplace_back(std::tuple(reference.Serial(), reference.Number(), reference.Generation()));
    } else {
      keys.emplace_back(std::tuple(0u, -1, uint16_t{0}));
    }
  }
  return keys;
}

// One file of a run of many: written in place (item.target empty) or as
// item.target; in place, a file that no edit changed is left as it was.
void EditBatchFile(const TCliOptions& options, const Pictures& pictures, TPasswordPrompt* prompt,
                   const TBatchItem& item, TFileOutcome& outcome, std::ostream& err) {
  TCliOptions file_options = options;
  file_options.jobs = item.page_jobs;
  ProgressLine progress(err, false);
  const auto document = std::make_unique<TgtPDFDocument>();
  document->SetReadForUpdate(ReadForUpdateOnly(options));
  OpenSource(*document, item.source, file_options, err, prompt, progress, &outcome.warnings);
  outcome.pages = document->PageCount();
  const std::vector<ThumbKey> before = ThumbKeys(*document);
  if (item.skip_complete && std::ranges::all_of(before, [](const ThumbKey& key) { return key.has_value(); })) {
    outcome.status = TFileStatus::Skipped;
    outcome.reason = msg::kCliSkippedComplete;
    return;
  }
  const TgtPageMode mode = document->PageMode();
  EditDocument(*document, file_options, pictures, err, progress);
  const std::vector<ThumbKey> after = ThumbKeys(*document);
  for (size_t i = 0; i < before.size() && i < after.size(); ++i) {
    if (after[i] && after[i] == before[i])
      ++outcome.thumbnails_kept;
    else if (after[i])
      ++outcome.thumbnails_added;
    else if (before[i])
      ++outcome.thumbnails_removed;
  }
  if (item.target.empty()) {
    outcome.destination = document->WorkFileName();
    if (outcome.thumbnails_added == 0 && outcome.thumbnails_removed == 0 &&
        document->PageMode() == mode) {
      outcome.status = TFileStatus::Unchanged;
      return;
    }
    SaveInPlace(*document, outcome.destination, progress, SaveAsUpdate(*document, options, err));
  } else {
    Save(*document, item.target, progress, SaveAsUpdate(*document, options, err));
  }
  outcome.status = TFileStatus::Written;
  if (options.verbose)
    err << Format(msg::kCliFileDone, item.source.c_str(), outcome.destination.c_str()) << '\n';
}

// The terminal's questions one at a time, for files worked on side by side.
class SerialPrompt final : public TPasswordPrompt {
 public:
  explicit SerialPrompt(TPasswordPrompt& prompt) : prompt_(prompt) {}
  std::optional<std::string> Ask(const std::string& file_name, int32_t attempt) override {
    const std::lock_guard<std::mutex> lock(mutex_);
    return prompt_.Ask(file_name, attempt);
  }

 private:
  TPasswordPrompt& prompt_;
  std::mutex mutex_;
};

// Every file in turn or side by side (cli/batch_run.cpp), each edited as
// above. A file list read from standard input leaves no terminal to ask a
// password on. The given pictures are shared by every file, and drawing one
// into a document is not safe from two threads at once: with --thumb the
// edits take turns (rendering within a file still runs in parallel).
int RunManyFiles(const TCliOptions& options, std::ostream& out, std::ostream& err,
                 TPasswordPrompt* prompt) {
  const Pictures pictures = LoadPictures(options, err);
  std::optional<SerialPrompt> serial;
  if (prompt != nullptr && options.files_from != "-") serial.emplace(*prompt);
  TPasswordPrompt* const shared_prompt = serial ? &*serial : nullptr;
  std::mutex picture_turns;
  return RunBatch(options, out, err,
                  [&](const TBatchItem& item, TFileOutcome& outcome, std::ostream& file_err) {
                    std::unique_lock<std::mutex> turn(picture_turns, std::defer_lock);
                    if (!pictures.thumbs.empty()) turn.lock();
                    EditBatchFile(options, pictures, shared_prompt, item, outcome, file_err);
                  });
}

}  // namespace

std::string PasswordBytes(const std::string& text) {
  const std::u16string unicode = Utf8ToUnicode(text);
  if (UnicodeToUtf8(unicode) != text) return text;
  return UnicodeToAnsi(unicode);
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           TPasswordPrompt* prompt) {
  TCliOptions options;
  try {
    options = ParseCommandLine(args);
  } catch (const EUsageError& e) {
    err << Format(msg::kCliError, e.Message().c_str()) << '\n' << msg::kCliUsage;
    return kExitUsage;
  }
  if (options.mode == TCliMode::Version) {
    out << Format(msg::kCliVersion, PAGEMINT_VERSION);
    return out.flush() ? kExitOk : kExitFailure;
  }
  if (options.mode == TCliMode::Help) {
    out << msg::kCliUsage << msg::kCliHelp;
    return out.flush() ? kExitOk : kExitFailure;
  }
  ProgressLine progress(err, &err == &std::cerr && ::isatty(STDERR_FILENO));
  try {
    int status = kExitOk;
    switch (options.mode) {
      case TCliMode::Info:
        status = RunInfo(options, out, err, prompt, progress);
        break;
      case TCliMode::Batch:
        status = RunManyFiles(options, out, err, prompt);
        break;
      default:
        status = RunOne(options, err, prompt, progress);
        break;
    }
    if (!out.flush()) {
      err << Format(msg::kCliError, msg::kCliCannotWriteOutput) << '\n';
      return kExitFailure;
    }
    return status;
  } catch (const std::bad_alloc&) {
    progress.Clear();
    err << Format(msg::kCliError, msg::kCliOutOfMemory) << '\n';
  } catch (const std::exception& e) {
    progress.Clear();
    err << Format(msg::kCliError, e.what()) << '\n';
  } catch (...) {
    progress.Clear();
    err << Format(msg::kCliError, msg::kUnexpectedErrorText) << '\n';
  }
  return kExitFailure;
}

}  // namespace pagemint::cli
