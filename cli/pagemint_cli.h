// SPDX-License-Identifier: GPL-3.0-or-later
// What pagemint-cli does, apart from main(): reads the command line, opens
// the source through the document component, and either prints what
// --info reports or attaches the thumbnails and saves. Errors never escape:
// the result is the process's exit status.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace pagemint::cli {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the engine refused: message on stderr
inline constexpr int kExitUsage = 2;    // the command line itself is wrong

// How often a password is asked for on the terminal after the empty one
// and, on a terminal, the first answer failed.
inline constexpr int32_t kPromptAttempts = 3;

// Asks the user for a password; nothing when the user gives up.
class TPasswordPrompt {
 public:
  virtual ~TPasswordPrompt() = default;
  // attempt counts from 1; file_name is the completed source name.
  virtual std::optional<std::string> Ask(const std::string& file_name, int32_t attempt) = 0;
};

// args excludes the program name. Meant to be the whole of a process: a
// successful run leaves the document's memory for the process's end to
// reclaim (see pagemint_cli.cpp). prompt may be null: an encrypted source
// that opens with neither --password nor the empty password is then an
// error.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           TPasswordPrompt* prompt);

// A password given in the terminal's UTF-8 as the Windows-1252 bytes that
// passwords are in. Text that is not UTF-8 is taken as those bytes already.
std::string PasswordBytes(const std::string& text);

}  // namespace pagemint::cli
