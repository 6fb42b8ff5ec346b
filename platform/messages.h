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

// pdf/parser

// pdf/security

// pdf/reader

// pdf/document

// picture

}  // namespace msg
}  // namespace pagemint
