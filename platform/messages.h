// The engine's message table. Every text that reaches a user lives here,
// so the wording is in one place; Format fills the printf-style arguments.
#pragma once

#include <string>

namespace pagemint {

// printf-style formatting into a std::string. Callers format only when an
// event has a handler, so a message nobody listens to costs nothing.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

namespace msg {

// platform
inline constexpr const char kInvalidInteger[] = "'%s' is not a valid integer value";
inline constexpr const char kInvalidCast[] = "Invalid class typecast";
inline constexpr const char kListIndex[] = "List index out of bounds (%d)";
inline constexpr const char kCannotOpenFile[] = "Cannot open file \"%s\". %s";
inline constexpr const char kCannotCreateFile[] = "Cannot create file \"%s\". %s";
inline constexpr const char kWriteError[] = "Error writing file \"%s\". %s";
inline constexpr const char kStreamReadError[] = "Stream read error";
inline constexpr const char kStreamWriteError[] = "Stream write error";

// pdf/objects
inline constexpr const char kIndexOutOfBounds[] = "Index Out Of Bounds!";
inline constexpr const char kUnexpectedObject[] = "Unexpected PDF object encountered";

// pdf/streams
inline constexpr const char kInvalidStream[] = "Invalid Stream! Cannot create with null stream";
inline constexpr const char kWriteOnlyCannotRead[] = "A write-only filter cannot read";
inline constexpr const char kUnsupportedFilter[] = "Unsupported filter (%s)";
inline constexpr const char kUnsupportedFilterPlain[] = "Unsupported filter";
inline constexpr const char kUnexpectedFilterObject[] = "Unexpected filter object, found (%s)";
inline constexpr const char kIllegalCharacter[] = "Illeagal character within stream";
inline constexpr const char kEndOfDataMarkerWrong[] = "EndOfData marker is wrong";
inline constexpr const char kMisplacedZ[] = "\"z\" found at inappropriate position";
inline constexpr const char kSingleFinalCharacter[] = "Single Final Character";
inline constexpr const char kRunLengthMarkerWrong[] = "EndOfData Marker is wrong";
inline constexpr const char kPrematureEndOfData[] = "Premature EndOfData Marker found";
inline constexpr const char kUnexpectedEndOfFile[] = "Unexpected EndOfFile found";
inline constexpr const char kInvalidZStreamOperation[] = "Invalid ZStream operation!";
inline constexpr const char kDecodedSizeLimit[] = "Decoded stream exceeds the limit of %lld bytes";
inline constexpr const char kInvalidLzwCode[] = "Invalid LZW code (%d)";
inline constexpr const char kUnsupportedCompressionMethod[] = "Unsupported compression method (%d)";

// pdf/parser

// pdf/security

// pdf/reader

// pdf/document

// picture

}  // namespace msg
}  // namespace pagemint
