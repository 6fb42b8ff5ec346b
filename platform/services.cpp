// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/services.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <ctime>
#include <random>

extern char** environ;

namespace pagemint {

namespace {

class DesktopShell final : public Shell {
 public:
  void Open(const std::string& target) override {
    // posix_spawnp keeps the target a single argument: no shell parses it.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const char* argv[] = {"xdg-open", target.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdg-open", &actions, nullptr, const_cast<char* const*>(argv), environ) == 0) {
      // xdg-open returns once it has handed the target over; reap it so no
      // zombie stays behind.
      int status = 0;
      waitpid(pid, &status, 0);
    }
    posix_spawn_file_actions_destroy(&actions);
  }
};

class SystemClock final : public Clock {
 public:
  int CurrentYear() const override {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm.tm_year + 1900;
  }
  int64_t Now() const override {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
  }
};

class SystemRandom final : public RandomSource {
 public:
  std::string Bytes(size_t n) override {
    std::string out(n, '\0');
    for (char& c : out) c = static_cast<char>(device_() & 0xFF);
    return out;
  }

 private:
  std::random_device device_;
};

}  // namespace

std::unique_ptr<Shell> MakeDesktopShell() { return std::make_unique<DesktopShell>(); }
std::unique_ptr<Clock> MakeSystemClock() { return std::make_unique<SystemClock>(); }
std::unique_ptr<RandomSource> MakeSystemRandom() { return std::make_unique<SystemRandom>(); }

}  // namespace pagemint
