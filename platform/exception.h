// SPDX-License-Identifier: GPL-3.0-or-later
// The root of every exception the engine raises, and the few platform
// errors that engine code raises by name.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace pagemint {

// Base exception: carries the message text and nothing else.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const noexcept { return message_; }

 private:
  std::string message_;
};

// Declares an exception class that derives from Base and only carries a message.
#define PAGEMINT_EXCEPTION(Name, Base)   \
  class Name : public Base {             \
   public:                               \
    using Base::Base;                    \
  }

// Text that is not an integer: "'%s' is not a valid integer value".
PAGEMINT_EXCEPTION(EConvertError, Exception);
// An object used as a kind it is not: "Invalid class typecast".
PAGEMINT_EXCEPTION(EInvalidCast, Exception);
// A list index out of range.
PAGEMINT_EXCEPTION(EListError, Exception);
// A file that cannot be opened, read, written or renamed.
PAGEMINT_EXCEPTION(EFileError, Exception);

}  // namespace pagemint
