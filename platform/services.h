// SPDX-License-Identifier: GPL-3.0-or-later
// Small services the engine asks of its surroundings, each behind an
// interface so tests can replace it: the shell's "open" verb, the clock and
// the random source.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace pagemint {

// Opens a file or a web address with the user's default application. The
// result is not reported: opening is a courtesy, never part of the job.
class Shell {
 public:
  virtual ~Shell() = default;
  virtual void Open(const std::string& target) = 0;
};

// The default shell asks the desktop through xdg-open, detached, with its
// output discarded. The window installs a Qt-based one instead.
std::unique_ptr<Shell> MakeDesktopShell();

class Clock {
 public:
  virtual ~Clock() = default;
  virtual int CurrentYear() const = 0;
  // Seconds since the epoch, for file identifiers and dates.
  virtual int64_t Now() const = 0;
};
std::unique_ptr<Clock> MakeSystemClock();

class RandomSource {
 public:
  virtual ~RandomSource() = default;
  // n bytes of unpredictable data (for owner passwords and identifiers).
  virtual std::string Bytes(size_t n) = 0;
};
std::unique_ptr<RandomSource> MakeSystemRandom();

}  // namespace pagemint
