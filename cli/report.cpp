// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/report.h"

#include <charconv>
#include <cmath>

namespace pagemint::cli {

namespace {

// The length of the UTF-8 sequence at text[at], or 0 when the bytes there
// are not one (overlong forms, surrogates and code points past U+10FFFF
// included).
size_t Utf8Length(const std::string& text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(at);
  if (lead < 0x80) return 1;
  size_t length = 0;
  uint32_t code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(at + i) & 0x3F);
  }
  if ((length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
      (length == 4 && (code < 0x10000 || code > 0x10FFFF)))
    return 0;
  return length;
}

void AppendString(std::string& line, const std::string& text) {
  static constexpr char kHex[] = "0123456789abcdef";
  line.push_back('"');
  for (size_t at = 0; at < text.size();) {
    const char c = text[at];
    const size_t length = Utf8Length(text, at);
    if (length == 0) {
      line.append("\xEF\xBF\xBD");
      ++at;
      continue;
    }
    if (length > 1) {
      line.append(text, at, length);
    } else if (c == '"' || c == '\\') {
      line.push_back('\\');
      line.push_back(c);
    } else if (c == '\n') {
      line.append("\\n");
    } else if (c == '\t') {
      line.append("\\t");
    } else if (static_cast<uint8_t>(c) < 0x20 || c == 0x7F) {
      line.append("\\u00");
      line.push_back(kHex[static_cast<uint8_t>(c) >> 4]);
      line.push_back(kHex[static_cast<uint8_t>(c) & 15]);
    } else {
      line.push_back(c);
    }
    at += length;
  }
  line.push_back('"');
}

void AppendKey(std::string& line, const char* key) {
  line.append(line.size() > 1 ? ",\"" : "\"").append(key).append("\":");
}

template <typename T>
void AppendNumber(std::string& line, const char* key, const std::optional<T>& value) {
  AppendKey(line, key);
  line.append(value ? std::to_string(*value) : "null");
}

}  // namespace

const char* StatusName(TFileStatus status) {
  switch (status) {
    case TFileStatus::Written:
      return "written";
    case TFileStatus::Unchanged:
      return "unchanged";
    case TFileStatus::Skipped:
      return "skipped";
    case TFileStatus::Failed:
      break;
  }
  return "failed";
}

std::string SecondsText(double seconds, int decimals) {
  if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
  char buffer[64];
  const auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed, decimals);
  return error == std::errc() ? std::string(buffer, end) : std::string("0");
}

std::string ReportLine(const TFileOutcome& outcome) {
  std::string line = "{";
  AppendKey(line, "source");
  AppendString(line, outcome.source);
  AppendKey(line, "destination");
  AppendString(line, outcome.destination);
  AppendKey(line, "status");
  AppendString(line, StatusName(outcome.status));
  // The exit status this file alone would have given.
  AppendKey(line, "exit");
  line.append(outcome.status == TFileStatus::Failed ? "1" : "0");
  AppendKey(line, "reason");
  if (outcome.reason.empty())
    line.append("null");
  else
    AppendString(line, outcome.reason);
  AppendNumber(line, "pages", outcome.pages);
  AppendNumber(line, "thumbnails_added", std::optional<int32_t>(outcome.thumbnails_added));
  AppendNumber(line, "thumbnails_removed", std::optional<int32_t>(outcome.thumbnails_removed));
  AppendNumber(line, "thumbnails_kept", std::optional<int32_t>(outcome.thumbnails_kept));
  AppendNumber(line, "bytes_before", outcome.bytes_before);
  AppendNumber(line, "bytes_after", outcome.bytes_after);
  AppendKey(line, "seconds");
  line.append(SecondsText(outcome.seconds, 3));
  AppendKey(line, "warnings");
  line.push_back('[');
  for (size_t i = 0; i < outcome.warnings.size(); ++i) {
    if (i > 0) line.push_back(',');
    AppendString(line, outcome.warnings[i]);
  }
  line.append("]}");
  return line;
}

}  // namespace pagemint::cli
