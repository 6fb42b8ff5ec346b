// SPDX-License-Identifier: GPL-3.0-or-later
// How the readers tell the component what they are doing. The component
// implements this and turns the calls into its events; a reader asks
// first whether anyone listens, so a message nobody reads is never
// formatted.
#pragma once

#include <cstdint>
#include <string>

namespace pagemint {

class TgtReadReporter {
 public:
  virtual ~TgtReadReporter() = default;
  virtual bool WantsStatus() const { return false; }
  virtual void Status(const std::string& /*message*/) {}
  virtual bool WantsWarnings() const { return false; }
  virtual void Warning(const std::string& /*message*/) {}
  virtual void Progress(int32_t /*percentage*/) {}
  // Called as objects are read from the file: done of about total. A
  // listener may raise here to stop the reading.
  virtual void LoadProgress(int64_t /*done*/, int64_t /*total*/) {}
};

inline void ReportStatus(TgtReadReporter& reporter, const char* message) {
  if (reporter.WantsStatus()) reporter.Status(message);
}
inline void ReportWarning(TgtReadReporter& reporter, const char* message) {
  if (reporter.WantsWarnings()) reporter.Warning(message);
}

// Formats and sends only when the reporter has a listener.
#define PAGEMINT_REPORT_STATUS(reporter, ...)                                         \
  do {                                                                                \
    if ((reporter).WantsStatus()) (reporter).Status(::pagemint::Format(__VA_ARGS__)); \
  } while (0)
#define PAGEMINT_REPORT_WARNING(reporter, ...)                                           \
  do {                                                                                   \
    if ((reporter).WantsWarnings()) (reporter).Warning(::pagemint::Format(__VA_ARGS__)); \
  } while (0)

}  // namespace pagemint
