// SPDX-License-Identifier: GPL-3.0-or-later
// Settings types of the document component that only the component and
// its features use (the reader's enumerations live with the reader).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "platform/exception.h"

namespace pagemint {

PAGEMINT_EXCEPTION(EFileNotFound, Exception);
// Raised when a progress handler asks to stop: loading leaves the component
// empty, saving writes nothing and leaves an existing destination as it was.
PAGEMINT_EXCEPTION(EOperationCancelled, Exception);

// Long work that reports progress through OnWorkProgress.
enum class TgtWorkStep : uint8_t { Load, Render, Save };

// A page's thumbnail as it will be written: its size, and its samples when
// asked for (8-bit RGB, rows from the top, no padding).
struct TgtThumbnailImage {
  int32_t width = 0;
  int32_t height = 0;
  std::string rgb;
  // How the image is stored, for listings: "JPEG", "Gray", "Indexed",
  // "RGB" (Flate or another lossless filter), or empty when unknown.
  std::string form;
  bool Empty() const { return width <= 0 || height <= 0; }
};

// How rendered thumbnails are stored. Auto keeps, per thumbnail, the
// smallest form that stays within the fidelity bound (Gray, DCT, Flate,
// Indexed); Lossless keeps exact samples (Gray, Flate, Indexed); Jpeg
// stores every rendered thumbnail as a baseline JPEG. Attached pictures
// are always stored losslessly (or as their own JPEG data when that fits).
enum class TgtThumbnailFormat : uint8_t { Auto, Lossless, Jpeg };
struct TgtThumbnailEncoding {
  TgtThumbnailFormat format = TgtThumbnailFormat::Auto;
  int32_t quality = 75;  // 1 to 100, for DCT
};

enum TgtMeasurementUnit : uint8_t { muPixels, muPoints, muInches, muMM, muTwips };

enum TgtMergeOptionsType : uint8_t {
  moIncludeOutlines,
  moIncludeFormFields,
  moRenameLikeNameFields
};

// A set of TgtMergeOptionsType, one bit each.
class TgtMergeOptions {
 public:
  constexpr TgtMergeOptions() = default;
  constexpr TgtMergeOptions(std::initializer_list<TgtMergeOptionsType> options) {
    for (const TgtMergeOptionsType option : options) Include(option);
  }
  constexpr bool Has(TgtMergeOptionsType option) const { return (bits_ >> option) & 1U; }
  constexpr void Include(TgtMergeOptionsType option) {
    bits_ = static_cast<uint8_t>(bits_ | (1U << option));
  }
  constexpr void Exclude(TgtMergeOptionsType option) {
    bits_ = static_cast<uint8_t>(bits_ & ~(1U << option));
  }
  constexpr bool operator==(const TgtMergeOptions&) const = default;

 private:
  uint8_t bits_ = 0;
};

enum TgtOperation : uint8_t { opMerge, opAppend, opInsert, opExtract, opDelete };

enum TgtNeedAppearances : uint8_t { naTrue, naFalse, naUnchanged };

// E-mail settings, kept for the e-mail feature; the thumbnail workflow
// never sends mail.
struct TgtEMailInfo {
  std::string to;
  std::string cc;
  std::string bcc;
  std::string subject;
  std::string body;
};

// A settings dialog shown before saving; the built-in one and any
// replacement derive from this.
class TgtCustomPDFDocument;

// A modal dialog bound to a document while it is shown (the settings
// dialog before a save). Execute returns true for OK, false for cancel.
class TgtBaseDlg {
 public:
  virtual ~TgtBaseDlg() = default;
  virtual bool Execute(TgtCustomPDFDocument& document) = 0;
};

}  // namespace pagemint
