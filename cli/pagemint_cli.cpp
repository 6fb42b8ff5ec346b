#include "cli/pagemint_cli.h"

#include <iterator>
#include <memory>
#include <new>
#include <ostream>

#include "cli/command_line.h"
#include "pdf/document/pdf_document.h"
#include "pdf/security/encryption_settings.h"
#include "picture/graphic.h"
#include "picture/icon.h"
#include "picture/jpeg_image.h"
#include "picture/metafile.h"
#include "platform/codepage.h"
#include "platform/messages.h"

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

// What the source is encrypted with: "rc4-40", "rc4-128", "aes-128",
// "aes-256" or "none".
const char* EncryptionText(const TgtPDFDocument& document) {
  if (!document.IsEncrypted()) return "none";
  return CipherName(document.Encryption().Cipher());
}

std::string ThumbnailPages(const TgtPDFDocument& document) {
  std::string pages;
  const std::vector<TgtPDFIndirectObject*>& list = document.State().pages;
  for (size_t i = 0; i < list.size(); ++i) {
    const TgtPDFObject* content = list[i]->Content();
    if (content == nullptr || !content->IsDictionary()) continue;
    if (content->AsDictionary().Lookup("/Thumb") == nullptr) continue;
    if (!pages.empty()) pages += ' ';
    pages += std::to_string(i + 1);
  }
  return pages.empty() ? "none" : pages;
}

std::unique_ptr<TGraphic> MakePicture(TThumbKind kind) {
  switch (kind) {
    case TThumbKind::Jpeg:
      return std::make_unique<TJPEGImage>();
    case TThumbKind::Metafile:
      return std::make_unique<TMetafile>();
    case TThumbKind::Icon:
      return std::make_unique<TIcon>();
    case TThumbKind::Bitmap:
      break;
  }
  return std::make_unique<TBitmap>();
}

// Opens the source as the window does: the password from the command line
// (or the empty one) first, then, on a terminal, what the user types.
void OpenSource(TgtPDFDocument& document, const TCliOptions& options, std::ostream& err,
                TPasswordPrompt* prompt) {
  document.SetShowSetupDialog(false);
  document.SetOpenAfterSave(false);
  if (options.verbose)
    document.OnStatusMessage = [&err](TgtCustomPDFDocument&, const std::string& message) {
      err << message << '\n';
    };
  document.OnWarning = [&err](TgtCustomPDFDocument&, const std::string& warning) {
    err << Format(msg::kCliWarning, warning.c_str()) << '\n';
  };
  std::string file_name = options.source;
  bool typed = false;  // the user typed a password on the terminal
  document.OnPassword = [&](TgtCustomPDFDocument& sender, std::string& password, bool& go_on,
                            int32_t tries) {
    file_name = sender.WorkFileName();
    if (tries == 0) {
      password = options.password ? PasswordBytes(*options.password) : std::string();
      return;
    }
    if (!options.password && prompt != nullptr && tries <= kPromptAttempts) {
      if (const std::optional<std::string> answer = prompt->Ask(file_name, tries)) {
        password = PasswordBytes(*answer);
        typed = true;
        return;
      }
    }
    go_on = false;
  };
  // False only when the password loop gave up; every other failure raises.
  if (!document.LoadFromFile(options.source))
    throw Exception(
        Format(options.password || typed ? msg::kCliPasswordWrong : msg::kCliPasswordNeeded,
               file_name.c_str()));
}

int RunInfo(const TCliOptions& options, std::ostream& out, std::ostream& err,
            TPasswordPrompt* prompt) {
  auto owned = std::make_unique<TgtPDFDocument>();
  TgtPDFDocument& document = *owned;
  OpenSource(document, options, err, prompt);
  out << "pages: " << document.PageCount() << '\n'
      << "version: " << VersionText(document.PDFVersion()) << '\n'
      << "encryption: " << EncryptionText(document) << '\n'
      << "owner: " << (document.IsOwner() ? "yes" : "no") << '\n'
      << "page_mode: " << NameText(kPageModeNames, document.PageMode()) << '\n'
      << "page_layout: " << NameText(kPageLayoutNames, document.PageLayout()) << '\n'
      << "thumbnails: " << ThumbnailPages(document) << '\n';
  Done(owned);
  return kExitOk;
}

int RunConvert(const TCliOptions& options, std::ostream& err, TPasswordPrompt* prompt) {
  // Pictures first: a bad picture is reported before a large source is read.
  const std::vector<TThumbRequest> thumbs = EffectiveThumbs(options.thumbs);
  std::vector<std::unique_ptr<TGraphic>> pictures;
  for (const TThumbRequest& thumb : thumbs) {
    pictures.push_back(MakePicture(thumb.kind));
    pictures.back()->LoadFromFile(thumb.picture);
  }

  auto owned = std::make_unique<TgtPDFDocument>();
  TgtPDFDocument& document = *owned;
  OpenSource(document, options, err, prompt);
  for (size_t i = 0; i < thumbs.size(); ++i) {
    document.SetThumbnail(thumbs[i].page, *pictures[i]);
    pictures[i].reset();
    if (options.verbose)
      err << Format(msg::kCliThumbAttached, thumbs[i].page, thumbs[i].picture.c_str()) << '\n';
  }
  if (options.show_thumbs) document.SetPageMode(pmUseThumbs);
  document.SaveToFile(options.dest, naUnchanged);
  Done(owned);
  return kExitOk;
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
  if (options.mode == TCliMode::Help) {
    out << msg::kCliUsage << msg::kCliHelp;
    return out.flush() ? kExitOk : kExitFailure;
  }
  try {
    const int status = options.mode == TCliMode::Info ? RunInfo(options, out, err, prompt)
                                                      : RunConvert(options, err, prompt);
    if (!out.flush()) {
      err << Format(msg::kCliError, msg::kCliCannotWriteOutput) << '\n';
      return kExitFailure;
    }
    return status;
  } catch (const std::bad_alloc&) {
    err << Format(msg::kCliError, msg::kCliOutOfMemory) << '\n';
  } catch (const std::exception& e) {
    err << Format(msg::kCliError, e.what()) << '\n';
  } catch (...) {
    err << Format(msg::kCliError, msg::kUnexpectedErrorText) << '\n';
  }
  return kExitFailure;
}

}  // namespace pagemint::cli
